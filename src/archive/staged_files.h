#pragma once

// Staged files and folders of the program: whatever is written beside its destination and renamed over it when
// whole. Every one of them is named ".vestrum-tmp-<host>-<process>-<random>", so that a write that was
// interrupted (a crash, a killed process, a removed disk) leaves nothing a later one cannot recognise as ours and
// clear away, and nothing the user made is ever taken for one.

#include <QString>

#include <functional>
#include <utility>

namespace vestrum::tempfiles {

// The fixed start of every temporary name.
QString prefix();
// A name for this process: prefix, host, process id, then `random` (for QTemporaryDir: "XXXXXX").
QString nameFor(const QString& random);
// A fresh, empty file with such a name in `folder`, created "new only" so that it is ours alone. Returns its
// path; empty when the folder does not take a new file.
QString createFile(const QString& folder);

// Whether `fileName` (no folder) is one of the program's temporary names.
bool isTemporaryName(const QString& fileName);
// Whether the copy of the program that made `fileName` may still be running: always true for another host or a
// process that exists (even one we may not signal); false only when this host has no such process.
bool ownerMayBeRunning(const QString& fileName);

// Whether a file found in an abandoned temporary folder is one the program put there (temporary names always are).
using IsLeftover = std::function<bool(const QString& fileName)>;

// Removes from `folder` (not from its subfolders) the temporary files and folders that no running copy owns; a
// folder goes only when it holds nothing but what `isLeftover` recognises. Returns how many were removed.
// Nothing else is touched.
int removeAbandonedHolding(const QString& folder, const IsLeftover& isLeftover);

// Removes a staged file unless it was put in its place.
class TempFileGuard {
public:
    explicit TempFileGuard(QString path) : path_(std::move(path)) {}
    ~TempFileGuard();
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void release() { path_.clear(); }

private:
    QString path_;
};

} // namespace vestrum::tempfiles
