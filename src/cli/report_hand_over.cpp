#include "cli/report_hand_over.h"

#include "cli/cli_support.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vestrum::cli {

QString ReportProgramPath()
{
    const QString running = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (running.isEmpty())
        return {};
    return QFileInfo(running).absolutePath() + u'/' + QLatin1String(kReportProgramName);
}

int HandOverToReportProgram(char** argv)
{
    const QString program = ReportProgramPath();
    const QByteArray path = QFile::encodeName(program);
    // argv keeps its terminating null pointer; only the program's own name changes.
    argv[0] = const_cast<char*>(path.constData());
    if (!program.isEmpty())
        execv(path.constData(), argv);
    const int reason = errno;
    const QString shown = program.isEmpty() ? QLatin1String(kReportProgramName) : program;
    const QByteArray message = S("Nie można uruchomić programu raportu %1: %2.\n"
                                 "Zainstaluj program ponownie.\n")
                                   .arg(shown, program.isEmpty() ? S("nie znaleziono folderu programu")
                                                                 : QString::fromLocal8Bit(std::strerror(reason)))
                                   .toUtf8();
    std::fwrite(message.constData(), 1, static_cast<size_t>(message.size()), stderr);
    std::fflush(stderr);
    return kFailed;
}

} // namespace vestrum::cli
