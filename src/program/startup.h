#pragma once

#include "program/program.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <thread>

namespace vestrum {

// The program's own version, shown in the about box.
QString programVersion();

// Steps of start and close that other modules supply. A missing step is skipped; each is
// filled in by the module that owns it (settings, data files, restore points, sections...).
struct ShellSteps {
    std::function<void()> readSettings;
    std::function<void()> writeSettings;
    std::function<void()> confirmPendingEdit;   // saves or discards a section left in edit mode
    std::function<void()> saveData;             // "Zapisz dane"
    std::function<void()> backupCopy;           // the save-data window for a backup copy
    std::function<void()> closeHelpWindows;
    std::function<void()> weeklyRestorePoint;
    std::function<void(const QString&)> loadDataFile; // LoadDataFile
    std::function<void()> loadAllSections;      // LoadAllSections
    std::function<void()> openJournalView;      // the journal list, read once and kept for the run
    // Makes a restore point of the working database before the start-up load replaces it, because the last
    // run left changes that are in no data file. Returns how the restore list names the point (empty when
    // no point could be made).
    std::function<QString()> keepUnsavedWork;
    // Whether the open working database fails the quick check (its unsaved changes cannot then be kept in a
    // restore point, and every save of them is refused).
    std::function<bool()> workingDataDamaged;
    // Moves damaged working data aside whole and opens a new database in their place (SetDamagedWorkingDataAside);
    // throws vestrum::Error when they cannot be moved.
    std::function<void()> setDamagedWorkingDataAside;
    // The same for a working database the engine cannot open at start, without a word to the user (the start
    // tells the whole story in one message); returns where the damaged file went.
    std::function<QString()> moveDamagedWorkingDataAside;
    // Loads the newest restore point over the working data; returns how the restore list names it, empty when
    // there is none. Throws vestrum::Error when it cannot be loaded.
    std::function<QString()> loadNewestRestorePoint;
    std::function<bool()> updateCheck;          // the update check; true when the start must stop
    // The update list for the about box: (name, installed version) rows, last entry first.
    std::function<QVector<QPair<QString, QString>>()> updateVersionRows;
};

namespace startup {

// The user's own runtime folder ($XDG_RUNTIME_DIR, else the home folder).
QString userRuntimeFolder();

// The single-instance lock "XQ_dziala" in the user's own runtime folder: a lock another user left behind in a
// shared folder must not keep this user's program from starting. The external updater waits on the same lock
// for the program to end.
QString singleInstanceLockPath();

// The local socket through which a second start hands its data file to the running copy, beside the lock.
QString fileHandoffSocketPath(const QString& runtimeFolder = userRuntimeFolder());

// Whether a command-line argument names a data file: it contains ".naj", in any letter case.
bool isDataFileArgument(const QString& argument);

// Program folder (always ending with "/"), where the data live (program/data_home.h: decided again only for
// another program folder), the working database and the help file.
void setProgramFolder(RunState& state, const QString& executableFolder);

// The journal list's database (`path`, RunState::journalListPath) is made on the first start, from the list
// built into the program. Made on a second thread while the main window is being built, it costs the user no
// wait. A failure is left to openDatabases, which makes the list again and reports what went wrong.
class JournalListPreparation {
public:
    explicit JournalListPreparation(const QString& path);
    ~JournalListPreparation();
    JournalListPreparation(const JournalListPreparation&) = delete;
    JournalListPreparation& operator=(const JournalListPreparation&) = delete;

    // Returns when the list is made (or was there already, or could not be made).
    void wait();

private:
    std::thread worker_;
};

// A working database the start found to be no database of the program, kept whole under another name.
struct DamagedAtStart {
    QString asidePath; // empty when the working database opened
    QString detail;    // why it did not
    bool happened() const { return !asidePath.isEmpty(); }
};

// Opens the survey and journal-list databases, creating either when it is missing. A working database the
// engine cannot open (emptied, cut short, a damaged header) is moved aside whole through
// steps.moveDamagedWorkingDataAside and a new one opened in its place; the returned record says so, and
// chooseStartData then fills the new one. Any other database that exists but cannot be opened, and a damaged one
// that cannot be moved, throw vestrum::Error whose message names the file; such a file is never changed.
DamagedAtStart openDatabases(Program& program, const ShellSteps& steps = {});

// The about box's table of component versions: (name, version) rows. An update list of more than three
// entries is shown as it is; otherwise the four standard components as found on this computer.
QVector<QPair<QString, QString>> versionTable(Program& program,
                                              const QVector<QPair<QString, QString>>& updateRows = {});

// The text of "select * from wersja" on a connection, or "0.0.0.0" when it cannot be read.
QString databaseVersion(db::Connection& connection);

// Steps 11 to 13: the command line, the missing-file notice, and which data the user sees first.
// When the last run left changes that are in no data file (a crash, or a save at close that failed), a
// data file is loaded over them only after keepUnsavedWork has kept them in a restore point, and the
// user is told which one; without that point the working database is kept as it is, tied to no file, unless it
// is damaged: then the load goes on and sets it aside whole (no save would ever take its changes).
// After a damaged working database was set aside (`damaged`), the new one holds nothing to keep: the last data file
// is loaded into it, or failing that the newest restore point, and one message says where the damaged file went
// and what was loaded.
// Returns the main window's title.
QString chooseStartData(Program& program, const QStringList& arguments, const ShellSteps& steps,
                        const DamagedAtStart& damaged = {});

// The message of a start that set a damaged working database aside; `loaded` says what went into the new one.
QString damagedAtStartNotice(const QString& databasePath, const DamagedAtStart& damaged, const QString& loaded);

// The closing questions and steps. Returns false when the user decided to stay, also when "Zapisz dane"
// left the data unsaved and the user chose not to close without them.
bool runClosingSequence(Program& program, const ShellSteps& steps);

QString windowTitle(const RunState& state);

// The notice of a start that kept the last run's unsaved changes in the restore point named `pointName`.
QString unsavedWorkKeptNotice(const QString& pointName);

} // namespace startup
} // namespace vestrum
