#pragma once

// The lock a writer of a data file holds from reading it to putting the new file in its place, so that a second
// writer waits for the first.

#include <QString>

namespace vestrum::datafiles {

QString FileInUseMessage(const QString& path);    // "Plik %1 jest używany przez inny program."

// How long a writer waits for another writer of the same data file before it is refused (10 s); tests
// shorten it. Survey databases wait as long, through the engine (db::SetBusyTimeout).
void SetLockWait(int milliseconds);
int LockWait();

// The lock (flock on the file). Saves replace the file by a rename, so a lock on the file that was renamed away
// protects nothing: a writer that gets the lock checks that the name still leads to the file it locked, and
// starts again when not. For a file that does not exist yet its folder is locked instead, until the lock goes:
// two writers making the same new file take turns, and the second finds the first one's file. Throws SaveRefused
// with FileInUseMessage when another writer keeps it longer than LockWait().
class DataFileLock {
public:
    explicit DataFileLock(const QString& path);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace vestrum::datafiles
