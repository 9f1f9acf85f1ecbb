#pragma once

// Restore points: snapshots of the working database in the folder "archiwum", one archive per minute named
// a_rrrr_mm_dd-gg_mm.nar. One is made before every wholesale change of the working data, on request, and at
// exit when the newest one is more than a week old. The name carries the point's only date.

#include "files/data_files.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace vestrum {

class Program;

namespace restorepoints {

// "a_2008_03_05-09_07.nar" for 5 March 2008, 09:07 (seconds are left out).
QString RestorePointName(const QDateTime& when);

// The names a point made at `when` may take, in order: the minute's own name, then the same with "_02" to "_99".
QStringList RestorePointCandidates(const QString& folder, const QDateTime& when);

// Snapshots the working database under the name of the program clock's current minute, creating the folder
// "archiwum" when needed. A restore point never replaces another: a second point within the same minute gets
// the next free name of RestorePointCandidates. The survey connection is closed meanwhile and reopened when it
// was open. True when the new point holds ankieta.mdb, and then `madePath` (when given) receives its path; a
// point that could not be written whole leaves nothing behind.
bool MakeRestorePoint(Program& program, QString* madePath = nullptr);
bool MakeRestorePoint(Program& program, datafiles::CheckedArchive& archive, QString* madePath = nullptr);

// Makes a restore point and names it as the restore list shows it, with its file name:
// "dzień: 2008/03/05  godzina: 09:07 (a_2008_03_05-09_07.nar)". Empty when no point could be made.
QString MakeNamedRestorePoint(Program& program);

// The date read back from a restore point's name by character positions; invalid when it holds none.
QDate DateOfRestorePoint(const QString& fileName);
// The newest date among the "*.nar" files of the folder; 1 January 1980 when there is none.
QDate NewestRestorePointDate(const QString& folder);
// More than seven whole days between now and the newest point's midnight, either way round.
bool WeeklyRestorePointDue(const QDateTime& now, const QDate& newest);

// Makes a restore point when the newest one is more than a week old. Returns true when it made one.
bool WeeklyRestorePoint(Program& program);

struct RestorePointEntry {
    QString path;
    QString line; // "dzień: 2008/03/05  godzina: 09:07"
};

// The line the restore window shows for a restore point's file name; a later point of the same minute ends
// with its number, as in "dzień: 2008/03/05  godzina: 09:07 (2)".
QString RestorePointLine(const QString& fileName);
// The "*.nar" files of the folder in ascending order of name, which is the order they were made in.
QList<RestorePointEntry> RestorePointEntries(const QString& folder);

// Loads a restore point over the working data (never as starting data) and clears DataSaved, as nothing
// restored is yet in a data file. The restored data are tied to no data file (CurrentDataFile is cleared):
// only MakeRestorePoint writes restore points, so a later "Zapisz dane" asks for a name.
datafiles::LoadOutcome RestoreData(Program& program, const QString& path, datafiles::Progress& progress);

// Restores the newest restore point as RestoreData does. Returns its line in the restore list; empty when the
// folder holds none or the user declined an earlier-version point. Throws vestrum::Error when it cannot be loaded.
QString RestoreNewestPoint(Program& program, datafiles::Progress& progress);

} // namespace restorepoints
} // namespace vestrum
