#pragma once

#include "lists/compact_list.h"
#include "lists/list_grid.h"

#include <QStringList>
#include <vector>

class QTextStream;

namespace vestrum {

// `vestrum-cli list show FILE KIND`: `args` are the words after "list". FILE is a data file
// (".naj", whose "ankieta.mdb" is read from a temporary copy) or a survey database. Writes the
// grid the list editor would show for the kind after opening (sorted by its first column) as
// tab-separated lines, header row first; inside a cell a backslash, tab, line feed and carriage
// return are written as "\\", "\t", "\n" and "\r". Returns 0 on success, 1 when the file cannot
// be read (the Polish message goes to `err`), 2 for a wrong command line.
int runListCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// One cell as the command writes it.
QString escapeListCell(const QString& cell);
// One row of cells, tab-separated, as `list show` writes it.
void writeListRow(QTextStream& out, const QStringList& cells);
// A whole grid as `list show` writes it: the header row, then every data row.
void printListGrid(const lists::ListGrid& grid, QTextStream& out);
// A list as `list show` writes it, the data rows in `order` (indices of every row once).
void printList(const lists::CompactList& list, QTextStream& out, const std::vector<int>& order);

} // namespace vestrum
