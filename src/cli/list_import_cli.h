#pragma once

#include "cli/list_xml_cli.h"

#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli list import-text ZBIÓR RODZAJ PLIK (--separator=S | --lines=N) --map=K1,K2,... [--save]`:
// `args` are the words after "list import-text". Reads PLIK as the import window would (the encoding
// used goes to `err` as "kodowanie: ..."), splits it by the separator or into records of N lines,
// places position n at the column K_n of the kind (counted from 1, 0 drops it), completes the rows
// (publications against the journal list at `journalListPath`, or the list built into the program where there
// is no such file) and checks them for the reporting year stored in ZBIÓR.
// All rows pass: writes them as `list show` writes a list and returns 0; with --save they are first
// appended to the list in ZBIÓR (a survey database or a data file) in one step.
// A row fails: writes the error lines and returns 1, changing nothing. A file that cannot be read
// returns 1 with its message on `err`; a wrong command line returns 2.
int runListImportText(const QStringList& args, QTextStream& out, QTextStream& err,
                      const QString& journalListPath = programJournalListPath());

} // namespace vestrum
