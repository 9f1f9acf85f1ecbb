#pragma once

// Names and paths that come from outside (a version file, a package, the settings file) are held to the
// program folder: nothing they name is written or deleted anywhere else.

#include <QString>
#include <QUrl>

#include <optional>

namespace vestrum::update {

// A bare file name: not empty, no "/", "\", ":", "..", NUL or other control characters, at most 255
// characters. "[" and "]" are refused too, as the name of a component is also a section of ankieta.ini.
bool IsPlainFileName(const QString& name);

// True when `path` lies inside `programFolder` (or is it), compared after resolving "." and "..", and,
// where they exist, after resolving links.
bool IsInsideProgramFolder(const QString& programFolder, const QString& path);

// The folder `relative` (either slash allowed, empty for the program folder itself) under the program
// folder, always ending with "/"; empty when it would lead out of the program folder.
QString FolderInsideProgramFolder(const QString& programFolder, const QString& relative);

// The special page of a component, when it is an http or https address with a host.
std::optional<QUrl> WebAddress(const QString& text);

} // namespace vestrum::update
