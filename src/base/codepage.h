#pragma once

#include <QByteArray>
#include <QString>

namespace vestrum::codepage {

// Windows-1250 is the single-byte code page of the survey's "code-page text" fields and of the
// names inside archives. Characters it cannot hold become "?".

QByteArray toWindows1250(const QString& text);
QString fromWindows1250(const QByteArray& bytes);

// The text as it comes back after a trip through Windows-1250.
QString passThrough(const QString& text);

bool isRepresentable(QChar ch);

} // namespace vestrum::codepage
