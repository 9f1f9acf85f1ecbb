#pragma once

#include "cli/list_xml_cli.h"

#include <QString>
#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli list identify ZBIÓR RODZAJ [--save]`; `args` are the words after "identify".
//
// Identifies, as the program's automatic identification does, the journals of the publications of
// kind RODZAJ (3 to 6) that have no journal of the list yet, on the journal list at
// `journalListPath` (or the one built into the program when there is no such file). Prints one line
// per distinct title still without a journal (titles equal letter case aside are one):
//   title TAB rows [TAB name|points|part]...
// the title as typed and trimmed, its rows, then up to three suggestions (part A, B or C); tabs,
// "|" and line breaks inside texts become blanks. Lines go by rows, most first, then by title in
// Polish order; the last line is "zidentyfikowano N, bez dopasowania M", counting rows.
// With --save the identified rows are written as "zapisz zmiany" writes the list, and a data file
// gets its rebuilt database only once it has been written whole.
//
// Returns 0 on success, 1 when the command failed or the save was refused (the Polish message goes
// to `err`), 2 for a wrong command line or a kind that holds no publications.
int runListIdentify(const QStringList& args, QTextStream& out, QTextStream& err,
                    const QString& journalListPath = programJournalListPath());

} // namespace vestrum
