#pragma once

// The field maps the text-import tests read with: separated fields, or a record of a fixed number of lines.

#include "import/import_text.h"

#include <QString>

#include <initializer_list>

namespace vestrum::importing::testing {

inline ImportStructure bySeparator(const char* separator, std::initializer_list<int> map)
{
    ImportStructure s;
    s.separator = QString::fromUtf8(separator);
    int n = 0;
    for (int column : map)
        s.map[static_cast<size_t>(n++)] = column;
    return s;
}

inline ImportStructure byLines(int perRecord, std::initializer_list<int> map)
{
    ImportStructure s = bySeparator(";", map);
    s.mode = SeparatorMode::LineEnds;
    s.linesPerRecord = perRecord;
    return s;
}

} // namespace vestrum::importing::testing
