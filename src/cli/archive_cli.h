#pragma once

#include <QStringList>

class QTextStream;

namespace vestrum::archive {

// `vestrum-cli archive ...`: `args` are the words after "archive". Returns the exit status:
// 0 success, 1 the operation failed (its Polish message went to `err`), 2 the command line was wrong.
int runArchiveCommand(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace vestrum::archive
