#pragma once

#include "lists/compact_list.h"
#include "lists/list_grid.h"

#include <QMap>
#include <QString>

#include <functional>

namespace vestrum {
class Program;
namespace db {
class Connection;
}
} // namespace vestrum

// Moving a list kind between the survey database and the editor's grid, by walking the list
// catalogue: which rows belong to the kind, how each cell is shown and stored, which rows are
// blank, and what count the list button shows.
namespace vestrum::lists {

struct LoadedList {
    ListGrid grid;                 // the kind's headers; rows in table order, not yet sorted
    int count = 0;                 // what the list button shows
    QMap<QString, int> maxLengths; // declared widths of the width-limited fields, by field name
};

// The declared widths of the kind's width-limited fields, by field name: the entry dialog's maximum
// lengths, for the lists kept in a section grid as for the others.
QMap<QString, int> DeclaredWidths(db::Connection& survey, int kind);

// Reads the kind's rows. Throws vestrum::Error for an unknown kind or a database failure.
LoadedList LoadList(db::Connection& survey, int kind);
LoadedList LoadList(Program& program, int kind);
// Reads the kind's rows as LoadList does, cell for cell, into the compact form that commands
// printing whole lists use.
CompactList LoadCompactList(db::Connection& survey, int kind);

// Replaces the kind's rows by the grid's non-blank rows, in grid order, all in one transaction:
// when any row cannot be written (a number column given text that is not a number) nothing is
// changed and vestrum::Error tells which cell. Rows of the table's other kinds stay. Returns the
// count for the list button (rows written, or for kinds 1 and 2 the disciplines granted).
// `beforeCommit` runs once every row has been written, just before the transaction commits.
int SaveList(db::Connection& survey, int kind, const ListGrid& grid,
             const std::function<void()>& beforeCommit = {});
// As above, and marks the working data as changed since the last data file was written; the record of that in
// "ankieta.ini" is written before the commit.
int SaveList(Program& program, int kind, const ListGrid& grid);

// The order the editor shows a loaded list in: by its first column, whose header gets the sort
// marker. The rows stay where they are.
std::vector<int> EditorOrder(ListGrid& grid, const QLocale& locale = QLocale());
std::vector<int> EditorOrder(CompactList& list, const QLocale& locale = QLocale());
// The grid the editor shows after opening: loaded, then sorted by its first column.
ListGrid EditorGrid(db::Connection& survey, int kind, const QLocale& locale = QLocale());

} // namespace vestrum::lists
