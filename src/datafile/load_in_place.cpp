#include "datafile/load_in_place.h"

#include "base/durable_files.h"
#include "base/error.h"
#include "program/program.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QFile>
#include <QFileInfo>

#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vestrum::datafiles {
namespace {

const QString kNotReplaced = QStringLiteral("Zbiór danych nie może być wczytany - nie można zastąpić bazy danych "
                                           "programu.\nDane w programie pozostały bez zmian.");

std::vector<QVariantList> rowsOf(db::Connection& connection, const QString& sql)
{
    db::Query query(connection, sql);
    std::vector<QVariantList> rows;
    for (query.first(); !query.eof(); query.next()) {
        QVariantList row;
        for (int column = 0; column < static_cast<int>(query.fields().size()); ++column)
            row.append(query.value(column));
        rows.push_back(row);
    }
    return rows;
}

// What a database is made of besides its records: every object with the statement that made it, and the settings
// kept in its header that a connection would take over with the file.
std::vector<QVariantList> layoutOf(db::Connection& connection)
{
    std::vector<QVariantList> layout =
        rowsOf(connection, QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name"));
    for (const char* setting : {"encoding", "journal_mode", "application_id", "user_version"})
        layout.push_back({QString::fromLatin1(setting),
                          connection.scalar(QStringLiteral("PRAGMA ") + QString::fromLatin1(setting))});
    return layout;
}

// The kernel frees the pages of a replaced file when its last descriptor closes: some 20 ms for a large survey, for
// which nobody need wait. A descriptor of it opened before the rename keeps it past the connection's close, and is
// then closed on a thread of its own. Closing a descriptor drops every lock the process holds on the file, so it is
// closed only when no connection of the program has the file open any more (`closeLater`), or, when the file was
// not replaced, at once, while the connection holds no lock.
class ReplacedFileRelease {
public:
    explicit ReplacedFileRelease(const QString& path)
    {
#ifdef Q_OS_UNIX
        descriptor_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
#endif
    }
    ~ReplacedFileRelease()
    {
#ifdef Q_OS_UNIX
        if (descriptor_ >= 0)
            ::close(descriptor_);
#endif
    }
    ReplacedFileRelease(const ReplacedFileRelease&) = delete;
    ReplacedFileRelease& operator=(const ReplacedFileRelease&) = delete;

    void closeLater()
    {
#ifdef Q_OS_UNIX
        if (descriptor_ >= 0)
            std::thread([descriptor = descriptor_] { ::close(descriptor); }).detach();
        descriptor_ = -1;
#endif
    }

private:
    int descriptor_ = -1;
};

} // namespace

bool LaidOutAsWorking(db::Connection& working, db::Connection& loaded)
{
    if (layoutOf(working) != layoutOf(loaded))
        return false;
    // The copy keeps the working database's own version record; so must the file that replaces it.
    const QString versions = QStringLiteral("SELECT * FROM wersja ORDER BY rowid");
    return rowsOf(working, versions) == rowsOf(loaded, versions);
}

UnpackedFileSync::UnpackedFileSync(const QString& unpacked)
    : synced_(std::async(std::launch::async, [unpacked] { return durable::syncFileAt(unpacked); }))
{
}

UnpackedFileSync::~UnpackedFileSync()
{
    if (synced_.valid())
        synced_.wait();
}

void UnpackedFileSync::await()
{
    if (!synced_.get())
        throw Error(kNotReplaced);
}

void PutInPlaceOfWorking(Program& program, const QString& unpacked)
{
    const QString database = program.state.DatabasePath;
    // The new file is as open to others as the one it replaces (closed in the user's own data folder).
    QFile::setPermissions(unpacked, QFileInfo(database).permissions());

    db::Connection& working = program.survey;
    ReplacedFileRelease release(database);
    // Waits, as any writer does, for another program writing the working database; while the lock is held nobody
    // is in the middle of a write, so no journal of the old file is left to be played back into the new one. A
    // program that still has the old file open is refused its next write by the engine (the file has moved).
    working.execute(QStringLiteral("BEGIN EXCLUSIVE"));
    if (!durable::replaceFile(unpacked, database)) {
        working.execute(QStringLiteral("ROLLBACK"));
        throw Error(kNotReplaced);
    }
    // Nothing was written in the transaction: closing drops it and the lock with the old file.
    working.close();
    release.closeLater();
    durable::syncFolder(QFileInfo(database).absolutePath());
    working.open(database, schema::databasePassword());
}

} // namespace vestrum::datafiles
