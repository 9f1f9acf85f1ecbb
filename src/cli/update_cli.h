#pragma once

#include "update/signature.h"

#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli update ...`, the tools of the people who publish updates:
//   update sign --key KLUCZ PLIK [--version W]   writes PLIK.minisig (prehashed minisign signature) with the
//       secret key KLUCZ as `minisign -G -W` writes it; the trusted comment is "plik:<name of PLIK>" and
//       " wersja:W" when a version is given (packages carry one, the version file and offline packages none).
//   update verify PLIK [--klucz-publiczny PLIK.pub]   checks PLIK.minisig with the program's keys or the given
//       public-key file, and that it names PLIK; prints the trusted comment.
// Exit codes: 0 done or good, 1 refused or bad (the Polish reason on `err`), 2 wrong command line.
int runUpdateCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The same with the program folder (no secret key may lie inside it) and the trusted keys given.
int runUpdateCommandIn(const QString& programFolder, const update::PublicKeys& builtInKeys, const QStringList& args,
    QTextStream& out, QTextStream& err);

} // namespace vestrum
