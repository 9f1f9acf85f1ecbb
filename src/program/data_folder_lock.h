#pragma once

#include <QString>

namespace vestrum {

class Program;

// Two programs must never work on one data folder: when one closed it would record "nothing unsaved" over the
// other's record, and the other's crash would then lose its work. The single-instance lock lives in the user's
// own runtime folder and keeps out the same user only, so the data folder carries a lock of its own: flock on
// "dane/.vestrum-blokada", held on a descriptor open for the whole run. The file is made when missing and never
// removed (removing it would let a second program lock a new file while the first still holds the old one);
// the kernel lets the lock go however the program ends.
class DataFolderLock {
public:
    DataFolderLock() = default;
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    // Takes the lock of `dataFolder`. False only when another program holds it; a lock file that cannot be made
    // or opened (a read-only folder) guards nothing and does not stop the start.
    bool take(const QString& dataFolder);
    void release();

private:
    int descriptor_ = -1;
};

// The lock file of a data folder.
QString dataFolderLockPath(const QString& dataFolder);

// "Program pracuje już na tych danych (inny użytkownik lub inna sesja). Zamknij go i uruchom ponownie."
QString dataFolderInUseMessage();

// True when `databasePath` is the working database of a data folder ("ankieta.mdb" beside the lock file) whose
// lock a running program holds now. Takes and drops a shared lock to find out, so a headless writer's share
// (DataFolderShare) does not keep readers out; makes no file.
bool DataFolderInUse(const QString& databasePath);

// Throws vestrum::Error with dataFolderInUseMessage when DataFolderInUse: the headless commands never open the
// database a running program works on.
void RefuseDataFolderInUse(const QString& databasePath);

// A headless writer's hold on the data folder of the database it changes, for as long as the object lives. A
// running program holds the folder's lock alone, so a writer that finds it held is refused (Error with
// dataFolderInUseMessage), and a program started while the writer works is refused in its turn: otherwise the
// program's next save would write its own rows over what the command saved, or the command would change the
// database under the program. Writers share the lock with each other and with readers; the engine orders their
// writes. Decided on the path as the file system resolves it ("dane/../dane/ankieta.mdb" is the working
// database too); any other file than an "ankieta.mdb" is nobody's working database and is not locked.
class DataFolderShare {
public:
    explicit DataFolderShare(const QString& databasePath);
    ~DataFolderShare();
    DataFolderShare(const DataFolderShare&) = delete;
    DataFolderShare& operator=(const DataFolderShare&) = delete;

private:
    int descriptor_ = -1;
};

namespace startup {

// The start's lock of the data folder of the program folder (set in program.state). When another program holds
// it the user is told so and false is returned: the start must end before any database is opened.
bool lockDataFolder(Program& program, DataFolderLock& lock);

} // namespace startup
} // namespace vestrum
