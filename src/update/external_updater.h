#pragma once

// The work of the external updater "aktualizuj": once the program has ended, its executable is replaced
// by the one in the package, the old one kept as a backup archive, and the program is started again. On
// any failure the old executable stays and is started.

#include <QString>
#include <QStringList>

namespace vestrum::update {

enum class ProgramReplacement {
    Replaced,
    ProgramStillRunning, // the program did not end within the time limit
    BadArguments,
    PackageRefused, // missing, damaged, or without the executable
    BackupFailed,
    WriteFailed,
};

// Replaces `executable` with the matching member of `package` (named like the executable, or the only
// member). The old executable is first packed into a backup at `backup` (or the next free name beside it).
// The new one is written to a temporary file in the program folder, made 0755 and renamed over the old
// one, which is never opened for writing. Package and backup must lie inside the executable's folder.
ProgramReplacement ReplaceProgram(const QString& executable, const QString& package, const QString& backup);

// The whole updater: `arguments` are its command line (the updater itself, the executable, the package,
// the backup). Waits up to `waitMs` for the program's single-instance lock, replaces the executable and
// starts the program (the old one after a failure). Returns the process exit code, 0 only when replaced.
int RunExternalUpdater(const QStringList& arguments, int waitMs);

} // namespace vestrum::update
