#include "cli/merge_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "files/data_files.h"
#include "files/data_merge.h"
#include "files/temp_files.h"
#include "files/zlb_archive.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <optional>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::kUsage;

int usage(QTextStream& err, const QString& problem = QString())
{
    if (!problem.isEmpty())
        err << problem << '\n';
    err << QStringLiteral("Użycie: vestrum-cli survey merge ZBIÓR INNY.naj [--items 1,2,…|--all]\n"
                          "ZBIÓR to plik danych (.naj) albo baza ankieta.mdb; bez --items łączone są wszystkie "
                          "pozycje od 1 do 23.\n");
    err.flush();
    return kUsage;
}

QString badFormat()
{
    return QStringLiteral("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych.");
}

std::optional<merge::ItemChoice> parseItems(const QString& list)
{
    merge::ItemChoice items = merge::NoItems();
    for (const QString& word : list.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = word.trimmed().toInt(&ok);
        if (!ok || number < 1 || number > merge::MergeItemCount)
            return std::nullopt;
        items[static_cast<size_t>(number - 1)] = true;
    }
    return items;
}

bool isDataFile(const QString& path)
{
    return QFileInfo(path).suffix().compare(QStringLiteral("naj"), Qt::CaseInsensitive) == 0;
}

// The survey database of ZBIÓR: the file itself, or the member of a data file unpacked into `scratch`.
QString workingDatabase(const QString& target, const QTemporaryDir& scratch)
{
    if (!QFileInfo(target).isFile())
        throw Error(QStringLiteral("Nie znaleziono pliku %1").arg(QDir::toNativeSeparators(target)));
    if (!isDataFile(target))
        return target;
    if (!scratch.isValid())
        throw Error(QStringLiteral("Nie można utworzyć katalogu tymczasowego."));
    ZlbArchive archive;
    archive.OpenArchive(target);
    if (archive.FindFile(datafiles::memberName()) < 0)
        throw Error(QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór"));
    // Only the survey is unpacked; whatever else the file holds stays in it.
    const int index = archive.FindFile(datafiles::memberName());
    archive.ExtractFile(index, scratch.path());
    const QString extracted = QDir(scratch.path()).filePath(archive.GetFileEntry(index).fileName());
    archive.CloseArchive();
    return extracted;
}

void printOutcomes(const std::vector<merge::StepOutcome>& outcomes, QTextStream& out)
{
    for (const merge::StepOutcome& o : outcomes) {
        out << o.name << '\t';
        if (o.kind == merge::MergeStep::Kind::Rows)
            out << o.rowsAdded;
        else
            out << '-';
        out << '\n';
    }
}

int mergeInto(const QString& target, const QString& other, const merge::ItemChoice& items, QTextStream& out)
{
    const QTemporaryDir scratch(QDir(QDir::tempPath()).filePath(tempfiles::nameFor(QStringLiteral("XXXXXX"))));
    const QString database = workingDatabase(target, scratch);
    db::Connection working;
    try {
        working.open(database, schema::databasePassword());
    } catch (const Error&) {
        throw Error(badFormat());
    }
    datafiles::NoProgress quiet;
    const std::vector<merge::StepOutcome> outcomes = merge::MergeDataFile(working, other, items, quiet);
    working.close();
    // A data file takes the merged survey whole or keeps its old content.
    if (isDataFile(target)) {
        datafiles::CheckedArchive archive;
        datafiles::WriteArchiveOf(database, target, archive);
    }
    printOutcomes(outcomes, out);
    return kOk;
}

} // namespace

int runSurveyMergeCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() < 2 || args.size() > 4)
        return usage(err);
    merge::ItemChoice items = merge::AllItems();
    const QStringList options = args.mid(2);
    if (options == QStringList{QStringLiteral("--all")} || options.isEmpty()) {
        items = merge::AllItems();
    } else if (options.size() == 2 && options[0] == QLatin1String("--items")) {
        const auto chosen = parseItems(options[1]);
        if (!chosen)
            return usage(err, QStringLiteral("Nieprawidłowa lista pozycji: %1.").arg(options[1]));
        items = *chosen;
    } else {
        return usage(err);
    }
    if (QFileInfo(args[0]).suffix().compare(QStringLiteral("nar"), Qt::CaseInsensitive) == 0)
        return usage(err, QStringLiteral("Punktu przywracania danych nie można zmieniać."));

    return cli::RunReportingErrors(out, err, [&] { return mergeInto(args[0], args[1], items, out); });
}

} // namespace vestrum
