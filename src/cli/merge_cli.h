#pragma once

#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli survey merge ZBIÓR INNY.naj [--items 1,2,…|--all]`: `args` are the words after "merge".
// Merges the chosen items (all when neither option is given) of the data file INNY into ZBIÓR, a data file
// (".naj", rewritten whole only when the merge succeeded) or a survey database, with the checks and messages
// of "Łączenie danych". Prints one line per step, "name<TAB>rows added" ("-" for a field group). Returns 0 on
// success, 1 on a refusal or failure (the Polish message goes to `err`, ZBIÓR is unchanged), 2 for a wrong
// command line.
int runSurveyMergeCommand(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace vestrum
