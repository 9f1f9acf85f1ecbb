#include "cli/journals_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "import/journal_list_import.h"
#include "program/data_folder_lock.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::S;

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem,
                            "Użycie:\n"
                            "  vestrum-cli journals import PLIK [--save]\n"
                            "  vestrum-cli journals show\n");
}

// The list is the data folder's; a program working on that folder keeps it open.
void refuseListInUse(const QString& journalListPath)
{
    RefuseDataFolderInUse(QFileInfo(journalListPath).absolutePath() + QStringLiteral("/ankieta.mdb"));
}

int importEdition(const QString& file, bool save, QTextStream& out, const QString& journalListPath,
                  const QDate& today)
{
    const importing::MinistryList edition = importing::ReadMinistryFile(file);
    const importing::EditionChanges changes =
        importing::CompareEditions(importing::ReadListInUse(journalListPath), edition.journals);
    for (const QString& line : importing::ChangeLines(changes, edition.skipped))
        out << line << '\n';
    if (!save)
        return kOk;
    refuseListInUse(journalListPath);
    importing::SaveJournalList(journalListPath, edition, today, QFileInfo(file).fileName());
    out << S("zapisano wykaz: %1 czasopism, wersja %2\n")
               .arg(edition.journals.size())
               .arg(journals::versionOfDay(today));
    return kOk;
}

int showEdition(QTextStream& out, const QString& journalListPath)
{
    if (!QFileInfo(journalListPath).isFile())
        throw Error(S("Nie ma wykazu czasopism %1.").arg(QDir::toNativeSeparators(journalListPath)));
    db::Connection connection;
    connection.open(journalListPath, schema::databasePassword());
    const journals::ListEdition edition = journals::readListEdition(connection);
    out << S("plik: ") << QDir::toNativeSeparators(journalListPath) << '\n';
    out << S("wczytany z: ")
        << (edition.sourceFile.isEmpty() ? S("wykaz dostarczony z programem") : edition.sourceFile) << '\n';
    out << S("dzień wczytania: ") << (edition.readOn.isEmpty() ? S("-") : edition.readOn) << '\n';
    out << S("wersja: ") << edition.version << '\n';
    out << S("czasopism: ") << edition.journals << '\n';
    return kOk;
}

} // namespace

int runJournalsCommand(const QStringList& args, QTextStream& out, QTextStream& err, const QString& journalListPath,
                       const QDate& today)
{
    const QString verb = args.value(0);
    if (verb == QLatin1String("show") && args.size() == 1)
        return cli::RunReportingErrors(out, err, [&] { return showEdition(out, journalListPath); });
    if (verb != QLatin1String("import"))
        return usage(err);
    QStringList files;
    bool save = false;
    for (const QString& arg : args.mid(1)) {
        if (arg == QLatin1String("--save"))
            save = true;
        else if (arg.startsWith(QLatin1String("--")))
            return usage(err, S("Nieznana opcja: %1").arg(arg));
        else
            files << arg;
    }
    if (files.size() != 1)
        return usage(err, S("Trzeba podać jeden PLIK z wykazem czasopism ministerstwa."));
    return cli::RunReportingErrors(out, err,
                                   [&] { return importEdition(files.front(), save, out, journalListPath, today); });
}

} // namespace vestrum
