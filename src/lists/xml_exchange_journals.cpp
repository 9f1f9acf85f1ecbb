// The journal identification an XML import runs, apart from the format so that the reader builds on
// its own (the fuzz target links the format alone).
#include "lists/journal_identification.h"
#include "lists/xml_exchange.h"

namespace vestrum::lists {

bool identifiesJournals(int kind)
{
    return kind >= 3 && kind <= 6;
}

void identifyImportedJournals(JournalList& journals, std::vector<QStringList>& rows)
{
    for (QStringList& row : rows) {
        while (row.size() <= kPointsColumn)
            row.append(QString());
        if (!row[kListedJournalColumn].trimmed().isEmpty())
            continue;
        const auto journal = journals.identify(row[kJournalColumn].trimmed());
        row[kListedJournalColumn] = journal ? journal->name : QString();
        row[kPointsColumn] = journal ? journal->points : QStringLiteral("0");
    }
}

} // namespace vestrum::lists
