#pragma once

#include "program/messages.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
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
