#pragma once

// How the names of members are kept in records, and how they become paths on extraction.

#include <QByteArray>
#include <QString>

namespace vestrum::zlb {

// A name as a record holds it: Windows-1250 bytes, at most 255.
QByteArray storedName(const QString& text);
// "C:\dane\x.mdb" -> folder "C:\dane\" and name "x.mdb"; both separators count, as names may come from Windows.
void splitPath(const QString& path, QString& folder, QString& name);
// The folder as records keep it: "\" separators, nothing up to and including the first ":".
QString storedFolder(QString folder);
// A name that could reach outside the target folder, or that no file system accepts.
bool unsafeName(const QString& part);
QString joinPath(const QString& folder, const QString& name);

} // namespace vestrum::zlb
