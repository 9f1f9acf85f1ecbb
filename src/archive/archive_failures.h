#pragma once

// The messages an archive operation fails with. They are shown to the user as they stand, so they stay the
// program's long-known wording.

#include "base/error.h"

#include <QString>

namespace vestrum::zlb {

inline const QString kNotOpen = QStringLiteral("Nie otwarto żadnego zbioru skompresowanego");
inline const QString kNotFound = QStringLiteral("Nie można odnaleźć wskazanego zbioru");
inline const QString kCorrupt = QStringLiteral("Skompresowany zbiór jest uszkodzony");
inline const QString kDirectoryUnreadable =
    QStringLiteral("Nie można odczytać listy zbiorów znajdujących się w archiwum");
inline const QString kIndexOutOfBounds = QStringLiteral("Index out of bounds");
inline const QString kAlreadyExists = QStringLiteral("Plik już istnieje");
inline const QString kNoSuchMember = QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór");
inline const QString kFolderNotMade = QStringLiteral("Docelowa kartoteka nie może zostać utworzona");

inline Error cannotOpen(const QString& path)
{
    return Error(QStringLiteral("nie można otworyć pliku (%1)").arg(path));
}

inline Error memberCorrupt(int number)
{
    return Error(QStringLiteral("Plik (%1) jest uszkodzony").arg(number));
}

} // namespace vestrum::zlb
