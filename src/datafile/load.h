#pragma once

// Loading a data file: it is unpacked into a folder of its own, opened and checked, and then either takes the
// working database's place whole (laid out exactly as it: load_in_place.h) or has its tables copied into the
// working database by a plan that converts the files of the 2005 version on the way.

#include "datafile/data_file.h"

#include <QString>
#include <QStringList>

namespace vestrum {

class Program;

namespace datafiles {

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
// All tables are copied inside one transaction, or the file replaces the working one by a rename: when anything
// fails, the working database is exactly as it was, CurrentDataFile and DataSaved keep their values, and
// vestrum::Error carries the reason. Records taken whole keep the order and the row numbers they were saved
// with; copied ones keep the order and are numbered anew.
LoadOutcome LoadDataFile(Program& program, const QString& path, Progress& progress);

} // namespace datafiles
} // namespace vestrum
