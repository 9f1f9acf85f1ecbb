#pragma once

// Temporary files and folders of the program. Every one of them is named
// ".vestrum-tmp-<host>-<process>-<random>", so that a save that was interrupted (a crash, a killed process, a
// removed disk) leaves nothing a later save cannot recognise as ours and clear away, and nothing the user made is
// ever taken for one.

#include <QString>
#include <QTemporaryDir>

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

// Removes from `folder` (not from its subfolders) the temporary files and folders that no running copy owns.
// Returns how many were removed. Nothing else is touched.
int removeAbandoned(const QString& folder);

// A private folder for the scratch files of one headless command, in the system's temporary folder under the
// program's pattern, removed with everything in it when it goes out of scope. Making one first clears the
// folders and files there that commands killed earlier left behind.
class ScratchFolder : public QTemporaryDir {
public:
    ScratchFolder();
};

} // namespace vestrum::tempfiles
