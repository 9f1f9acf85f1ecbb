#pragma once

#include "program/program.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

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
    std::function<bool()> updateCheck;          // the update check; true when the start must stop
    // The update list for the about box: (name, installed version) rows, last entry first.
    std::function<QVector<QPair<QString, QString>>()> updateVersionRows;
};

namespace startup {

// The single-instance lock "XQ_dziala". The external updater waits on the same lock for the program to end.
QString singleInstanceLockPath();

// Program folder (always ending with "/"), the working database and the help file.
void setProgramFolder(RunState& state, const QString& executableFolder);

// Opens the survey and journal-list databases, creating either when it is missing. A database
// that exists but cannot be opened throws vestrum::Error whose message names the file; it is
// never changed or replaced.
void openDatabases(Program& program);

// The about box's table of component versions: (name, version) rows. An update list of more than three
// entries is shown as it is; otherwise the four standard components as found on this computer.
QVector<QPair<QString, QString>> versionTable(Program& program,
                                              const QVector<QPair<QString, QString>>& updateRows = {});

// The text of "select * from wersja" on a connection, or "0.0.0.0" when it cannot be read.
QString databaseVersion(db::Connection& connection);

// Steps 11 to 13: the command line, the missing-file notice, and which data the user sees first.
// Returns the main window's title.
QString chooseStartData(Program& program, const QStringList& arguments, const ShellSteps& steps);

// The closing questions and steps. Returns false when the user decided to stay.
bool runClosingSequence(Program& program, const ShellSteps& steps);

QString windowTitle(const RunState& state);

} // namespace startup
} // namespace vestrum
