#include "files/data_files.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "program/program.h"
#include "base/codepage.h"
#include "storage/schema.h"
#include "files/data_file_writer.h"
#include "files/restore_points.h"
#include "files/survey_file.h"
#include "files/scratch_folders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <limits>
#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vestrum::datafiles {
namespace {

const QString kSaveFailed = QStringLiteral("Uwaga! Z jakiegoś powodu zbiór nie został zapisany.\n"
                                           "Prosze spróbować zapisać go w innym miejscu lub na innym nośniku.");
const QString kBadFormat =
    QStringLiteral("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych.");
const QString kDamagedDataFile = QStringLiteral("Zbiór danych nie może być wczytany - baza danych w pliku jest "
                                               "uszkodzona.\nDane w programie pozostały bez zmian.");
const QString kEarlierVersion = QStringLiteral("Uwaga!\nWczytywany plik danych pochodzi z wcześniejszej wersji "
                                               "programu - dane mogą zostać wczytane nieprawidłowo.\n"
                                               "Czy chcesz kontynuować?");

// Name under which the loaded database is attached to the working connection while its tables are copied.
constexpr const char* kSourceSchema = "zrodlo";
// Converts a value on its way into a code-page column, so the copy keeps the rule of every other write.
constexpr const char* kCodePageFunction = "vestrum_cp1250";

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString findName(const QStringList& names, const QString& wanted)
{
    for (const QString& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    }
    return QString();
}

void codePageFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 1) {
        sqlite3_result_null(context);
        return;
    }
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
        sqlite3_result_value(context, argv[0]);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QByteArray converted =
        codepage::passThrough(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(context, converted.constData(), static_cast<int>(converted.size()), SQLITE_TRANSIENT);
}

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

// What a fresh connection finds in a database file: sound, no database of the program at all (emptied, cut short, a
// damaged header), or anything else (busy, unreadable, pages the quick check refuses), which only the program's own
// connection may decide.
enum class FileFinding { Sound, NotADatabase, Unsure };

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
// file must never take the place of a data file or pass for a restore point. (Its pages are checked by
// CheckedArchive while it is packed.)
void requireSurveyDatabase(const QString& path)
{
    db::Connection connection;
    try {
        connection.open(path, schema::databasePassword());
        if (connection.userTables().isEmpty())
            throw Error(kSaveFailed);
    } catch (const Error&) {
        throw Error(kSaveFailed);
    }
}

void requireSoundSource(CheckedArchive& archive)
{
    const QString damage = archive.sourceDamage();
    if (!damage.isEmpty())
        throw DamagedDatabase(damage);
}

// The newest restore point of the program folder, as the restore list shows it; empty when there is none.
QString newestRestorePointLine(const QString& archiveFolder)
{
    const QStringList points = QDir(archiveFolder).entryList({QStringLiteral("*.nar")}, QDir::Files, QDir::Name);
    return points.isEmpty() ? QString() : restorepoints::RestorePointLine(points.last());
}

// Gives a damaged working database its message for the user; other errors pass through unchanged.
template <typename Body> void explainingDamage(Program& program, Body body)
{
    try {
        body();
    } catch (const DamagedDatabase& damaged) {
        throw SaveRefused(DamagedWorkingDataMessage(program.state, damaged.detail()));
    }
}

#ifdef Q_OS_UNIX
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#else
void syncFolder(const QString&) {}
#endif

// An empty file with a fresh name beside `target`, made "new only" so that it is ours alone, in the program's
// temporary pattern (so neither a file list nor the restore list shows it, and a later save clears it away when
// this one never finishes).
QString makeStagingFile(const QString& target)
{
    const QFileInfo info(target);
    const QString path = tempfiles::createFile(info.absolutePath());
    if (path.isEmpty())
        throw Error(kSaveFailed);
    if (info.exists())
        QFile::setPermissions(path, QFile::permissions(target));
    return path;
}

class RemoveUnlessKept {
public:
    explicit RemoveUnlessKept(QString path) : path_(std::move(path)) {}
    ~RemoveUnlessKept()
    {
        if (!path_.isEmpty())
            QFile::remove(path_);
    }
    RemoveUnlessKept(const RemoveUnlessKept&) = delete;
    RemoveUnlessKept& operator=(const RemoveUnlessKept&) = delete;
    void keep() { path_.clear(); }

private:
    QString path_;
};

// ------------------------------------------------------------------------------------------------------------
// Loading

bool openLoadedDatabase(db::Connection& connection, const QString& path)
{
    for (const QString& password : {schema::databasePassword(), schema::legacyDatabasePassword()}) {
        try {
            connection.open(path, password);
            return true;
        } catch (const Error&) {
            // Not this password; try the next one.
        }
    }
    return false;
}

// How one table of the working database is filled from the loaded one.
struct TableCopy {
    QString target;
    QString source;          // empty: the loaded database has no such table, so the target stays empty
    QString typeFilter;      // "M" or "P" when taken from the old combined publication table
    QStringList targetFields;
    QStringList sourceExpressions;
};

// Fields go by name (without regard to case); a loaded field the working table lacks is dropped and a working
// field the loaded table lacks stays empty. Auto-numbered fields are never copied: the working table numbers
// its own records.
void mapFields(TableCopy& copy, const std::vector<db::FieldInfo>& sourceFields,
               const std::vector<db::FieldInfo>& targetFields, int sourceFieldLimit,
               const QList<QPair<QString, QString>>& renames)
{
    auto targetField = [&](const QString& name) -> const db::FieldInfo* {
        for (const db::FieldInfo& f : targetFields) {
            if (f.name.compare(name, Qt::CaseInsensitive) == 0)
                return &f;
        }
        return nullptr;
    };
    const int count = std::min(static_cast<int>(sourceFields.size()), sourceFieldLimit);
    for (int i = 0; i < count; ++i) {
        const db::FieldInfo& from = sourceFields[static_cast<size_t>(i)];
        if (from.type == db::FieldType::AutoNumber)
            continue;
        QString toName = from.name;
        for (const auto& rename : renames) {
            if (from.name.compare(rename.first, Qt::CaseInsensitive) == 0)
                toName = rename.second;
        }
        const db::FieldInfo* to = targetField(toName);
        if (to == nullptr || to->type == db::FieldType::AutoNumber)
            continue;
        QString expression = quoted(from.name);
        if (to->isCodePage() && !from.isCodePage())
            expression = QString::fromLatin1(kCodePageFunction) + u'(' + expression + u')';
        // Fields are filled one after another, so when two loaded fields land in one working field the later
        // one wins.
        const qsizetype existing = copy.targetFields.indexOf(to->name);
        if (existing >= 0) {
            copy.sourceExpressions[existing] = expression;
        } else {
            copy.targetFields.append(to->name);
            copy.sourceExpressions.append(expression);
        }
    }
}

std::vector<TableCopy> planCopy(db::Connection& working, db::Connection& loaded, bool startingData)
{
    const QStringList workingTables = working.userTables();
    const QStringList loadedTables = loaded.userTables();
    const QString combined = findName(loadedTables, QStringLiteral("dane_wykaz_pub_mono"));
    const QString monographs = QStringLiteral("dane_wykaz_monografii");
    const QString publications = QStringLiteral("dane_wykaz_publikacji");

    std::vector<TableCopy> plan;
    for (const QString& table : workingTables) {
        if (table.compare(QStringLiteral("wersja"), Qt::CaseInsensitive) == 0)
            continue;
        TableCopy copy;
        copy.target = table;
        plan.push_back(copy);
        TableCopy& current = plan.back();
        if (startingData && listTablesOmittedFromStartingData().contains(table, Qt::CaseInsensitive))
            continue;

        QList<QPair<QString, QString>> renames;
        if (!combined.isEmpty() && table.compare(monographs, Qt::CaseInsensitive) == 0) {
            current.source = combined;
            current.typeFilter = QStringLiteral("M");
            renames = {{QStringLiteral("Czasopismo_wydawca"), QStringLiteral("wydawca")},
                       {QStringLiteral("Rok_tom_str"), QStringLiteral("Miejsce_rok_tom_str")}};
        } else if (!combined.isEmpty() && table.compare(publications, Qt::CaseInsensitive) == 0) {
            current.source = combined;
            current.typeFilter = QStringLiteral("P");
            renames = {{QStringLiteral("Czasopismo_wydawca"), QStringLiteral("czasopismo")}};
        } else {
            current.source = findName(loadedTables, table);
        }
        if (current.source.isEmpty())
            continue;

        const bool details = table.compare(QStringLiteral("dane_szczegolowe"), Qt::CaseInsensitive) == 0;
        const int limit = startingData && details ? schema::LastingResourceFieldCount : std::numeric_limits<int>::max();
        mapFields(current, loaded.tableFields(current.source), working.tableFields(table), limit, renames);
        if (current.targetFields.isEmpty()) {
            // Records still arrive, only with every field empty.
            for (const db::FieldInfo& f : working.tableFields(table)) {
                if (f.type != db::FieldType::AutoNumber) {
                    current.targetFields.append(f.name);
                    current.sourceExpressions.append(QStringLiteral("NULL"));
                    break;
                }
            }
        }
    }
    return plan;
}

// Attaches the loaded database to the working connection for the copy and detaches it on every way out.
class AttachedSource {
public:
    AttachedSource(db::Connection& working, const QString& path) : working_(working)
    {
        working_.execute(QStringLiteral("ATTACH DATABASE ? AS ") + QString::fromLatin1(kSourceSchema), {path});
    }
    ~AttachedSource()
    {
        try {
            working_.execute(QStringLiteral("DETACH DATABASE ") + QString::fromLatin1(kSourceSchema));
        } catch (const Error&) {
            // The connection has gone; so has the attachment.
        }
    }
    AttachedSource(const AttachedSource&) = delete;
    AttachedSource& operator=(const AttachedSource&) = delete;

private:
    db::Connection& working_;
};

// The copy rewrites every page of the working tables in one transaction. In SQLite's usual 2 MB of page cache
// that spills to the database dozens of times, each spill first waiting for the journal to reach the disk; with
// 16 MB the spills are few. The usual cache is given back when the copy ends.
class CopyCache {
public:
    explicit CopyCache(db::Connection& working)
        : working_(working), usual_(working.scalar(QStringLiteral("PRAGMA main.cache_size")).toLongLong())
    {
        working_.execute(QStringLiteral("PRAGMA main.cache_size = -16384"));
    }
    ~CopyCache()
    {
        try {
            working_.execute(QStringLiteral("PRAGMA main.cache_size = %1").arg(usual_));
        } catch (const Error&) {
            // The connection has gone; so has its cache.
        }
    }
    CopyCache(const CopyCache&) = delete;
    CopyCache& operator=(const CopyCache&) = delete;

private:
    db::Connection& working_;
    const qint64 usual_;
};

// `refuseDamagedSource` throws when the loaded database is damaged; it is asked before the copy commits and when a
// statement fails, so that damage is told in the quick check's words rather than a statement's.
void copyTables(db::Connection& working, const std::vector<TableCopy>& plan, const QString& loadedPath,
                int progressMaximum, Progress& progress, const std::function<void()>& refuseDamagedSource)
{
    sqlite3_create_function_v2(working.handle(), kCodePageFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               &codePageFunction, nullptr, nullptr, nullptr);
    progress.start(QStringLiteral("Kopiowanie danych"), QString(), progressMaximum);
    AttachedSource attached(working, loadedPath);
    const CopyCache cache(working);
    const QString source = QString::fromLatin1(kSourceSchema) + u'.';
    // One transaction for the whole copy: the working data are either all the old ones or all the loaded ones.
    db::Transaction transaction(working);
    for (const TableCopy& copy : plan) {
        progress.step(copy.target);
        working.execute(QStringLiteral("DELETE FROM main.") + quoted(copy.target));
        if (copy.source.isEmpty() || copy.targetFields.isEmpty())
            continue;
        QStringList targets;
        for (const QString& f : copy.targetFields)
            targets.append(quoted(f));
        QString sql = QStringLiteral("INSERT INTO main.%1 (%2) SELECT %3 FROM %4%5")
                          .arg(quoted(copy.target), targets.join(u','), copy.sourceExpressions.join(u','), source,
                               quoted(copy.source));
        QVariantList parameters;
        if (!copy.typeFilter.isEmpty()) {
            sql += QStringLiteral(" WHERE \"typ\" = ? COLLATE NOCASE");
            parameters.append(copy.typeFilter);
        }
        sql += QStringLiteral(" ORDER BY rowid");
        try {
            working.execute(sql, parameters);
        } catch (const Error&) {
            // Read before the transaction rolls back and the engine forgets it; the statement itself means
            // nothing to the user.
            const Error failed(kDamagedDataFile + QStringLiteral("\n\nSzczegóły: ")
                               + QString::fromUtf8(sqlite3_errmsg(working.handle())));
            refuseDamagedSource();
            throw failed;
        }
    }
    refuseDamagedSource();
    transaction.commit();
}

} // namespace

// ------------------------------------------------------------------------------------------------------------

QString memberName()
{
    return QStringLiteral("ankieta.mdb");
}

QString temporaryFolder(const QString& programFolder)
{
    return withTrailingSlash(programFolder) + QStringLiteral("dane.tmp");
}

const QStringList& listTablesOmittedFromStartingData()
{
    static const QStringList tables = {
        QStringLiteral("dane_aparatura"),
        QStringLiteral("dane_wykaz_dokonan"),
        QStringLiteral("dane_wykaz_konferencji"),
        QStringLiteral("dane_wykaz_konsorcjow"),
        QStringLiteral("dane_wykaz_kontraktow"),
        QStringLiteral("dane_wykaz_licencji"),
        QStringLiteral("dane_wykaz_monografii"),
        QStringLiteral("dane_wykaz_nagrod"),
        QStringLiteral("dane_wykaz_patentow"),
        QStringLiteral("dane_wykaz_praw_ochronnych"),
        QStringLiteral("dane_wykaz_procedur"),
        QStringLiteral("dane_wykaz_produktow"),
        QStringLiteral("dane_wykaz_projektow"),
        QStringLiteral("dane_wykaz_publikacji"),
        QStringLiteral("dane_wykaz_redaktor_czasopism"),
        QStringLiteral("dane_wykaz_redaktor_monografii"),
        QStringLiteral("dane_wykaz_technologii"),
        QStringLiteral("dane_wykaz_umow"),
        QStringLiteral("dane_wykaz_umowy_patenty"),
        QStringLiteral("dane_wykaz_wdrozen"),
        QStringLiteral("dane_wykaz_wdrozen_chronionych"),
    };
    return tables;
}

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

namespace {

// The quick check of the working data on a second connection, begun before a load unpacks its file so that the
// two checks share the cores. Only a clean answer is taken from it: anything else is asked again of the program's
// own connection, so that a second connection's trouble never passes for damage.
class WorkingDataCheck {
public:
    explicit WorkingDataCheck(Program& program)
        : program_(program),
          check_(std::async(std::launch::async, [database = program.state.DatabasePath] { return checkOfFile(database); }))
    {
    }

    bool damaged()
    {
        const FileFinding finding = check_.get().finding;
        if (finding == FileFinding::NotADatabase)
            return true;
        if (finding == FileFinding::Sound || !program_.survey.isOpen())
            return false;
        return !damageOf(program_.survey).isEmpty();
    }

private:
    Program& program_;
    std::future<FileCheck> check_; // waited for by its destructor on every way out
};

// The quick check of the loaded database on a connection of its own, begun as soon as the file is unpacked and
// run while its tables are copied: the copy mostly waits for the disk, the check for a core. Nothing is committed
// before its answer, and that answer is given wherever the load asked for it before: ahead of the question about
// an earlier version and of setting damaged working data aside. When its own connection does not open, the load's
// connection is checked instead.
class LoadedDataCheck {
public:
    LoadedDataCheck(db::Connection& loaded, const QString& path)
        : loaded_(loaded), check_(std::async(std::launch::async, [path] { return damageOfLoaded(path); }))
    {
    }

    // Throws the damaged file's refusal when the check found damage.
    void refuseDamage()
    {
        if (!answered_) {
            const std::optional<QString> found = check_.get();
            damage_ = found ? *found : damageOf(loaded_);
            answered_ = true;
        }
        if (!damage_.isEmpty())
            throw Error(kDamagedDataFile + QStringLiteral("\n\nSzczegóły: ") + damage_);
    }

private:
    static std::optional<QString> damageOfLoaded(const QString& path)
    {
        db::Connection connection;
        if (!openLoadedDatabase(connection, path))
            return std::nullopt;
        return damageOf(connection);
    }

    db::Connection& loaded_;
    std::future<std::optional<QString>> check_; // waited for by its destructor on every way out
    QString damage_;
    bool answered_ = false;
};

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
    syncFolder(QFileInfo(database).absolutePath());
    return aside;
}

} // namespace

LoadOutcome LoadDataFile(Program& program, const QString& path, Progress& progress)
{
    RunState& state = program.state;
    WorkingDataCheck workingData(program);
    // A folder of this load's own, removed with everything in it when the load ends: the folder "dane.tmp" and
    // whatever the user keeps there are never touched.
    tempfiles::removeAbandoned(state.dataFolder());
    QTemporaryDir unpacked(QDir(state.dataFolder()).filePath(tempfiles::nameFor(QStringLiteral("XXXXXX"))));
    if (!unpacked.isValid())
        throw Error(QStringLiteral("Docelowa kartoteka nie może zostać utworzona"));
    const QString extracted = UnpackSurvey(path, unpacked.path(), kBadFormat);

    db::Connection loaded;
    if (!openLoadedDatabase(loaded, extracted))
        throw Error(kBadFormat);
    LoadedDataCheck loadedData(loaded, extracted);

    const bool earlierVersion = !loaded.hasTable(QStringLiteral("wersja"));
    if (earlierVersion)
        loadedData.refuseDamage();
    // Refusing leaves DataSaved alone: nothing was loaded, so whatever was unsaved still is.
    if (earlierVersion && !program.ask(kEarlierVersion)) {
        loaded.close();
        return LoadOutcome::Declined;
    }
    // Damaged working data cannot take the copy (their tables fail to read); the file is sound, so they go aside
    // and the copy runs into a new database, converting an earlier-version file as always.
    const bool workingDataDamaged = workingData.damaged();
    if (workingDataDamaged)
        loadedData.refuseDamage();
    tellWhereDamagedDataWent(program, setDamagedWorkingDataAside(program, workingDataDamaged));

    struct Finish {
        Progress& progress;
        ~Finish() { progress.finish(); }
    } finish{progress};

    std::vector<TableCopy> plan;
    int tableCount = 0;
    try {
        // Working data of an earlier version take the fields the file may bring.
        for (const schema::TableDef& table : schema::surveyTables())
            schema::addMissingSurveyColumns(program.survey, table.name);
        plan = planCopy(program.survey, loaded, state.StartingDataMode);
        tableCount = static_cast<int>(program.survey.userTables().size());
    } catch (const Error&) {
        loadedData.refuseDamage();
        throw Error(kBadFormat);
    }
    copyTables(program.survey, plan, extracted, tableCount, progress, [&loadedData] { loadedData.refuseDamage(); });
    loaded.close();

    state.CurrentDataFile = path;
    SetDataSaved(state, !earlierVersion);
    return earlierVersion ? LoadOutcome::LoadedEarlierVersion : LoadOutcome::Loaded;
}

// ------------------------------------------------------------------------------------------------------------
// Saving

QString dataFilePath(const QString& folder, const QString& name)
{
    if (name.contains(u'*'))
        return QString();
    QString base = name.trimmed();
    const QFileInfo info(base);
    const QString suffix = info.suffix();
    if (!suffix.isEmpty())
        base.chop(suffix.size() + 1);
    QString dir = QDir::fromNativeSeparators(folder);
    while (dir.size() > 1 && dir.endsWith(u'/'))
        dir.chop(1);
    return (dir.endsWith(u'/') ? dir : QString(dir + u'/')) + base + QStringLiteral(".naj");
}

CheckedArchive::~CheckedArchive()
{
    if (sourceCheck_.valid())
        sourceCheck_.wait();
}

void CheckedArchive::checkSourceAlongside(const QString& path)
{
    if (sourceCheck_.valid())
        sourceCheck_.wait();
    sourceDamage_.clear();
    sourceCheck_ = std::async(std::launch::async, [path] { return damageOfFile(path); });
}

QString CheckedArchive::sourceDamage()
{
    if (sourceCheck_.valid())
        sourceDamage_ = sourceCheck_.get();
    return sourceDamage_;
}

void CheckedArchive::BeforeReplace(const QString& tempFileName)
{
    if (!sourceDamage().isEmpty())
        throw Error(kSaveFailed);
    ZlbArchive rebuilt;
    rebuilt.OpenArchive(tempFileName);
    const int index = rebuilt.FindFile(memberName());
    if (index < 0)
        throw Error(kSaveFailed);
    if (!expectedSource_.isEmpty()
        && static_cast<qint64>(rebuilt.GetFileEntry(index).UnpackedSize) != QFileInfo(expectedSource_).size())
        throw Error(kSaveFailed);
    rebuilt.CheckMembersWrittenBy(*this);
    rebuilt.CloseArchive();
}

SurveyClosed::SurveyClosed(Program& program) : program_(program), wasOpen_(program.survey.isOpen())
{
    program_.survey.close();
}

SurveyClosed::~SurveyClosed()
{
    try {
        reopen();
    } catch (const Error&) {
        // Reported by the explicit reopen() of the path that did not fail before; here another error is
        // already on its way.
    }
}

void SurveyClosed::reopen()
{
    if (wasOpen_ && !program_.survey.isOpen())
        program_.survey.open(program_.state.DatabasePath, schema::databasePassword());
}

namespace {

// Builds the archive of `databasePath` under a staging name beside `besideTarget`, checks it and returns the staging
// file's path; on failure nothing is left behind.
QString buildStagedArchive(const QString& databasePath, const QString& besideTarget, CheckedArchive& archive)
{
    requireSurveyDatabase(databasePath);
    ClearAbandonedStaging(besideTarget);
    const QString staging = makeStagingFile(besideTarget);
    RemoveUnlessKept removeStaging(staging);
    archive.expectSource(databasePath);
    archive.checkSourceAlongside(databasePath);
    archive.OpenArchive(staging);
    archive.AddFile(databasePath);
    const bool written = archive.LastFailure().isEmpty() && archive.IsOpen() && archive.FindFile(memberName()) >= 0;
    archive.CloseArchive();
    requireSoundSource(archive);
    if (!written)
        throw Error(kSaveFailed);
    removeStaging.keep();
    return staging;
}

// Read back what now stands under the user's name before anyone says it was saved.
void requireReadableArchive(const QString& path)
{
    ZlbArchive check;
    try {
        check.OpenArchive(path);
        if (check.FindFile(memberName()) < 0)
            throw Error(kSaveFailed);
    } catch (const Error&) {
        throw Error(kSaveFailed);
    }
}

enum class Placed { Done, NameTaken };

// Gives the staged file the name `target` only when no file has that name; the check and the naming are one
// step of the file system, so a file that appears meanwhile is never replaced.
Placed placeAsNewFile(const QString& staging, const QString& target)
{
#ifdef Q_OS_UNIX
    if (::link(QFile::encodeName(staging).constData(), QFile::encodeName(target).constData()) == 0) {
        QFile::remove(staging);
        return Placed::Done;
    }
    if (errno == EEXIST)
        return Placed::NameTaken;
    // A file system without hard links: fall back to looking first.
#endif
    if (QFileInfo::exists(target))
        return Placed::NameTaken;
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(staging).toStdString(), QFile::encodeName(target).toStdString(), ec);
    if (ec)
        throw Error(kSaveFailed);
    return Placed::Done;
}

} // namespace

bool PlaceStagedFile(const QString& staging, const QString& target)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(staging).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced)
        return false;
#endif
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(staging).toStdString(), QFile::encodeName(target).toStdString(), ec);
    if (ec)
        return false;
    syncFolder(QFileInfo(target).absolutePath());
    return true;
}

void WriteArchiveOf(const QString& databasePath, const QString& target, CheckedArchive& archive)
{
    RefuseReadOnlyTarget(target);
    const QString staging = buildStagedArchive(databasePath, target, archive);
    RemoveUnlessKept removeStaging(staging);
    // One rename puts the checked file in place: the target holds its old content or the whole new one.
    if (!PlaceStagedFile(staging, target))
        throw Error(kSaveFailed);
    removeStaging.keep();
    requireReadableArchive(target);
}

QString WriteArchiveAsNewFile(const QString& databasePath, const QStringList& candidates, CheckedArchive& archive)
{
    if (candidates.isEmpty())
        throw Error(kSaveFailed);
    const QString staging = buildStagedArchive(databasePath, candidates.first(), archive);
    RemoveUnlessKept removeStaging(staging);
    for (const QString& target : candidates) {
        if (placeAsNewFile(staging, target) == Placed::NameTaken)
            continue;
        removeStaging.keep();
        syncFolder(QFileInfo(target).absolutePath());
        requireReadableArchive(target);
        return target;
    }
    throw Error(kSaveFailed);
}

bool PlaceAsNewFile(const QString& staging, const QString& target)
{
    if (placeAsNewFile(staging, target) == Placed::NameTaken)
        return false;
    syncFolder(QFileInfo(target).absolutePath());
    return true;
}

void WriteDataFile(Program& program, const QString& path)
{
    CheckedArchive archive;
    WriteDataFile(program, path, archive);
}

void WriteDataFile(Program& program, const QString& path, CheckedArchive& archive)
{
    RunState& state = program.state;
    RefuseTarget(path);
    const DataFileLock lock(path);
    {
        SurveyClosed closed(program);
        try {
            explainingDamage(program, [&] { WriteArchiveOf(state.DatabasePath, path, archive); });
        } catch (const SaveRefused&) {
            throw;
        } catch (const Error&) {
            throw Error(kSaveFailed);
        }
        closed.reopen();
    }
    state.CurrentDataFile = path;
    SetDataSaved(state, true);
}

void SaveToCurrentDataFile(Program& program)
{
    CheckedArchive archive;
    SaveToCurrentDataFile(program, archive);
}

void SaveToCurrentDataFile(Program& program, CheckedArchive& archive)
{
    RunState& state = program.state;
    RefuseTarget(state.CurrentDataFile);
    requireSurveyDatabase(state.DatabasePath);
    const DataFileLock lock(state.CurrentDataFile);
    ClearAbandonedStaging(state.CurrentDataFile);
    {
        SurveyClosed closed(program);
        QString failure;
        explainingDamage(program, [&] { failure = PutSurveyIntoDataFile(state.DatabasePath, state.CurrentDataFile, 0, archive); });
        if (!failure.isEmpty())
            throw Error(kSaveFailed);
        closed.reopen();
    }
    SetDataSaved(state, true);
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

void StoreReportingYear(Program& program, const QString& year)
{
    db::Table details(program.survey, QStringLiteral("dane_szczegolowe"), db::Table::Mode::ReadWrite);
    details.first();
    if (details.eof())
        details.append();
    else
        details.edit();
    details.setString(QStringLiteral("Rok_sprawozdawczy"), year);
    details.post();
    SetDataSaved(program.state, false);
}

void ClearForNewUnit(Program& program)
{
    SetDamagedWorkingDataAside(program);
    db::Connection& survey = program.survey;
    db::Transaction transaction(survey);
    for (const QString& table : survey.userTables()) {
        if (table.compare(QStringLiteral("wersja"), Qt::CaseInsensitive) != 0)
            survey.execute(QStringLiteral("DELETE FROM ") + quoted(table));
    }
    db::Table basic(survey, QStringLiteral("dane_podstawowe"), db::Table::Mode::ReadWrite);
    basic.append();
    basic.setInteger(QStringLiteral("id"), -1);
    basic.post();
    transaction.commit();
}

void RefuseReadOnlyTarget(const QString& path)
{
    if (isReadOnlyTarget(path))
        throw SaveRefused(readOnlyTargetMessage());
}

} // namespace vestrum::datafiles
