#pragma once

#include <QString>

namespace vestrum {

// The text every writer shows when the file it would replace is marked read-only.
QString readOnlyTargetMessage();

// True when `path` exists and its mode denies its owner writing. Decided from the mode bits, not from a failed
// open: the owner of the folder may rename over any file, and root may write anything, yet a file the user
// marked read-only must stay as it is whoever runs the program.
bool isReadOnlyTarget(const QString& path);

// "Plik %1 nie jest zwykłym plikiem."
QString specialFileMessage(const QString& path);

// True when `path` exists (a symbolic link counts as what it points to) and is neither a regular file nor a
// folder: a FIFO, a device or a socket. Opening one blocks until another process writes, or reads without end,
// so every reader and writer asks this before it opens a path it was given.
bool isSpecialFile(const QString& path);

// Throws vestrum::Error with specialFileMessage when isSpecialFile.
void refuseSpecialFile(const QString& path);

// Whether `folder` lets nobody but its owner in: no permission at all for its group or others.
bool isClosedToOthers(const QString& folder);

// Takes every permission of the group and of others off `path` (a link is left alone): 0644 becomes 0600, 0755
// becomes 0700. False when the mode could not be changed.
bool closeToOthers(const QString& path);

// A file the program makes for itself (settings, a database, a lock) in a folder closed to others is closed to
// others too, whatever the umask: what lies in the user's own data folder stays the user's alone. In any other
// folder the file keeps the mode it was made with.
void closeToOthersLikeItsFolder(const QString& path);

} // namespace vestrum
