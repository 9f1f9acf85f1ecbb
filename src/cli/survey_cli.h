#pragma once

#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli survey show FILE`: `args` are the words after "survey". FILE is a data file
// (".naj", or a restore point ".nar") or a survey database. Runs the section loaders without
// windows and prints, for every control of every page in catalogue order, one line
// "name<TAB>value" with the value as the main window shows it after loading everything:
// the chosen item for drop-downs, the chooser lines joined by " | ", the caption of list buttons,
// "1"/"0" for the version radio buttons and, for a grid, one line "name[row]<TAB>cells joined by
// " | "" per data row. Line breaks inside a value are written as "\n", tabs as "\t".
// `vestrum-cli survey check FILE`: the whole-survey check, one finding per line (severity, place,
// row, field, message, tab-separated).
// Returns 0 on success (check: no errors, warnings allowed), 1 when the file cannot be read (the
// Polish message goes to `err`), 2 for a wrong command line, 3 when the check found errors.
int runSurveyCommand(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace vestrum
