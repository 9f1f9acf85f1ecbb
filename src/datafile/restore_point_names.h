#pragma once

// The names of restore points, the folder "archiwum" holding one archive per minute named a_rrrr_mm_dd-gg_mm.nar,
// and what is read back from them. The name carries the point's only date.

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace vestrum::restorepoints {

// "a_2008_03_05-09_07.nar" for 5 March 2008, 09:07 (seconds are left out).
QString RestorePointName(const QDateTime& when);

// The names a point made at `when` may take, in order: the minute's own name, then the same with "_02" to "_99".
QStringList RestorePointCandidates(const QString& folder, const QDateTime& when);

// The date read back from a restore point's name by character positions; invalid when it holds none.
QDate DateOfRestorePoint(const QString& fileName);
// The newest date among the "*.nar" files of the folder; 1 January 1980 when there is none.
QDate NewestRestorePointDate(const QString& folder);
// More than seven whole days between now and the newest point's midnight, either way round.
bool WeeklyRestorePointDue(const QDateTime& now, const QDate& newest);

struct RestorePointEntry {
    QString path;
    QString line; // "dzień: 2008/03/05  godzina: 09:07"
};

// The line the restore window shows for a restore point's file name; a later point of the same minute ends
// with its number, as in "dzień: 2008/03/05  godzina: 09:07 (2)".
QString RestorePointLine(const QString& fileName);
// The "*.nar" files of the folder in ascending order of name, which is the order they were made in.
QList<RestorePointEntry> RestorePointEntries(const QString& folder);

} // namespace vestrum::restorepoints
