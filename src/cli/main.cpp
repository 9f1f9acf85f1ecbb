// vestrum-cli: the program's headless commands for users, support and scripts.
#include "cli/archive_cli.h"
#include "base/core_resources.h"
#include "base/short_run_heap.h"
#include "cli/cli_support.h"
#include "cli/journals_cli.h"
#include "cli/survey_cli.h"
#include "cli/list_cli.h"
#include "cli/report_hand_over.h"
#include "cli/update_cli.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

namespace {

using Command = std::function<int(const QStringList&, QTextStream&, QTextStream&)>;

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table = {
        {QStringLiteral("archive"), &vestrum::archive::runArchiveCommand},
        {QStringLiteral("survey"), &vestrum::runSurveyCommand},
        {QStringLiteral("list"), &vestrum::runListCommand},
        {QStringLiteral("journals"),
         [](const QStringList& args, QTextStream& out, QTextStream& err) {
             return vestrum::runJournalsCommand(args, out, err);
         }},
        {QStringLiteral("update"), &vestrum::runUpdateCommand},
    };
    return table;
}

int usage(QTextStream& err)
{
    err << "Użycie:\n"
           "  vestrum-cli archive list ARCHIWUM\n"
           "  vestrum-cli archive add ARCHIWUM PLIK... [--level none|fastest|default|maximum]\n"
           "  vestrum-cli archive update ARCHIWUM INDEKS PLIK\n"
           "  vestrum-cli archive extract ARCHIWUM KATALOG [--check-crc]\n"
           "  vestrum-cli archive check ARCHIWUM\n"
           "  vestrum-cli survey show ZBIÓR\n"
           "  vestrum-cli survey check ZBIÓR\n"
           "  vestrum-cli survey merge ZBIÓR INNY.naj [--items 1,2,…|--all] [--skip-duplicates]\n"
           "  vestrum-cli list show ZBIÓR RODZAJ\n"
           "  vestrum-cli list export ZBIÓR RODZAJ PLIK.xml\n"
           "  vestrum-cli list import ZBIÓR RODZAJ PLIK.xml [--save] [--skip-duplicates]\n"
           "  vestrum-cli list import-text ZBIÓR RODZAJ PLIK (--separator=S | --lines=N) --map=K1,K2,... [--save]\n"
           "      [--skip-duplicates]\n"
           "  vestrum-cli list import-bib ZBIÓR RODZAJ PLIK [--save] [--skip-duplicates]\n"
           "  vestrum-cli list identify ZBIÓR RODZAJ [--save]\n"
           "  vestrum-cli journals import PLIK [--save]\n"
           "  vestrum-cli journals show\n"
           "  vestrum-cli report ZBIÓR -o PLIK.pdf [--entries=0,5,11,…]\n"
           "  vestrum-cli update sign --key KLUCZ PLIK [--version W]\n"
           "  vestrum-cli update verify PLIK [--klucz-publiczny PLIK.pub]\n";
    err.flush();
    return 2;
}

// Runs the command the arguments name, with the program's standard output and error as its streams. They are
// closed when it returns, so that everything the command wrote has reached the files behind them.
int runCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty())
        return usage(err);
    const auto command = commands().find(args.first());
    if (command == commands().end())
        return usage(err);
    try {
        vestrum::cli::RefuseSpecialFileArguments(args.mid(1));
    } catch (const vestrum::Error& e) {
        err << e.message() << '\n';
        return vestrum::cli::kFailed;
    }
    return command->second(args.mid(1), out, err);
}

} // namespace

int main(int argc, char** argv)
{
    // The report is printed by a program of its own (cli/report_hand_over.h), before anything is set up here.
    if (argc > 1 && std::strcmp(argv[1], "report") == 0)
        return vestrum::cli::HandOverToReportProgram(argv);
    vestrum::heap::PrepareForShortRun();
    QCoreApplication application(argc, argv);
    vestrum::initCoreResources();
    const int status = runCommand(QCoreApplication::arguments().mid(1));
    // The command has closed its files and removed its scratch folders, and its output is written: the process
    // ends at once. Freeing what is left (the application object, the libraries' caches) piece by piece is work
    // nobody waits for.
    std::fflush(nullptr);
    std::_Exit(status);
}
