#pragma once

// Data files (*.naj): an archive holding one member, ankieta.mdb, a copy of the working database.
// Saving writes the working database into such a file; loading copies the tables of a data file into the
// working database, converting the files of the 2005 version on the way.

#include "base/error.h"
#include "archive/zlb_archive.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <future>

namespace vestrum {

class Program;
struct RunState;
namespace db {
class Connection;
}

namespace datafiles {

// A save refused for a reason the user must read as such (a read-only file, damaged working data, a restore
// point named as the target), rather than as the general notice that the file was not saved.
class SaveRefused : public Error {
public:
    using Error::Error;
};

// The working database failed SQLite's quick check; `detail` is what the check found.
class DamagedDatabase : public Error {
public:
    explicit DamagedDatabase(const QString& detail) : Error(detail), detail_(detail) {}
    const QString& detail() const { return detail_; }

private:
    QString detail_;
};

// What a long operation reports while it runs; the window shows it in the progress window, tests count it.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void start(const QString& caption, const QString& label, int maximum) = 0;
    virtual void step(const QString& label) = 0;
    virtual void finish() = 0;
};

class NoProgress final : public Progress {
public:
    void start(const QString&, const QString&, int) override {}
    void step(const QString&) override {}
    void finish() override {}
};

// A file the user marked read-only (its owner may not write it) is not replaced by any writer, whoever runs the
// program, root included: throws SaveRefused.
void RefuseReadOnlyTarget(const QString& path);

// The one member of a data file and of a restore point.
QString memberName();
// ProgramFolder + "dane.tmp", the folder the earlier versions unpacked into. A load now unpacks into a folder of
// its own (see LoadDataFile) and never touches this one.
QString temporaryFolder(const QString& programFolder);

// The 21 list tables that a load as starting data leaves empty.
const QStringList& listTablesOmittedFromStartingData();

enum class LoadOutcome {
    Loaded,             // a current data file
    LoadedEarlierVersion, // a file of the earlier version, after "Tak" to the question
    Declined,           // "Nie" to the earlier-version question: nothing changed
};

// LoadDataFile: copies every table of the data file at `path` into the working database (program.survey),
// in the mode given by program.state.StartingDataMode. Only the member ankieta.mdb is unpacked, into a private
// folder in the program's temporary pattern that is removed afterwards, and it must pass SQLite's quick check:
// a damaged one fails with a Polish message whose last line holds the technical detail. Asks the earlier-version question through the
// program's messages. Sets CurrentDataFile and DataSaved on success. Damaged working data are set aside once the
// file has passed its checks (SetDamagedWorkingDataAside), and the file is loaded into the new database.
//
// All tables are copied inside one transaction: when anything fails, the working database is exactly as
// it was, CurrentDataFile and DataSaved keep their values, and vestrum::Error carries the reason.
LoadOutcome LoadDataFile(Program& program, const QString& path, Progress& progress);

// Damaged working data are never a dead end: loading a data file (also a restore point and the start-up load)
// and "Nowa jednostka" first call this. When the working database fails the quick check, or its file no longer
// opens as a database of the program (emptied, cut short, a damaged header), it is moved aside whole as
// DamagedWorkingDataAsidePath (its journal with it), a new database of the current schema and the program's own
// version takes its place and is opened, and the user is told where the damaged one went. Returns that path;
// empty when the working data are sound. When the move fails, vestrum::Error and the working database is as it
// was.
QString SetDamagedWorkingDataAside(Program& program);
// The same without a word to the user, for a caller that tells the whole story in one message (the start).
QString MoveDamagedWorkingDataAside(Program& program);
// "<database>.uszkodzona-RRRR_MM_DD-GG_MM", then with "_2", "_3"... when taken.
QString DamagedWorkingDataAsidePath(const QString& databasePath, const QDateTime& when);

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

// The message for working data that failed the quick check: nothing was saved, and the newest restore point
// (or, without one, the last data file) is where to go back to. `detail` ends it as a technical line.
QString DamagedWorkingDataMessage(const RunState& state, const QString& detail);
// SQLite's quick check of an open database: empty when it is sound, else what it found, on one line.
QString DatabaseDamage(db::Connection& connection);
// That message when the working database fails the quick check now or no longer opens; empty when it is sound.
QString WorkingDataDamage(Program& program);

// Writes the reporting year into Rok_sprawozdawczy of dane_szczegolowe and clears DataSaved.
void StoreReportingYear(Program& program, const QString& year);

// "Nowa jednostka": empties every table but `wersja` and puts one record with id -1 into dane_podstawowe (into a
// new database when the working one is damaged: SetDamagedWorkingDataAside).
void ClearForNewUnit(Program& program);

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

} // namespace datafiles
} // namespace vestrum
