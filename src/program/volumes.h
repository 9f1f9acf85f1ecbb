#pragma once

#include <QString>
#include <QVector>

namespace vestrum {

// A place the drive choosers offer: the user's home folder or a mounted volume.
struct Place {
    QString root;  // folder path
    QString label; // as the chooser shows it
    bool home = false;
};

// The home folder first, then every mounted volume that can hold the user's files (the system's
// pseudo file systems are left out), each once, in path order. Stands in for a list of drive letters.
QVector<Place> UserPlaces();

// True when `path` is `root` or lies below it.
bool isInsideFolder(const QString& path, const QString& root);

} // namespace vestrum
