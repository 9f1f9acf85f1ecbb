#include "datafile/restore_points.h"

#include "base/error.h"
#include "program/program.h"

#include <QDir>
#include <QFileInfo>

namespace vestrum::restorepoints {

bool MakeRestorePoint(Program& program, QString* madePath)
{
    datafiles::CheckedArchive archive;
    return MakeRestorePoint(program, archive, madePath);
}

bool MakeRestorePoint(Program& program, datafiles::CheckedArchive& archive, QString* madePath)
{
    const RunState& state = program.state;
    const QString folder = state.archiveFolder();
    if (!QDir().mkpath(folder))
        return false;
    QString path;
    try {
        datafiles::SurveyClosed closed(program);
        path = datafiles::WriteArchiveAsNewFile(state.DatabasePath,
                                                RestorePointCandidates(folder, program.clock().now()), archive);
        closed.reopen();
    } catch (const Error&) {
        return false;
    }
    try {
        ZlbArchive check;
        check.OpenArchive(path);
        if (check.FindFile(datafiles::memberName()) < 0)
            return false;
    } catch (const Error&) {
        return false;
    }
    if (madePath != nullptr)
        *madePath = path;
    return true;
}

QString MakeNamedRestorePoint(Program& program)
{
    QString path;
    if (!MakeRestorePoint(program, &path))
        return QString();
    const QString name = QFileInfo(path).fileName();
    return RestorePointLine(name) + QStringLiteral(" (") + name + u')';
}

bool WeeklyRestorePoint(Program& program)
{
    const QString folder = program.state.archiveFolder();
    QDir().mkpath(folder);
    if (!WeeklyRestorePointDue(program.clock().now(), NewestRestorePointDate(folder)))
        return false;
    return MakeRestorePoint(program);
}

datafiles::LoadOutcome RestoreData(Program& program, const QString& path, datafiles::Progress& progress)
{
    program.state.StartingDataMode = false;
    const datafiles::LoadOutcome outcome = datafiles::LoadDataFile(program, path, progress);
    if (outcome != datafiles::LoadOutcome::Declined) {
        // Tied to no file: the next "Zapisz dane" asks for a name instead of rewriting the restore point.
        program.state.CurrentDataFile.clear();
        SetDataSaved(program.state, false);
    }
    return outcome;
}

QString RestoreNewestPoint(Program& program, datafiles::Progress& progress)
{
    const QList<RestorePointEntry> points = RestorePointEntries(program.state.archiveFolder());
    if (points.isEmpty() || RestoreData(program, points.last().path, progress) == datafiles::LoadOutcome::Declined)
        return QString();
    return points.last().line;
}

} // namespace restorepoints
