// The journal identification an XML import runs, apart from the format so that the reader builds on
// its own (the fuzz target links the format alone).
#include "lists/journal_identification.h"
#include "lists/xml_exchange.h"

#include <algorithm>

namespace vestrum::lists {

bool identifiesJournals(int kind)
{
    return kind >= 3 && kind <= 6;
}

int xmlColumnsToRead(int kind, int columnCount)
{
    return identifiesJournals(kind) ? std::max(columnCount, kIssnColumn + 1) : columnCount;
}

void identifyImportedJournals(JournalList& journals, std::vector<QStringList>& rows)
{
    for (QStringList& row : rows) {
        // The ISSN of element kolumna_7 identifies the row and is not kept: the list has no such column.
        const QString issn = row.size() > kIssnColumn ? row.at(kIssnColumn) : QString();
        if (row.size() > kPointsColumn + 1)
            row.resize(kPointsColumn + 1);
        while (row.size() <= kPointsColumn)
            row.append(QString());
        if (!row[kListedJournalColumn].trimmed().isEmpty())
            continue;
        const auto journal = journals.identify(row[kJournalColumn].trimmed(), issn);
        row[kListedJournalColumn] = journal ? journal->name : QString();
        row[kPointsColumn] = pointsCell(journal ? journal->points : QString());
    }
}

} // namespace vestrum::lists
