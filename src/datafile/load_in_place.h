#pragma once

// A loaded database laid out exactly as the working one needs no copy: the unpacked file itself takes the working
// database's place, by one rename. Copying a 50 MB survey table by table rewrites every page twice (once into the
// journal, once into the database); the rename writes nothing but the folder entry.

#include <QString>

#include <future>

namespace vestrum {

class Program;

namespace db {
class Connection;
}

namespace datafiles {

// Whether the database `loaded` may become the working database as it is: the same tables with the same fields,
// the same indexes, triggers and views (all made by the same statements, nothing more), the same text encoding,
// journal mode, password and version record. Anything else goes through the copy, which converts what it knows
// and leaves behind what the working database does not have.
bool LaidOutAsWorking(db::Connection& working, db::Connection& loaded);

// The bytes of the unpacked database file sent to the disk on a thread of their own from the moment the file is
// unpacked, while the checks read it. They must be there before the file may replace the working one (a power cut
// must not leave an empty file in its place). Waited for by the destructor on every way out, so the file is never
// removed under the sync.
class UnpackedFileSync {
public:
    explicit UnpackedFileSync(const QString& unpacked);
    ~UnpackedFileSync();
    UnpackedFileSync(const UnpackedFileSync&) = delete;
    UnpackedFileSync& operator=(const UnpackedFileSync&) = delete;

    // Waits for the sync; throws vestrum::Error when the bytes could not be written.
    void await();

private:
    std::future<bool> synced_;
};

// Puts the unpacked database file `unpacked` (synced, checked, and closed by every connection) in the place of the
// working database and opens the working connection on it; the folder entry reaches the disk after the rename. The
// working file is replaced while its exclusive lock is held, so that no other program is in the middle of writing
// it. On failure the working database is as it was and vestrum::Error says why.
void PutInPlaceOfWorking(Program& program, const QString& unpacked);

} // namespace datafiles
} // namespace vestrum
