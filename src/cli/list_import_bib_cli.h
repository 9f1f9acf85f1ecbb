#pragma once

#include "cli/list_xml_cli.h"

#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli list import-bib ZBIÓR RODZAJ PLIK [--save] [--skip-duplicates]`: `args` are the words after
// "list import-bib". Reads PLIK as a BibTeX, RIS or CSL JSON bibliography told by its content (the format
// goes to `err` as "format: ...", then one line for each group of entries left out), makes the rows of
// the kind (3-6 articles, 8-11 monographs and chapters; journals identified on the list at
// `journalListPath`) and ends as `list import-text` does: the same checks, duplicate lines, output,
// refusals and exit codes. A kind that takes no bibliography, or a wrong command line, returns 2.
int runListImportBib(const QStringList& args, QTextStream& out, QTextStream& err,
                     const QString& journalListPath = programJournalListPath());

} // namespace vestrum
