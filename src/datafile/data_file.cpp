#include "datafile/data_file.h"

#include "program/run_state.h"

namespace vestrum::datafiles {

QString memberName()
{
    return QStringLiteral("ankieta.mdb");
}

QString temporaryFolder(const QString& programFolder)
{
    return withTrailingSlash(programFolder) + QStringLiteral("dane.tmp");
}

} // namespace vestrum::datafiles
