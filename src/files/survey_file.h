#pragma once

#include <QString>

class QTemporaryDir;

namespace vestrum {
namespace db {
class Connection;
}

// Opens, for reading by the headless commands, the survey held by `path`: a survey database, or a
// data file (".naj") or restore point (".nar") whose member "ankieta.mdb" is first unpacked into
// `scratch`. Files of the 2005 version carry the other password. Throws vestrum::Error with a
// Polish message when the file is missing, is no data file, or no password opens it.
void OpenSurveyFile(db::Connection& connection, const QString& path, QTemporaryDir& scratch);

} // namespace vestrum
