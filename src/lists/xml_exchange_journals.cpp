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
        if (row.size() > kIssnColumn + 1)
            row.resize(kIssnColumn + 1);
        while (row.size() <= kIssnColumn)
            row.append(QString());
        if (!row[kListedJournalColumn].trimmed().isEmpty())
            continue;
        identifyRow(journals, row, row[kIssnColumn]);
    }
}

} // namespace vestrum::lists
