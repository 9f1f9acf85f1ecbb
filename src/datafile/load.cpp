#include "datafile/load.h"

#include "base/codepage.h"
#include "base/error.h"
#include "datafile/damaged.h"
#include "datafile/load_in_place.h"
#include "datafile/scratch_folders.h"
#include "datafile/survey_file.h"
#include "program/program.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
#include <QTemporaryDir>

#include <functional>
#include <future>
#include <limits>
#include <optional>
#include <sqlite3.h>

namespace vestrum::datafiles {
namespace {

const QString kBadFormat =
    QStringLiteral("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych.");
const QString kDamagedDataFile = QStringLiteral("Zbiór danych nie może być wczytany - baza danych w pliku jest "
                                               "uszkodzona.\nDane w programie pozostały bez zmian.");
const QString kEarlierVersion = QStringLiteral("Uwaga!\nWczytywany plik danych pochodzi z wcześniejszej wersji "
                                               "programu - dane mogą zostać wczytane nieprawidłowo.\n"
                                               "Czy chcesz kontynuować?");

// Name under which the loaded database is attached to the working connection while its tables are copied.
constexpr const char* kSourceSchema = "zrodlo";
// How much of the unpacked file its check may read through a mapping (the engine's own upper limit applies).
constexpr qint64 kLoadedFileMapping = qint64(1) << 30;
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
            damage_ = found ? *found : DatabaseDamage(loaded_);
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
        // The file was written by this load a moment ago into its own folder and is still in memory: read through
        // a mapping, the check spares a copy of every page (a third of its time). Files that others write, or that
        // are read from the disk, are never mapped: a read error there would end the program instead of a message.
        connection.execute(QStringLiteral("PRAGMA mmap_size = %1").arg(kLoadedFileMapping));
        return DatabaseDamage(connection);
    }

    db::Connection& loaded_;
    std::future<std::optional<QString>> check_; // waited for by its destructor on every way out
    QString damage_;
    bool answered_ = false;
};

// A file laid out as the working database is taken whole; a layout that cannot even be read is a file in no
// format of ours, unless the check finds it damaged.
bool laidOutAsWorking(db::Connection& working, db::Connection& loaded, LoadedDataCheck& loadedData)
{
    try {
        return LaidOutAsWorking(working, loaded);
    } catch (const Error&) {
        loadedData.refuseDamage();
        throw Error(kBadFormat);
    }
}

// The unpacked file takes the working database's place whole once the check has passed it.
void putWholeInPlace(Program& program, db::Connection& loaded, const QString& extracted, Progress& progress,
                     LoadedDataCheck& loadedData, UnpackedFileSync& unpackedSync)
{
    progress.start(QStringLiteral("Kopiowanie danych"), QString(), 1);
    progress.step(QStringLiteral("ankieta.mdb"));
    unpackedSync.await();
    loadedData.refuseDamage();
    loaded.close();
    PutInPlaceOfWorking(program, extracted);
}

// The tables copied one by one into the working database, converting the files of the 2005 version on the way.
void copyIntoWorking(Program& program, db::Connection& loaded, const QString& extracted, Progress& progress,
                     LoadedDataCheck& loadedData)
{
    std::vector<TableCopy> plan;
    int tableCount = 0;
    try {
        // Working data of an earlier version take the fields the file may bring.
        for (const schema::TableDef& table : schema::surveyTables())
            schema::addMissingSurveyColumns(program.survey, table.name);
        plan = planCopy(program.survey, loaded, program.state.StartingDataMode);
        tableCount = static_cast<int>(program.survey.userTables().size());
    } catch (const Error&) {
        loadedData.refuseDamage();
        throw Error(kBadFormat);
    }
    copyTables(program.survey, plan, extracted, tableCount, progress, [&loadedData] { loadedData.refuseDamage(); });
    loaded.close();
}

} // namespace

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

LoadOutcome LoadDataFile(Program& program, const QString& path, Progress& progress)
{
    RunState& state = program.state;
    // A folder of this load's own, removed with everything in it when the load ends: the folder "dane.tmp" and
    // whatever the user keeps there are never touched.
    tempfiles::removeAbandoned(state.dataFolder());
    QTemporaryDir unpacked(QDir(state.dataFolder()).filePath(tempfiles::nameFor(QStringLiteral("XXXXXX"))));
    if (!unpacked.isValid())
        throw Error(QStringLiteral("Docelowa kartoteka nie może zostać utworzona"));
    const QString extracted = UnpackSurvey(path, unpacked.path(), kBadFormat);
    // Checked once the unpack, which takes both cores, is done, beside the unpacked file's check: whether the
    // working data go aside is asked only after that.
    WorkingDataCheck workingData(program);

    db::Connection loaded;
    if (!openLoadedDatabase(loaded, extracted))
        throw Error(kBadFormat);
    LoadedDataCheck loadedData(loaded, extracted);

    const bool earlierVersion = !loaded.hasTable(QStringLiteral("wersja"));
    // Only a file of this version may be taken whole: its bytes go to the disk while the checks run.
    std::optional<UnpackedFileSync> unpackedSync;
    if (!state.StartingDataMode && !earlierVersion)
        unpackedSync.emplace(extracted);
    if (earlierVersion)
        loadedData.refuseDamage();
    // Refusing leaves DataSaved alone: nothing was loaded, so whatever was unsaved still is.
    if (earlierVersion && !program.ask(kEarlierVersion)) {
        loaded.close();
        return LoadOutcome::Declined;
    }
    // Damaged working data cannot take the copy (their tables fail to read); the file is sound, so they go aside
    // and the file is loaded into a new database, as it would be into sound working data.
    if (workingData.damaged())
        loadedData.refuseDamage();
    SetDamagedWorkingDataAside(program, workingData);

    struct Finish {
        Progress& progress;
        ~Finish() { progress.finish(); }
    } finish{progress};

    if (unpackedSync && laidOutAsWorking(program.survey, loaded, loadedData)) {
        putWholeInPlace(program, loaded, extracted, progress, loadedData, *unpackedSync);
    } else {
        copyIntoWorking(program, loaded, extracted, progress, loadedData);
    }

    state.CurrentDataFile = path;
    SetDataSaved(state, !earlierVersion);
    return earlierVersion ? LoadOutcome::LoadedEarlierVersion : LoadOutcome::Loaded;
}

} // namespace vestrum::datafiles
