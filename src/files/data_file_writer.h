#pragma once

// The one save path. Every writer of a data file (.naj) or of a survey database goes through here, the
// program's "Zapisz dane" and "Zapisz dane jako ..." as well as the headless commands, so the same refusals
// hold everywhere: a restore point is never a target, nor a file marked read-only (by its mode, whoever runs
// the program), a file of the earlier version, damaged data, a list with duplicate rows or a text longer than
// its field. A data file is written under a staging name and renamed over the old one, and a second writer
// waits for the first: a data file is locked from the moment it is read until the new one stands in its
// place; a survey database relies on the engine's own locks.

#include "files/data_files.h"
#include "storage/engine.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace vestrum::lists {
class ListGrid;
}

namespace vestrum::datafiles {

QString FileInUseMessage(const QString& path);    // "Plik %1 jest używany przez inny program."
QString RestorePointTargetMessage();
QString NoRecordsMessage();                        // an import that yields no record
QString MissingFileMessage(const QString& path);   // "Nie znaleziono pliku %1"

// How long a writer waits for another writer of the same data file before it is refused (10 s); tests
// shorten it. Survey databases wait as long, through the engine (db::SetBusyTimeout).
void SetLockWait(int milliseconds);
int LockWait();

// The lock a writer of a data file holds from reading it to putting the new file in its place (flock on the
// file). Saves replace the file by a rename, so a lock on the file that was renamed away protects nothing: a
// writer that gets the lock checks that the name still leads to the file it locked, and starts again when
// not. For a file that does not exist yet its folder is locked instead, until the lock goes: two writers making
// the same new file take turns, and the second finds the first one's file. Throws SaveRefused with
// FileInUseMessage when another writer keeps it longer than LockWait().
class DataFileLock {
public:
    explicit DataFileLock(const QString& path);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

private:
    int fd_ = -1;
};

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

// Puts `database` in the place of member `member` (ankieta.mdb) of the data file `target`, the rest of the
// file kept: the archive is rebuilt under a staging name, checked (member and database, see CheckedArchive)
// and renamed over the old file. Returns the archive's failure, empty when the file was written; throws
// DamagedDatabase when `database` fails the quick check. The caller holds the target's DataFileLock.
QString PutSurveyIntoDataFile(const QString& database, const QString& target, int member, CheckedArchive& archive);

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

} // namespace vestrum::datafiles
