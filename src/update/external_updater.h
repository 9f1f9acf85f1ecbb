#pragma once

// The work of the external updater "aktualizuj": once the program has ended, its executable is replaced
// by the one in the package, the old one kept as a backup archive, and the program is started again. On
// any failure the old executable stays and is started.
//
// The updater trusts the package only when its signature ("<package>.minisig") checks against its own keys
// and names the package's file. A package may carry a new "aktualizuj" beside the program: it is put in place
// after the program, so that the keys of the next update can differ from this updater's.

#include "update/signature.h"

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
    SignatureRefused, // unsigned, signed by an unknown key, or signed for another file
};

// Replaces `executable` with the matching member of `package` (named like the executable, or the only
// member) once the package's signature checks with `verifier`. The old executable is first packed into a
// backup at `backup` (or the next free name beside it). The new one is written to a temporary file in the
// program folder, made 0755 and renamed over the old one, which is never opened for writing. A member named
// like the updater ("aktualizuj", beside the executable) then replaces the updater the same way; should that
// fail, the old executable comes back. Package and backup must lie inside the executable's folder.
ProgramReplacement ReplaceProgram(
    const QString& executable, const QString& package, const QString& backup, const SignatureVerifier& verifier);

// The updater's file name beside the program.
QString UpdaterFileName();

// The whole updater: `arguments` are its command line (the updater itself, the executable, the package,
// the backup). Waits up to `waitMs` for the program's single-instance lock, replaces the executable and
// starts the program (the old one after a failure). Returns the process exit code, 0 only when replaced.
int RunExternalUpdater(const QStringList& arguments, int waitMs, const PublicKeys& keys);

} // namespace vestrum::update
