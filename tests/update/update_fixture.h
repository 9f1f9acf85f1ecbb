#pragma once

// A program folder with a survey database, a local HTTP server on 127.0.0.1 and an Updater wired to both.

#include "base/clock.h"
#include "files/zlb_archive.h"
#include "program/program.h"
#include "program/startup.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "support/temp_survey.h"
#include "update/fetcher.h"
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

struct UpdateFixture : ::testing::Test {
    QTemporaryDir root;
    ScriptedMessages messages;
    FixedClock clock { QDateTime(QDate(2026, 12, 8), QTime(12, 0)) };
    Program program { messages, clock };
    LocalServer server;
    update::NetworkFetcher fetcher;
    RecordingHost host;
    update::Updater updater { program, fetcher, host };

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
        server.routes["/download/ankieta_update/ankieta_version.conf"]
            = { 200, ("[Vestrum]\r\n" + componentLines).toUtf8() };
    }
    void servePackage(const QByteArray& encodedName, const QByteArray& bytes)
    {
        server.routes["/download/ankieta_update/" + encodedName] = { 200, bytes };
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
    // An offline package: the version file and the packages, in one archive file.
    QString offlinePackage(const QString& componentLines, const QList<QPair<QString, QByteArray>>& packages)
    {
        QList<QPair<QString, QByteArray>> files = packages;
        files.prepend({ QStringLiteral("ankieta_version.conf"), ("[Vestrum]\n" + componentLines).toUtf8() });
        const QString path = root.filePath(QStringLiteral("aktualizacja.dat"));
        writeFile(path, archiveOf(files));
        return path;
    }
};

} // namespace vestrum::testing
