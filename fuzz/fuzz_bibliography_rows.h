#pragma once

#include "import/bibliography.h"
#include "import/import_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace vestrum::fuzz {

// Every publication kind's rows from what a reader gave: each with the import's columns.
inline void CheckRows(const importing::Bibliography& bibliography)
{
    for (int kind : { 3, 4, 5, 6, 8, 9, 10, 11 }) {
        const importing::BibliographyRows rows = importing::BibliographyToRows(kind, bibliography, nullptr);
        for (const QStringList& row : rows.rows)
            if (row.size() != importing::ImportHeaders(kind).size())
                std::abort();
        if (rows.rows.size() > bibliography.entries.size())
            std::abort();
    }
}

} // namespace vestrum::fuzz
