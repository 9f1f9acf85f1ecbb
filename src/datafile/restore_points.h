#pragma once

// Restore points: snapshots of the working database in the folder "archiwum" (their names:
// restore_point_names.h). One is made before every wholesale change of the working data, on request, and at exit
// when the newest one is more than a week old.

#include "datafile/load.h"
#include "datafile/restore_point_names.h"
#include "datafile/save.h"

#include <QString>

namespace vestrum {

class Program;

namespace restorepoints {

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

// Makes a restore point when the newest one is more than a week old. Returns true when it made one.
bool WeeklyRestorePoint(Program& program);

// Loads a restore point over the working data (never as starting data) and clears DataSaved, as nothing
// restored is yet in a data file. The restored data are tied to no data file (CurrentDataFile is cleared):
// only MakeRestorePoint writes restore points, so a later "Zapisz dane" asks for a name.
datafiles::LoadOutcome RestoreData(Program& program, const QString& path, datafiles::Progress& progress);

// Restores the newest restore point as RestoreData does. Returns its line in the restore list; empty when the
// folder holds none or the user declined an earlier-version point. Throws vestrum::Error when it cannot be loaded.
QString RestoreNewestPoint(Program& program, datafiles::Progress& progress);

} // namespace restorepoints
} // namespace vestrum
