// vestrum-cli-report: the work of `vestrum-cli report`, which hands over to it with its own arguments. Kept
// apart so that only this program loads Qt's painting classes, fonts and the PDF library.
#include "base/core_resources.h"
#include "cli/cli_support.h"
#include "cli/report_cli.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    // Laying out text needs fonts, and so a GUI application; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    vestrum::initCoreResources();
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    // Started by vestrum-cli with its arguments, "report" first; started by hand, the same is accepted.
    if (!args.isEmpty() && args.first() == QLatin1String("report"))
        args.removeFirst();
    try {
        vestrum::cli::RefuseSpecialFileArguments(args);
    } catch (const vestrum::Error& e) {
        err << e.message() << '\n';
        err.flush();
        return vestrum::cli::kFailed;
    }
    return vestrum::runReportCommand(args, out, err);
}
