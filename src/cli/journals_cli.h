#pragma once

#include "cli/list_xml_cli.h"

#include <QDate>
#include <QString>
#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli journals import PLIK [--save]` and `vestrum-cli journals show`; `args` are the words
// after "journals".
//
// import reads the ministry's file of a new edition of the journal list (.xlsx, .ods or .csv) and
// prints what it changes against the list at `journalListPath`: "dodane: N", "usunięte: N",
// "zmienione punkty: N", "pominięte wiersze: N", each followed by its first ten journals. With --save
// the new edition replaces that list (its version the day `today`), the replaced one kept beside it
// as "<list>.poprzednia"; without it nothing changes.
// show prints the list in use: its file, the ministry file and the day it was read, its version and
// how many journals it holds.
//
// Returns 0 on success, 1 when the file is no journal list or the list cannot be read or replaced
// (the Polish message goes to `err`), 2 for a wrong command line.
int runJournalsCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                       const QString& journalListPath = programJournalListPath(),
                       const QDate& today = QDate::currentDate());

} // namespace vestrum
