#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// Rules shared by every string grid of the program (the main window's section grids, the list
// editor, the choosers of section 1), kept apart from the widgets so they can be tested alone.
namespace vestrum::grid {

// Marks `column` as the sort column: every header starting with "*" first loses its first two
// characters, then the column's header gets the prefix "* ".
void MarkSortColumn(QStringList& headers, int column);

// The column a header row is sorted by (the one whose header starts with "*"), or -1.
int SortColumnOf(const QStringList& headers);

enum class CaseFold { Unicode, Ascii };

// Sorts rows ascending by the text of one column, without regard to letter case; rows with equal
// keys keep their order. Rows shorter than the column sort as empty text.
void SortRows(std::vector<QStringList>& rows, int column, CaseFold fold = CaseFold::Unicode);

// Index of the first row, from the top, whose `column` contains `text`, both compared in lower
// case; -1 when none does or the text is empty.
int FindFirstContaining(const std::vector<QStringList>& rows, int column, const QString& text);

// Column widths of FitGridColumns, in pixels. `widest` is the width of the widest cell text of
// each column (header included), `headers` the width of each header text; `outerWidth` and
// `clientWidth` are the grid's outer and inner widths.
//  - each column gets its widest text + 8;
//  - when the sum exceeds the outer width, every column is scaled by (client - 24) / sum, truncated,
//    and what the scaled sum still exceeds client - 24 by is taken off the widest scaled column
//    (the first one on a tie);
//  - finally no column stays narrower than its header text + 8.
std::vector<int> FitColumnWidths(const std::vector<int>& widest, const std::vector<int>& headers, int outerWidth,
                                 int clientWidth);

} // namespace vestrum::grid
