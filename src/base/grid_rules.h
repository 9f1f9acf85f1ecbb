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
// each column (header included), `headers` the width of each header text; `clientWidth` is the
// grid's inner width.
//  - each column gets its widest text + 8;
//  - when the sum exceeds client - 24 (the room beside a vertical scroll bar), every column is
//    scaled by (client - 24) / sum, truncated, and what the scaled sum still exceeds client - 24
//    by is taken off the widest scaled column (the first one on a tie);
//  - finally no column stays narrower than `headers` + 8 (the widths of the headers' longest
//    words, as the grid passes them: a header wraps rather than push a column under the scroll
//    bar); after a scaling, what that widening put past client - 24 is taken off the columns still
//    wider than that, in proportion.
std::vector<int> FitColumnWidths(const std::vector<int>& widest, const std::vector<int>& headers, int clientWidth);

} // namespace vestrum::grid
