#pragma once

#include <QString>
#include <QStringList>

// What the update's own files share (the check, the installation, the carry-over); nothing outside update/
// includes this header.
namespace vestrum::update {

inline const QString kCaption = QStringLiteral("Aktualizacja programu");
inline const QString kRefused = QStringLiteral("Aktualizacja składnika %1 odrzucona: %2.");
inline const QString kUpdaterName = QStringLiteral("aktualizuj");

// The folder of a file, ending in "/".
QString folderOf(const QString& path);
// A folder and all it holds; a link of that name is removed alone, never what it points at.
void removeTree(const QString& folder);
// The member of a package that becomes `wantedName` (letter case aside); the package is refused without it.
QString requiredMember(const QStringList& members, const QString& wantedName, const QString& package);

} // namespace vestrum::update
