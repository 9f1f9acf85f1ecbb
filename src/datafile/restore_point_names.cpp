#include "datafile/restore_point_names.h"

#include <QDir>
#include <QRegularExpression>

namespace vestrum::restorepoints {
namespace {

const QString kMask = QStringLiteral("*.nar");
constexpr int kPointsPerMinute = 99;

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

QStringList RestorePointCandidates(const QString& folder, const QDateTime& when)
{
    // A second point within one minute takes the minute's name with "_02", "_03"... after it: the date and time
    // stay where the list and the weekly rule read them, and the names still sort in the order they were made.
    QString name = RestorePointName(when);
    const QString stem = name.chopped(4);
    QStringList candidates{folder + name};
    for (int n = 2; n <= kPointsPerMinute; ++n)
        candidates.append(folder + stem + QString::asprintf("_%.2d.nar", n));
    return candidates;
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

QString RestorePointLine(const QString& fileName)
{
    const QString rest = fileName.mid(2);
    QString line = QStringLiteral("dzień: ") + QString(rest.mid(0, 10)).replace(u'_', u'/') + QStringLiteral("  godzina: ")
        + QString(rest.mid(11, 5)).replace(u'_', u':');
    // A later point of the same minute ("…-09_07_02.nar") would otherwise show the very same line.
    static const QRegularExpression sameMinute(QStringLiteral("^a_\\d{4}_\\d{2}_\\d{2}-\\d{2}_\\d{2}_(\\d{2})\\.nar$"));
    const QRegularExpressionMatch match = sameMinute.match(fileName);
    if (match.hasMatch())
        line += QStringLiteral(" (%1)").arg(match.captured(1).toInt());
    return line;
}

QList<RestorePointEntry> RestorePointEntries(const QString& folder)
{
    QList<RestorePointEntry> entries;
    const QDir dir(folder);
    for (const QString& name : restorePointFiles(folder))
        entries.append({dir.filePath(name), RestorePointLine(name)});
    return entries;
}

} // namespace vestrum::restorepoints
