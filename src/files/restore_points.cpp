#include "files/restore_points.h"

#include "base/error.h"
#include "program/program.h"

#include <QDir>
#include <QFileInfo>

namespace vestrum::restorepoints {
namespace {

const QString kMask = QStringLiteral("*.nar");

QStringList restorePointFiles(const QString& folder)
{
    return QDir(folder).entryList({kMask}, QDir::Files, QDir::Name);
}

} // namespace

QString RestorePointName(const QDateTime& when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::asprintf("a_%.4d_%.2d_%.2d-%.2d_%.2d.nar", d.year(), d.month(), d.day(), t.hour(), t.minute());
}

bool MakeRestorePoint(Program& program)
{
    datafiles::CheckedArchive archive;
    return MakeRestorePoint(program, archive);
}

bool MakeRestorePoint(Program& program, datafiles::CheckedArchive& archive)
{
    const RunState& state = program.state;
    const QString folder = state.archiveFolder();
    if (!QDir().mkpath(folder))
        return false;
    const QString path = folder + RestorePointName(program.clock().now());
    try {
        datafiles::SurveyClosed closed(program);
        datafiles::WriteArchiveOf(state.DatabasePath, path, archive);
        closed.reopen();
    } catch (const Error&) {
        return false;
    }
    try {
        ZlbArchive check;
        check.OpenArchive(path);
        return check.FindFile(datafiles::memberName()) >= 0;
    } catch (const Error&) {
        return false;
    }
}

QDate DateOfRestorePoint(const QString& fileName)
{
    // a_rrrr_mm_dd-gg_mm.nar: year from the third character, month from the eighth, day from the eleventh.
    bool yearOk = false, monthOk = false, dayOk = false;
    const int year = fileName.mid(2, 4).toInt(&yearOk);
    const int month = fileName.mid(7, 2).toInt(&monthOk);
    const int day = fileName.mid(10, 2).toInt(&dayOk);
    if (!yearOk || !monthOk || !dayOk)
        return QDate();
    return QDate(year, month, day);
}

QDate NewestRestorePointDate(const QString& folder)
{
    QDate newest(1980, 1, 1);
    for (const QString& name : restorePointFiles(folder)) {
        const QDate date = DateOfRestorePoint(name);
        if (date.isValid() && date > newest)
            newest = date;
    }
    return newest;
}

bool WeeklyRestorePointDue(const QDateTime& now, const QDate& newest)
{
    // Counted on the calendar rather than in elapsed seconds, so a change to or from summer time does not
    // move the day on which the next point is due.
    const QDate today = now.date();
    qint64 span = 0;
    if (today >= newest)
        span = newest.daysTo(today);
    else
        span = today.daysTo(newest) - (now.time() > QTime(0, 0) ? 1 : 0);
    return span > 7;
}

bool WeeklyRestorePoint(Program& program)
{
    const QString folder = program.state.archiveFolder();
    QDir().mkpath(folder);
    if (!WeeklyRestorePointDue(program.clock().now(), NewestRestorePointDate(folder)))
        return false;
    return MakeRestorePoint(program);
}

QString RestorePointLine(const QString& fileName)
{
    const QString rest = fileName.mid(2);
    return QStringLiteral("dzień: ") + QString(rest.mid(0, 10)).replace(u'_', u'/') + QStringLiteral("  godzina: ")
        + QString(rest.mid(11, 5)).replace(u'_', u':');
}

QList<RestorePointEntry> RestorePointEntries(const QString& folder)
{
    QList<RestorePointEntry> entries;
    const QDir dir(folder);
    for (const QString& name : restorePointFiles(folder))
        entries.append({dir.filePath(name), RestorePointLine(name)});
    return entries;
}

datafiles::LoadOutcome RestoreData(Program& program, const QString& path, datafiles::Progress& progress)
{
    program.state.StartingDataMode = false;
    const datafiles::LoadOutcome outcome = datafiles::LoadDataFile(program, path, progress);
    if (outcome != datafiles::LoadOutcome::Declined)
        program.state.DataSaved = false;
    return outcome;
}

} // namespace restorepoints
