#include "cli/merge_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "datafile/save.h"
#include "datafile/merge.h"

#include <QTextStream>

#include <optional>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem,
                            "Użycie: vestrum-cli survey merge ZBIÓR INNY.naj [--items 1,2,…|--all] [--skip-duplicates]\n"
                            "ZBIÓR to plik danych (.naj) albo baza ankieta.mdb; bez --items łączone są wszystkie "
                            "pozycje od 1 do 23.\n"
                            "Możliwe duplikaty publikacji są wypisywane i dodawane; --skip-duplicates je pomija.\n");
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

int mergeInto(const QString& target, const QString& other, const merge::ItemChoice& items, bool skipDuplicates,
    QTextStream& out, QTextStream& err)
{
    // ZBIÓR is refused, locked and unpacked by the one save path, and takes the merged survey whole or keeps
    // its old content.
    datafiles::SurveyFileWrite write(target);
    datafiles::NoProgress quiet;
    merge::DuplicateHandling duplicates;
    duplicates.leaveOut = [skipDuplicates](const lists::ProbableDuplicate&) { return skipDuplicates; };
    const std::vector<merge::StepOutcome> outcomes
        = merge::MergeDataFile(write.survey(), other, items, quiet, &duplicates);
    write.commit();
    for (const lists::ProbableDuplicate& duplicate : duplicates.found)
        err << lists::DuplicateLine(duplicate) << '\n';
    printOutcomes(outcomes, out);
    return kOk;
}

} // namespace

int runSurveyMergeCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QStringList words = args;
    const bool skipDuplicates = words.removeAll(QStringLiteral("--skip-duplicates")) > 0;
    if (words.size() < 2 || words.size() > 4)
        return usage(err);
    merge::ItemChoice items = merge::AllItems();
    const QStringList options = words.mid(2);
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
    return cli::RunReportingErrors(out, err, [&] { return mergeInto(words[0], words[1], items, skipDuplicates, out, err); });
}

} // namespace vestrum
