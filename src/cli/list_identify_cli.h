#pragma once

#include "cli/list_xml_cli.h"

#include <QString>
#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli list identify ZBIÓR RODZAJ [--save]`; `args` are the words after "identify".
//
// Checks every publication of kind RODZAJ (3 to 6) against the journal list at `journalListPath`
// (or the one built into the program when there is no such file): a row without a journal of the
// list is identified as the program's automatic identification does, a row with one takes the
// points its journal has in that list. Prints one line per distinct title still without a journal
// (titles equal letter case aside are one):
//   title TAB rows [TAB name|points|part|ISSN]...
// the title as typed and trimmed, its rows, then up to three suggestions (part A, B or C, the ISSN
// or else the e-ISSN, empty when the list has neither); tabs, "|" and line breaks inside texts become
// blanks. Lines go by rows, most first, then by title in Polish order; then come
// "zmieniono punkty: W wierszy, razem ±P" and last "zidentyfikowano N, bez dopasowania M", counting
// rows. With --save the changed rows are written as "zapisz zmiany" writes the list, and a data file
// gets its rebuilt database only once it has been written whole.
//
// Returns 0 on success, 1 when the command failed or the save was refused (the Polish message goes
// to `err`), 2 for a wrong command line or a kind that holds no publications.
int runListIdentify(const QStringList& args, QTextStream& out, QTextStream& err,
                    const QString& journalListPath = programJournalListPath());

} // namespace vestrum
