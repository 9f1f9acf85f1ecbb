#pragma once

// The version file "ankieta_version.conf": its first line is ignored, every further line describes one
// component as  name:a.b.c.d;label:kind;label:package;label:special page;label:folder;
// The labels are not examined; each value is the text after the item's first ":" (a special page is an
// address and holds ":" itself), without surrounding blanks.

#include "update/version.h"

#include <QList>
#include <QString>

#include <optional>

namespace vestrum::update {

// How a component is installed.
enum class ComponentKind { Program = 0, File = 1, JournalList = 2, SurveyDatabase = 3, RunOnce = 4 };

// One component of the version file, with what was found of it on this computer.
struct UpdateEntry {
    QString name; // "program", "dane", "Lista_czasopism", "pomoc" or a further component
    VersionNumber available = 0;
    VersionNumber installed = 0;
    ComponentKind kind = ComponentKind::File;
    QString package; // a plain file name; empty only for a component with a special page
    QString specialPage; // an http(s) address: the component is installed by hand
    QString localPath; // full path of the installed component, empty when not known
    QString folder; // target folder relative to the program folder, "/" separated
    bool upToDate = false;

    bool isNewer() const { return installed < available; }
    bool isNamed(const QString& standardName) const { return name.compare(standardName, Qt::CaseInsensitive) == 0; }
};

// Reads the whole file strictly: blank lines and a trailing CR are ignored; any line that is not a valid
// component line (a bad or oversized version, a kind outside 0..4, a name or package that is not a plain
// file name, a standard component with a kind not its own, a folder leading out of the program folder, a special page
// that is not an http(s) address) refuses the whole file.
std::optional<QList<UpdateEntry>> ParseVersionFile(const QString& text);

} // namespace vestrum::update
