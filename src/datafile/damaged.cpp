#include "datafile/damaged.h"

#include "base/durable_files.h"
#include "datafile/restore_point_names.h"
#include "program/program.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace vestrum::datafiles {
namespace {

// SQLite's quick check of every page and index: empty when the database is sound, else what it found.
QString damageOf(db::Connection& connection)
{
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(connection.handle(), "PRAGMA quick_check(5)", -1, &statement, nullptr);
    QStringList found;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            found.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))));
    }
    if (rc != SQLITE_DONE)
        found.append(QString::fromUtf8(sqlite3_errmsg(connection.handle())));
    sqlite3_finalize(statement);
    if (found == QStringList{QStringLiteral("ok")})
        return QString();
    // One line, so that it can close a message as its detail.
    QString detail = found.isEmpty() ? QStringLiteral("quick_check: brak wyniku") : found.join(QStringLiteral("; "));
    return detail.replace(u'\n', u' ');
}

struct FileCheck {
    FileFinding finding = FileFinding::Unsure;
    QString detail;
};

FileCheck checkOfFile(const QString& path)
{
    db::Connection connection;
    try {
        connection.open(path, schema::databasePassword());
    } catch (const db::NotADatabase& refused) {
        return {FileFinding::NotADatabase, refused.message()};
    } catch (const Error& error) {
        return {FileFinding::Unsure, error.message()};
    }
    const QString damage = damageOf(connection);
    return {damage.isEmpty() ? FileFinding::Sound : FileFinding::Unsure, damage};
}

// What a fresh connection finds wrong with a database file; empty when it is sound.
QString damageOfFile(const QString& path)
{
    const FileCheck check = checkOfFile(path);
    return check.finding == FileFinding::Sound ? QString() : check.detail;
}

// The working database's damage, empty when it is sound. The file on disk comes first: a connection opened before
// the file was emptied or cut short goes on reading what its cache still holds, and one that could not open it
// holds nothing to check.
QString workingDataDamage(Program& program)
{
    const FileCheck file = checkOfFile(program.state.DatabasePath);
    if (file.finding == FileFinding::NotADatabase)
        return file.detail;
    if (file.finding == FileFinding::Sound || !program.survey.isOpen())
        return QString();
    return damageOf(program.survey);
}

// The database the archive is made from must itself be a survey database: an archive of an empty or foreign

// The newest restore point of the program folder, as the restore list shows it; empty when there is none.
QString newestRestorePointLine(const QString& archiveFolder)
{
    const QStringList points = QDir(archiveFolder).entryList({QStringLiteral("*.nar")}, QDir::Files, QDir::Name);
    return points.isEmpty() ? QString() : restorepoints::RestorePointLine(points.last());
}

} // namespace

namespace {

// Moves `from` to `to` when nothing is at `to`; false when that failed.
bool moveFile(const QString& from, const QString& to)
{
    return QFileInfo::exists(to) ? false : QFile::rename(from, to);
}

} // namespace

QString DamagedWorkingDataAsidePath(const QString& databasePath, const QDateTime& when)
{
    const QString stem = databasePath + QStringLiteral(".uszkodzona-") + when.toString(QStringLiteral("yyyy_MM_dd-HH_mm"));
    QString path = stem;
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = stem + QStringLiteral("_%1").arg(n);
    return path;
}


WorkingDataCheck::WorkingDataCheck(Program& program)
    : program_(program),
      check_(std::async(std::launch::async,
                        [database = program.state.DatabasePath] { return checkOfFile(database).finding; }))
{
}

bool WorkingDataCheck::damaged()
{
    if (!damaged_) {
        const FileFinding finding = check_.get();
        if (finding == FileFinding::NotADatabase)
            damaged_ = true;
        else if (finding == FileFinding::Sound || !program_.survey.isOpen())
            damaged_ = false;
        else
            damaged_ = !damageOf(program_.survey).isEmpty();
    }
    return *damaged_;
}

namespace {

QString setDamagedWorkingDataAside(Program& program, bool damaged);

QString tellWhereDamagedDataWent(Program& program, const QString& aside)
{
    if (!aside.isEmpty())
        program.notify(QStringLiteral("Uszkodzona baza danych programu została przeniesiona do pliku %1, a na jej "
                                      "miejsce została utworzona nowa.")
                           .arg(QDir::toNativeSeparators(aside)),
                       0, MessageKind::Warning);
    return aside;
}

} // namespace

QString SetDamagedWorkingDataAside(Program& program)
{
    return tellWhereDamagedDataWent(program, MoveDamagedWorkingDataAside(program));
}

QString MoveDamagedWorkingDataAside(Program& program)
{
    return setDamagedWorkingDataAside(program, !workingDataDamage(program).isEmpty());
}

namespace {

// Opens the working database again after a move that did not happen; a database that does not open leaves the
// connection closed, and the next command that needs it meets the damage again.
void reopenAsItWas(Program& program)
{
    try {
        program.survey.open(program.state.DatabasePath, schema::databasePassword());
    } catch (const Error&) {
    }
}

QString setDamagedWorkingDataAside(Program& program, bool damaged)
{
    if (!damaged)
        return QString();
    const QString database = program.state.DatabasePath;
    const QString aside = DamagedWorkingDataAsidePath(database, program.clock().now());
    const Error failed(QStringLiteral("Uszkodzona baza danych programu nie może zostać przeniesiona do pliku %1.\n"
                                      "Dane w programie pozostały bez zmian.")
                           .arg(QDir::toNativeSeparators(aside)));
    program.survey.close();
    // A journal left beside the damaged database is its own and goes with it; the new database starts without.
    const QString journal = database + QStringLiteral("-journal");
    const bool hadJournal = QFileInfo::exists(journal);
    if ((hadJournal && !moveFile(journal, aside + QStringLiteral("-journal"))) || !moveFile(database, aside)) {
        if (hadJournal)
            moveFile(aside + QStringLiteral("-journal"), journal);
        reopenAsItWas(program);
        throw failed;
    }
    try {
        schema::createSurveyDatabase(database);
        program.survey.open(database, schema::databasePassword());
    } catch (const Error& error) {
        // Without a new database the damaged one is better than none.
        QFile::remove(database);
        moveFile(aside, database);
        if (hadJournal)
            moveFile(aside + QStringLiteral("-journal"), journal);
        reopenAsItWas(program);
        throw Error(failed.message() + QStringLiteral("\n\nSzczegóły: ") + error.message());
    }
    durable::syncFolder(QFileInfo(database).absolutePath());
    return aside;
}

} // namespace

QString SetDamagedWorkingDataAside(Program& program, WorkingDataCheck& check)
{
    return tellWhereDamagedDataWent(program, setDamagedWorkingDataAside(program, check.damaged()));
}

QString DamagedWorkingDataMessage(const RunState& state, const QString& detail)
{
    const QString point = newestRestorePointLine(state.archiveFolder());
    const QString remedy = point.isEmpty()
        ? QStringLiteral("Proszę wczytać ostatnio zapisany plik danych poleceniem „Wczytaj dane”.")
        : QStringLiteral("Proszę przywrócić dane z najnowszego punktu przywracania danych (%1) poleceniem "
                         "„Przywróć wcześniej zapisane dane”.")
              .arg(point);
    return QStringLiteral("Uwaga! Dane w programie są uszkodzone i nie zostały zapisane; dotychczasowy zbiór "
                          "pozostał bez zmian.\n")
        + remedy
        + QStringLiteral("\nUszkodzona baza zostanie przy tym przeniesiona do pliku "
                         "dane/ankieta.mdb.uszkodzona-RRRR_MM_DD-GG_MM, a na jej miejsce program utworzy nową. "
                         "Od nowa można też zacząć poleceniem „Nowa jednostka”.")
        + QStringLiteral("\n\nSzczegóły: ") + detail;
}

QString DatabaseDamage(db::Connection& connection)
{
    return damageOf(connection);
}

QString WorkingDataDamage(Program& program)
{
    const QString damage = workingDataDamage(program);
    return damage.isEmpty() ? QString() : DamagedWorkingDataMessage(program.state, damage);
}
QString DatabaseFileDamage(const QString& path)
{
    return damageOfFile(path);
}

} // namespace vestrum::datafiles
