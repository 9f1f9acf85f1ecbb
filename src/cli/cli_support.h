#pragma once

#include "base/error.h"
#include "base/file_modes.h"
#include "program/messages.h"

#include <QStringList>

#include <QTextStream>

namespace vestrum::cli {

// Exit codes shared by the commands.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// Message texts of the commands are written in UTF-8.
inline QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// A command line the command cannot take: the problem (when there is one), then how the command is used; exit 2.
inline int RefuseUsage(QTextStream& err, const QString& problem, const char* howToUse)
{
    if (!problem.isEmpty())
        err << problem << '\n';
    err << howToUse;
    err.flush();
    return kUsage;
}

// Headless commands ask nothing; should they ever, the answer is "no".
class SilentMessages final : public Messages {
public:
    MessageResponse present(const MessageRequest&) override { return {MessageAnswer::No, false}; }
};

// Every command takes only regular files (and folders where it asks for one): a FIFO, a device or a
// socket named by an argument, positional or as "--option=value", is refused before anything is opened,
// since reading one would wait for a writer that never comes or never end.
inline void RefuseSpecialFileArguments(const QStringList& args)
{
    for (const QString& arg : args) {
        const qsizetype equals = arg.startsWith(QLatin1String("--")) ? arg.indexOf(u'=') : -1;
        refuseSpecialFile(equals < 0 ? arg : arg.mid(equals + 1));
    }
}

// Runs a command's body: a refusal or failure (vestrum::Error) ends in its Polish message on `err`
// and exit code 1; both streams are flushed whatever happens.
template <typename Body> int RunReportingErrors(QTextStream& out, QTextStream& err, Body&& body)
{
    int status = kFailed;
    try {
        status = body();
    } catch (const Error& e) {
        err << e.message() << '\n';
        status = kFailed;
    }
    out.flush();
    err.flush();
    return status;
}

} // namespace vestrum::cli
