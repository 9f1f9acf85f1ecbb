#pragma once

#include <QString>

class QTemporaryDir;

namespace vestrum {
namespace db {
class Connection;
}

// Opens, for reading by the headless commands, the survey held by `path`: a survey database, or a
// data file (".naj") or restore point (".nar") whose member "ankieta.mdb" is first unpacked into
// `scratch` (a tempfiles::ScratchFolder). Files of the 2005 version carry the other password. Throws
// vestrum::Error with a Polish message when the file is missing, is no data file, or no password opens it.
void OpenSurveyFile(db::Connection& connection, const QString& path, QTemporaryDir& scratch);

// Whether `path` names a data file or a restore point (an archive holding the survey), by its extension.
bool IsSurveyArchive(const QString& path);

// Unpacks the member "ankieta.mdb" of the data file or restore point at `path` into `folder` and returns the
// path of the unpacked database: the one way every reader of a data file gets at its survey. No other member is
// written, no more than the member's declared size, and nothing of a member that fails its CRC. An archive
// without the member throws `noSurveyMessage` (by default the archive's own "no such member").
QString UnpackSurvey(const QString& path, const QString& folder);
QString UnpackSurvey(const QString& path, const QString& folder, const QString& noSurveyMessage);

} // namespace vestrum
