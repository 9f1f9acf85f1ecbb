#include "datafile/scratch_folders.h"

#include <QDir>
#include <QRegularExpression>

namespace vestrum::tempfiles {
namespace {

// What a load or a command puts into its folder besides staged files: the two databases and the engine's
// journals beside them.
bool isDatabaseOrJournal(const QString& name)
{
    static const QRegularExpression databases(QStringLiteral("^(ankieta|lista_czasopism)\\.mdb(-journal|-wal|-shm)?$"),
                                              QRegularExpression::CaseInsensitiveOption);
    return databases.match(name).hasMatch();
}

QString scratchTemplate()
{
    removeAbandoned(QDir::tempPath());
    return QDir(QDir::tempPath()).filePath(nameFor(QStringLiteral("XXXXXX")));
}

} // namespace

int removeAbandoned(const QString& folder)
{
    return removeAbandonedHolding(folder, isDatabaseOrJournal);
}

ScratchFolder::ScratchFolder() : QTemporaryDir(scratchTemplate()) {}

} // namespace vestrum::tempfiles
