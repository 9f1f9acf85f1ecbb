#pragma once

// The steps that make a replaced file survive a power cut: the staged file's bytes reach the disk before it is
// renamed over its destination, and the folder's entry reaches the disk after. Every writer of the program's
// files takes them through here, so that one place decides them and a test can watch their order.

#include <QString>

#include <functional>

class QFile;

namespace vestrum::durable {

enum class Step { SyncFile, Rename, SyncFolder };

// One step taken: the file synced, the file renamed (`path` is then where it went, `from` where it was) or the
// folder synced.
struct Event {
    Step step;
    QString path;
    QString from;
};

// Told of every step as soon as it succeeded, on the thread that took it. Only tests install one.
using Watcher = std::function<void(const Event&)>;
void SetWatcher(Watcher watcher);

// Flushes `file` and waits until its bytes are on the disk. False when either fails.
bool syncFile(QFile& file);
// The same for the file at `path`, which the caller has finished writing.
bool syncFileAt(const QString& path);
// Waits until the entries of `folder` (a rename in it) are on the disk; a folder that cannot be opened is left.
void syncFolder(const QString& folder);
// Renames `from` over `to` in one step: rename(2) on POSIX, MoveFileEx with replace on Windows. False on failure.
bool replaceFile(const QString& from, const QString& to);

} // namespace vestrum::durable
