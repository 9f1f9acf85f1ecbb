#pragma once

#include "program/messages.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>

namespace vestrum::testing {

// A fresh survey database in a throw-away folder, opened.
struct TempSurvey {
    QTemporaryDir dir;
    db::Connection connection;

    TempSurvey()
    {
        schema::createSurveyDatabase(path());
        connection.open(path(), schema::databasePassword());
    }
    QString path() const { return dir.filePath(QStringLiteral("ankieta.mdb")); }
};

// The user's data folder of an installed program ($XDG_DATA_HOME/vestrum) in a throw-away folder while it lives.
class PrivateUserDataHome {
public:
    QTemporaryDir base;

    PrivateUserDataHome() : old_(qgetenv("XDG_DATA_HOME")), had_(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(base.path()));
    }
    ~PrivateUserDataHome()
    {
        if (had_)
            qputenv("XDG_DATA_HOME", old_);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    PrivateUserDataHome(const PrivateUserDataHome&) = delete;
    PrivateUserDataHome& operator=(const PrivateUserDataHome&) = delete;

    QString folder() const { return base.path() + QStringLiteral("/vestrum/"); }

private:
    QByteArray old_;
    bool had_;
};

// Every file and folder under `folder` with its size and content checksum: equal listings mean nothing was
// written there.
inline QStringList folderListing(const QString& folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QByteArray sum;
        if (it.fileInfo().isFile() && file.open(QIODevice::ReadOnly))
            sum = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        lines << QStringLiteral("%1 %2 %3").arg(path).arg(it.fileInfo().size()).arg(QString::fromLatin1(sum));
    }
    lines.sort();
    return lines;
}

// Answers messages from a script and remembers every text shown.
class ScriptedMessages final : public Messages {
public:
    std::deque<MessageResponse> answers;
    QStringList shown;
    QList<MessageRequest> requests;

    void answer(MessageAnswer a, bool dontShowAgain = false) { answers.push_back({a, dontShowAgain}); }

    MessageResponse present(const MessageRequest& request) override
    {
        shown.append(request.text);
        requests.append(request);
        if (answers.empty())
            return {MessageAnswer::Yes, false}; // unscripted: the left button (Tak / Dalej)
        MessageResponse response = answers.front();
        answers.pop_front();
        return response;
    }
};

} // namespace vestrum::testing
