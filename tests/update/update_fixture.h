#pragma once

// A program folder with a survey database, a local HTTP server on 127.0.0.1 and an Updater wired to both. The
// Updater trusts the fixture's own key, and whatever the fixture serves or packs is signed with it.

#include "base/clock.h"
#include "archive/zlb_archive.h"
#include "program/program.h"
#include "program/startup.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "support/temp_survey.h"
#include "update/fetcher.h"
#include "update/signing.h"
#include "update/updater.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vestrum::testing {

// Answers GET requests from a table of paths; a path not in the table gets 404. `silent` accepts the
// connection and never answers.
class LocalServer {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
    };
    QMap<QByteArray, Answer> routes;
    QList<QByteArray> requested;
    bool silent = false;

    LocalServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                serve(socket);
        });
    }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

private:
    void serve(QTcpSocket* socket)
    {
        auto* received = new QByteArray;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            if (!received->contains("\r\n\r\n") || silent)
                return;
            const QByteArray path = received->split(' ').value(1);
            requested.append(path);
            const Answer answer = routes.value(path, Answer { 404, "nie ma" });
            socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\nContent-Length: "
                + QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n" + answer.body);
            socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, received] {
            delete received;
            socket->deleteLater();
        });
    }
    QTcpServer server_;
};

// Starts nothing detached and closes nothing; run-once programs really run.
class RecordingHost final : public update::ProcessHost {
public:
    QList<QUrl> pages;
    QList<QStringList> started;
    int closeRequests = 0;
    datafiles::NoProgress none;

    void openWebPage(const QUrl& page) override { pages.append(page); }
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        started.append(QStringList { program } + arguments);
        return true;
    }
    void requestClose() override { ++closeRequests; }
    datafiles::Progress& progress() override { return none; }
};

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

// An archive holding the given files (name -> bytes), as the bytes of the archive file.
inline QByteArray archiveOf(const QList<QPair<QString, QByteArray>>& files)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pakiet.zlb"));
    writeFile(path, {});
    ZlbArchive archive;
    archive.OpenArchive(path);
    for (const auto& [name, bytes] : files) {
        writeFile(dir.filePath(QStringLiteral("src/") + name), bytes);
        archive.AddFile(dir.filePath(QStringLiteral("src/") + name));
    }
    archive.CloseArchive();
    return readFile(path);
}

// A new, empty survey database whose `wersja` says `version`, as a package.
inline QByteArray surveyPackage(const QString& version)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ankieta.mdb"));
    schema::createSurveyDatabase(path);
    {
        db::Connection c;
        c.open(path, schema::databasePassword());
        c.execute(QStringLiteral("UPDATE wersja SET wersja = ?"), { version });
    }
    return archiveOf({ { QStringLiteral("ankieta.mdb"), readFile(path) } });
}

inline const QString kVersionFileName = QStringLiteral("ankieta_version.conf");

// The version each package of a version file is offered in: what its signature must name.
inline QMap<QString, QString> offeredVersions(const QString& componentLines)
{
    QMap<QString, QString> versions;
    for (const update::UpdateEntry& entry : update::ParseVersionFile(QStringLiteral("[x]\n") + componentLines).value_or(
             QList<update::UpdateEntry> {}))
        versions.insert(entry.package, update::VersionText(entry.available));
    return versions;
}

struct UpdateFixture : ::testing::Test {
    QTemporaryDir root;
    ScriptedMessages messages;
    FixedClock clock { QDateTime(QDate(2026, 12, 8), QTime(12, 0)) };
    Program program { messages, clock };
    LocalServer server;
    update::NetworkFetcher fetcher;
    RecordingHost host;
    TestKey key;
    update::Updater updater { program, fetcher, host, { key.publicKey() } };

    UpdateFixture()
    {
        startup::setProgramFolder(program.state, root.path());
        QDir().mkpath(folder() + QStringLiteral("dane"));
        schema::createSurveyDatabase(program.state.DatabasePath);
        program.survey.open(program.state.DatabasePath, schema::databasePassword());
        fetcher.setProxy(QNetworkProxy::NoProxy);
        fetcher.setTimeLimit(1500);
        updater.setExecutable(folder() + QStringLiteral("vestrum"));
    }
    QString folder() const { return program.state.ProgramFolder; }

    void serveVersionFile(const QString& componentLines)
    {
        const QByteArray content = ("[Vestrum]\r\n" + componentLines).toUtf8();
        server.routes["/download/ankieta_update/ankieta_version.conf"] = { 200, content };
        server.routes["/download/ankieta_update/ankieta_version.conf.minisig"]
            = { 200, key.signFor(content, kVersionFileName) };
    }
    // A package and its signature for `version`, named as the package (a plain ASCII name).
    void servePackage(const QByteArray& name, const QByteArray& bytes, const QString& version)
    {
        server.routes["/download/ankieta_update/" + name] = { 200, bytes };
        server.routes["/download/ankieta_update/" + name + ".minisig"]
            = { 200, key.signFor(bytes, QString::fromLatin1(name), version) };
    }
    void putUserData(const QString& unitName)
    {
        program.survey.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, ?)"), { unitName });
    }
    QString userData()
    {
        db::Query q(program.survey, QStringLiteral("SELECT nazwa FROM dane_podstawowe"));
        return q.eof() ? QString() : q.asUnicode(QStringLiteral("nazwa"));
    }
    QString surveyVersion() { return startup::databaseVersion(program.survey); }
    // An offline package: the version file and the packages, each with its signature (a package signed for
    // the version the version file offers), in one archive file signed as a whole.
    QString offlinePackage(const QString& componentLines, const QList<QPair<QString, QByteArray>>& packages)
    {
        const QByteArray versionFile = ("[Vestrum]\n" + componentLines).toUtf8();
        const QMap<QString, QString> versions = offeredVersions(componentLines);
        QList<QPair<QString, QByteArray>> files { { kVersionFileName, versionFile },
            { kVersionFileName + QStringLiteral(".minisig"), key.signFor(versionFile, kVersionFileName) } };
        for (const auto& [name, bytes] : packages) {
            files.append({ name, bytes });
            files.append({ name + QStringLiteral(".minisig"), key.signFor(bytes, name, versions.value(name)) });
        }
        return signedDat(QStringLiteral("aktualizacja.dat"), archiveOf(files));
    }
    QString signedDat(const QString& name, const QByteArray& bytes)
    {
        const QString path = root.filePath(name);
        writeFile(path, bytes);
        writeFile(path + QStringLiteral(".minisig"), key.signFor(bytes, name));
        return path;
    }
};

} // namespace vestrum::testing
