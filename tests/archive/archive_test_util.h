#pragma once

#include "base/error.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <ostream>

// Failed comparisons of QString show the text, not a byte dump.
[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace archive_test {

// The Polish message a call throws, or an empty string when it throws nothing.
template <typename F> QString errorOf(F&& call)
{
    try {
        call();
    } catch (const vestrum::Error& e) {
        return e.message();
    }
    return QString();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file " + path.toStdString());
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// Text that compresses well, and noise that does not.
inline QByteArray sampleText(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "Sekcja " + QByteArray::number(i) + ": liczba publikacji, zatrudnienie, przychody.\n";
    return text;
}

inline QByteArray noise(int size, unsigned seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 24);
    }
    return bytes;
}

} // namespace archive_test
