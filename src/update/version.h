#pragma once

// Component versions: the text a.b.c.d stands for the number a×1000 + b×100 + c×10 + d, and versions are
// compared as these numbers, so 2.2.10.0 and 2.3.0.0 are the same version.

#include <QString>

#include <optional>

namespace vestrum::update {

using VersionNumber = qint64;

// A version text of exactly four parts of digits joined by dots. Each part has at most nine digits, so the
// number always fits; anything else (blanks inside, signs, a fifth part) is refused.
std::optional<VersionNumber> ParseVersion(const QString& text);

// An installed version as found on this computer: unreadable text counts as 0.0.0.0, so a damaged setting
// makes the component look old rather than stop the check.
VersionNumber InstalledVersion(const QString& text);

// Back to text: the thousands, hundreds, tens and units of the number joined by dots (2300 -> "2.3.0.0").
QString VersionText(VersionNumber number);

} // namespace vestrum::update
