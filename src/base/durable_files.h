#pragma once

// The steps that make a replaced file survive a power cut: the staged file's bytes reach the disk before it is
// renamed over its destination, and the folder's entry reaches the disk after.

#include <QString>

class QFile;

namespace vestrum::durable {

// Flushes `file` and waits until its bytes are on the disk. False when either fails.
bool syncFile(QFile& file);
// Waits until the entries of `folder` (a rename in it) are on the disk; a folder that cannot be opened is left.
void syncFolder(const QString& folder);
// Renames `from` over `to` in one step: rename(2) on POSIX, MoveFileEx with replace on Windows. False on failure.
bool replaceFile(const QString& from, const QString& to);

} // namespace vestrum::durable
