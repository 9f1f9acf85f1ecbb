#pragma once

// The one save path. Every writer of a data file (.naj) or of a survey database goes through here, the
// program's "Zapisz dane" and "Zapisz dane jako ..." as well as the headless commands, so the same refusals
// hold everywhere: a restore point is never a target, nor a file marked read-only (by its mode, whoever runs
// the program), a file of the earlier version, damaged data, a list with duplicate rows or a text longer than
// its field. A data file is written under a staging name, read back and checked, and renamed over the old one;
// a second writer waits for the first: a data file is locked from the moment it is read until the new one
// stands in its place; a survey database relies on the engine's own locks.

#include "archive/zlb_archive.h"
#include "datafile/damaged.h"
#include "datafile/data_file.h"
#include "datafile/data_file_lock.h"
#include "storage/engine.h"

#include <QString>
#include <QStringList>

#include <future>
#include <memory>
#include <vector>

namespace vestrum {

class Program;

namespace lists {
class ListGrid;
}

namespace datafiles {

QString RestorePointTargetMessage();
QString NoRecordsMessage();                        // an import that yields no record
QString MissingFileMessage(const QString& path);   // "Nie znaleziono pliku %1"

// ---- Refusals

// A file the user marked read-only (its owner may not write it) is not replaced by any writer, whoever runs the
// program, root included: throws SaveRefused.
void RefuseReadOnlyTarget(const QString& path);

// The refusals that depend on the target alone: a restore point, a file marked read-only. Throws SaveRefused.
void RefuseTarget(const QString& target);

// Removes the staged files that writers killed before they were done left in the folder of `target` (and of the
// file it links to): every writer calls it before it writes, so none of them stays for ever.
void ClearAbandonedStaging(const QString& target);

// The refusals of a survey database about to be written into a data file: one that opens only with the 2005
// password (SaveRefused), one that is no survey (Error), damaged data (SaveRefused). `shownAs` names it.
void RefuseSurveySource(const QString& database, const QString& shownAs);

// The refusals of a list about to be saved, as the list editor and its entry dialog make them: rows that
// are equal without regard to case, then texts longer than their fields. Throws SaveRefused.
void RefuseListProblems(db::Connection& survey, int kind, const lists::ListGrid& grid);

// An import to be saved must bring at least one row with a non-blank cell. Throws SaveRefused.
void RefuseEmptyImport(const std::vector<QStringList>& rows);

// ---- The staged write and its check

// The archive through which data files and restore points are written. Before the rebuilt archive is put in
// place of the old one it is read back: the member must be there, decompress to the bytes whose CRC the
// directory records, and be as long as the database it was made from. A large member, deflated in blocks, is
// compared with the database itself, its blocks inflated on every core. A rebuild that fails the check is
// thrown away, so a data file is never replaced by a damaged or empty one.
//
// The database itself is checked too (SQLite's quick check), on a second thread while the archive is written, so
// the check costs next to no time: a damaged database never replaces the old file.
class CheckedArchive : public ZlbArchive {
public:
    ~CheckedArchive() override;
    // The database the next rebuild is made from; its length is what the member must unpack to.
    void expectSource(const QString& path) { expectedSource_ = path; }
    // Starts the quick check of `path`; BeforeReplace waits for it and keeps the old file when it finds damage.
    void checkSourceAlongside(const QString& path);
    // What the check found, waiting for it when it still runs; empty when the database is sound or none ran.
    QString sourceDamage();

protected:
    void BeforeReplace(const QString& tempFileName) override;

private:
    QString expectedSource_;
    std::future<QString> sourceCheck_;
    QString sourceDamage_;
};

// Closes the survey connection for as long as the database file is copied, and opens it again afterwards
// when it was open before (the closing sequence makes its restore point with the connection closed).
class SurveyClosed {
public:
    explicit SurveyClosed(Program& program);
    ~SurveyClosed();
    SurveyClosed(const SurveyClosed&) = delete;
    SurveyClosed& operator=(const SurveyClosed&) = delete;
    // Reopens now, throwing when that fails.
    void reopen();

private:
    Program& program_;
    bool wasOpen_;
};

// Puts `database` in the place of member `member` (ankieta.mdb) of the data file `target`, the rest of the
// file kept: the archive is rebuilt under a staging name, checked (member and database, see CheckedArchive)
// and renamed over the old file. Returns the archive's failure, empty when the file was written; throws
// DamagedDatabase when `database` fails the quick check. The caller holds the target's DataFileLock.
QString PutSurveyIntoDataFile(const QString& database, const QString& target, int member, CheckedArchive& archive);

// ---- Putting the file in place

// Writes `databasePath` as the only member of a new archive at `target`. The archive is built under a
// temporary name beside the target and renamed over it only when checked, so whatever happens, `target`
// holds either its old content or the whole new archive. `archive` lets tests play a crash. A database that
// fails the quick check throws DamagedDatabase; a read-only target, SaveRefused. Leftover temporary files of
// interrupted saves into the same folder are cleared first.
void WriteArchiveOf(const QString& databasePath, const QString& target, CheckedArchive& archive);

// Writes `databasePath` as the only member of a new archive under the first of `candidates` that no file has,
// never replacing an existing file, and returns the path used. Throws vestrum::Error when it could not be
// written or every name was taken; nothing is then left behind.
QString WriteArchiveAsNewFile(const QString& databasePath, const QStringList& candidates, CheckedArchive& archive);

// Gives the finished file `staging` the name `target` in one step that never replaces a file: false, and
// `staging` kept, when a file has that name.
bool PlaceAsNewFile(const QString& staging, const QString& target);

// The last step of every staged write: `staging` (a finished file beside `target`) reaches the disk, takes the name
// `target` in one rename, and the folder's entry is synced, so `target` holds its old content or the whole new one.
// False, with `staging` left where it is, when the rename fails.
bool PlaceStagedFile(const QString& staging, const QString& target);

// ---- The saves of the program and of the commands

// The path "zapisz" of the save window writes to: folder + "/" + name with its extension set to ".naj".
// Returns an empty string when the name still holds a "*" (the user has not named the file).
QString dataFilePath(const QString& folder, const QString& name);

// Writes the working database into a new data file at `path`, replacing a file already there only once the
// new one has been written whole and checked. A file marked read-only, a restore point, a file another writer
// keeps locked (see DataFileLock) or working data that fail the quick check are refused with SaveRefused (its
// message says why and, for damage, which restore point to use). The survey connection is closed meanwhile
// and reopened.
// Throws vestrum::Error when the file could not be written; an old file at `path` is then untouched.
void WriteDataFile(Program& program, const QString& path);
class CheckedArchive;
void WriteDataFile(Program& program, const QString& path, CheckedArchive& archive);

// "Zapisz dane": replaces member 0 of CurrentDataFile with the working database and sets DataSaved.
// Throws vestrum::Error when the file could not be written; it then keeps its old content. Refuses (SaveRefused)
// a read-only file, a restore point, a file locked by another writer and damaged working data, as
// WriteDataFile does.
void SaveToCurrentDataFile(Program& program);
void SaveToCurrentDataFile(Program& program, CheckedArchive& archive);

// A survey file opened by a headless command to be changed: a data file (.naj), whose database is unpacked
// into a scratch folder and packed back by commit(), or a survey database, changed in place inside one
// transaction that commit() ends. Opening refuses the working database of a running program (DataFolderShare,
// held for as long as the object lives), what RefuseTarget refuses, a missing file, a file of the earlier
// version and damaged data (a member failing its CRC included), and takes the data file's lock (or the
// database's write lock) for as long as the object lives. Anything thrown before commit() leaves the file as it
// was.
class SurveyFileWrite {
public:
    explicit SurveyFileWrite(const QString& target);
    ~SurveyFileWrite();
    SurveyFileWrite(const SurveyFileWrite&) = delete;
    SurveyFileWrite& operator=(const SurveyFileWrite&) = delete;

    db::Connection& survey() { return survey_; }
    // Replaces the kind's rows after RefuseListProblems.
    void saveList(int kind, const lists::ListGrid& grid);
    // Writes the changed survey back: the data file whole or not at all.
    void commit();

private:
    struct Held;
    QString target_;
    std::unique_ptr<Held> held_;
    QString database_;
    db::Connection survey_;
};

} // namespace datafiles
} // namespace vestrum
