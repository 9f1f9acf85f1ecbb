#pragma once

#include <QByteArray>
#include <QString>

namespace vestrum::codepage {

// Windows-1250 is the single-byte code page of the survey's "code-page text" fields and of the
// names inside archives. Characters it cannot hold become "?".

QByteArray toWindows1250(const QString& text);
QString fromWindows1250(const QByteArray& bytes);

// ISO-8859-2, the other Polish single-byte encoding (older Unix and web tools). It shares the
// letters from 0xC0 with Windows-1250 but puts "ą", "ś", "ź" and their capitals elsewhere.
QString fromIso88592(const QByteArray& bytes);
QByteArray toIso88592(const QString& text); // characters it cannot hold become "?"

// The text as it comes back after a trip through Windows-1250.
QString passThrough(const QString& text);

bool isRepresentable(QChar ch);

} // namespace vestrum::codepage
