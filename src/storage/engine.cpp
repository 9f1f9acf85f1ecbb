#include "storage/engine.h"

#include "storage/engine_internal.h"

#include "base/file_modes.h"

#include "base/error.h"
#include "base/codepage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <sqlite3.h>
#include <zlib.h>

// The connection: opening and creating a database, statements, their failures in Polish, transactions.
namespace vestrum::db {

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

namespace {

// lcase(): Unicode lower case, so that statements with lcase() and like work for Polish letters
// (the engine's own lower() folds ASCII only).
void lcaseFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int length = sqlite3_value_bytes(argv[0]);
    const QByteArray lower = QString::fromUtf8(text, length).toLower().toUtf8();
    sqlite3_result_text(context, lower.constData(), static_cast<int>(lower.size()), SQLITE_TRANSIENT);
}

QString engineMessage(sqlite3* handle)
{
    return handle != nullptr ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("brak połączenia");
}

int busyTimeoutMs = 10000;

QString shownPath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The user reads what went wrong in Polish; the engine's own English words are for whoever helps them, on the
// detail line.
QString failureLine(int rc, const QString& path)
{
    const QString file = shownPath(path);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("Plik %1 jest używany przez inny program.").arg(file);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("Baza danych %1 jest uszkodzona.").arg(file);
    case SQLITE_FULL:
        return QStringLiteral("Brak miejsca na dysku - nie można zapisać bazy danych %1.").arg(file);
    case SQLITE_IOERR:
        return QStringLiteral("Błąd odczytu lub zapisu bazy danych %1 na dysku.").arg(file);
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return QStringLiteral("Baza danych %1 nie może zostać zmieniona (tylko do odczytu).").arg(file);
    case SQLITE_CONSTRAINT:
        return QStringLiteral("Dane nie mogą zostać zapisane w bazie danych %1 - naruszają jej ograniczenia.").arg(file);
    case SQLITE_NOMEM:
        return QStringLiteral("Za mało pamięci do pracy z bazą danych %1.").arg(file);
    case SQLITE_CANTOPEN:
        return QStringLiteral("Nie można otworzyć bazy danych %1.").arg(file);
    default:
        return QStringLiteral("Błąd bazy danych %1.").arg(file);
    }
}

} // namespace

FieldType fieldTypeFromDeclaration(const QString& declaredType, bool autoIncrement, int* size)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*([A-Za-z ]+?)\\s*(?:\\(\\s*(\\d+)\\s*\\))?\\s*$"));
    const auto match = pattern.match(declaredType);
    const QString base = match.hasMatch() ? match.captured(1).toUpper() : declaredType.toUpper();
    if (size != nullptr)
        *size = match.hasMatch() && !match.captured(2).isEmpty() ? match.captured(2).toInt() : 0;
    if (autoIncrement)
        return FieldType::AutoNumber;
    if (base == u"NVARCHAR" || base == u"NCHAR")
        return FieldType::UnicodeText;
    if (base == u"VARCHAR" || base == u"CHAR")
        return FieldType::CodePageText;
    if (base == u"NTEXT")
        return FieldType::UnicodeLongText;
    if (base == u"TEXT" || base.isEmpty())
        return FieldType::CodePageLongText;
    if (base.contains(u"INT"))
        return FieldType::Integer;
    return FieldType::Number;
}

qint32 passwordMark(const QString& password)
{
    const QByteArray bytes = codepage::toWindows1250(password);
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(bytes.constData()), static_cast<uInt>(bytes.size()));
    // A zero mark would look like a database that carries no password at all.
    const auto mark = static_cast<qint32>(static_cast<quint32>(crc));
    return mark == 0 ? 1 : mark;
}

QVariant columnValue(sqlite3_stmt* statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant::fromValue<qlonglong>(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------------------------
// Connection

Connection::~Connection()
{
    close();
}

void Connection::open(const QString& path, const QString& password)
{
    close();
    if (!QFileInfo(path).isFile())
        throw Error(QStringLiteral("Nie można otworzyć bazy danych \"%1\": plik nie istnieje.").arg(path));

    sqlite3* handle = nullptr;
    const QByteArray file = path.toUtf8();
    // A connection is used by one thread at a time (a second thread opens its own), so the engine
    // need not lock around every call.
    if (sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        const QString reason = engineMessage(handle);
        sqlite3_close(handle);
        throw Error(QStringLiteral("Nie można otworzyć bazy danych \"%1\".\n\nSzczegóły: %2").arg(path, reason));
    }
    // Set before the first read: a file another program is writing is waited for, not taken for a foreign one.
    sqlite3_busy_timeout(handle, busyTimeoutMs);

    sqlite3_stmt* statement = nullptr;
    qint64 mark = 0;
    int rc = sqlite3_prepare_v2(handle, "PRAGMA application_id", -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            mark = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
        const QString reason = engineMessage(handle);
        sqlite3_close(handle);
        throw Busy(failureLine(rc, path) + QStringLiteral("\n\nSzczegóły: ") + reason);
    }
    if (rc != SQLITE_ROW || mark == 0) {
        sqlite3_close(handle);
        const QString message = QStringLiteral("Plik \"%1\" nie jest bazą danych programu lub jest uszkodzony.").arg(path);
        // Only what the file itself holds makes it no database; a failing disk or a lack of memory may pass.
        if (rc == SQLITE_ROW || (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
            throw NotADatabase(message);
        throw Error(message);
    }
    if (mark != passwordMark(password)) {
        sqlite3_close(handle);
        throw Error(QStringLiteral("Nieprawidłowe hasło bazy danych \"%1\".").arg(path));
    }

    sqlite3_create_function_v2(handle, "lcase", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &lcaseFunction,
                               nullptr, nullptr, nullptr);
    handle_ = handle;
    path_ = path;
}

void Connection::create(const QString& path, const QString& password)
{
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("Nie można utworzyć bazy danych \"%1\": plik już istnieje.").arg(path));
    sqlite3* handle = nullptr;
    const QByteArray file = path.toUtf8();
    int rc = sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        const QByteArray sql = "PRAGMA application_id = " + QByteArray::number(passwordMark(password));
        rc = sqlite3_exec(handle, sql.constData(), nullptr, nullptr, nullptr);
    }
    const QString reason = engineMessage(handle);
    sqlite3_close(handle);
    if (rc != SQLITE_OK)
        throw Error(QStringLiteral("Nie można utworzyć bazy danych \"%1\".\n\nSzczegóły: %2").arg(path, reason));
    // Its journals take the database's own mode.
    closeToOthersLikeItsFolder(path);
}

void SetBusyTimeout(int milliseconds)
{
    busyTimeoutMs = milliseconds;
}

int BusyTimeout()
{
    return busyTimeoutMs;
}

void Connection::close()
{
    if (handle_ == nullptr)
        return;
    sqlite3_close_v2(handle_);
    handle_ = nullptr;
    path_.clear();
}

sqlite3* Connection::handle() const
{
    if (handle_ == nullptr)
        throw Error(QStringLiteral("Połączenie z bazą danych nie jest otwarte."));
    return handle_;
}

void Connection::check(int rc, const QString& what) const
{
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW)
        return;
    const QString message
        = failureLine(rc, path_) + QStringLiteral("\n\nSzczegóły: ") + engineMessage(handle_) + QStringLiteral(" (") + what + u')';
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        throw Busy(message);
    throw Error(message);
}

sqlite3_stmt* Connection::prepare(const QString& sql) const
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(handle(), text.constData(), static_cast<int>(text.size()), &statement, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(statement);
        check(rc, sql);
    }
    return statement;
}

void Connection::bind(sqlite3_stmt* statement, const QVariantList& parameters) const
{
    for (int i = 0; i < parameters.size(); ++i)
        bindValue(statement, i + 1, parameters.at(i));
}

void Connection::bindValue(sqlite3_stmt* statement, int index, const QVariant& value) const
{
    int rc = SQLITE_OK;
    if (value.isNull() || !value.isValid()) {
        rc = sqlite3_bind_null(statement, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(statement, index, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(statement, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob(statement, index, bytes.constData(), static_cast<int>(bytes.size()),
                                   SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(statement, index, text.constData(), static_cast<int>(text.size()),
                                   SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK) // the name is made only for the message: binding runs for every value saved
        check(rc, QStringLiteral("parametr %1").arg(index));
}

void Connection::execute(const QString& sql, const QVariantList& parameters)
{
    sqlite3_stmt* statement = prepare(sql);
    int rc = SQLITE_OK;
    try {
        bind(statement, parameters);
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        }
    } catch (...) {
        sqlite3_finalize(statement);
        throw;
    }
    sqlite3_finalize(statement);
    check(rc, sql);
}

QVariant Connection::scalar(const QString& sql, const QVariantList& parameters)
{
    Query query(*this, sql, parameters);
    if (query.eof() || query.fields().empty())
        return {};
    return query.value(0);
}

QStringList Connection::userTables()
{
    QStringList names;
    Query query(*this, QStringLiteral("select name from sqlite_master where type='table' "
                                      "and name not like 'sqlite\\_%' escape '\\' order by rowid"));
    for (query.first(); !query.eof(); query.next())
        names.append(query.asUnicode(QStringLiteral("name")));
    return names;
}

bool Connection::hasTable(const QString& table)
{
    return scalar(QStringLiteral("select count(*) from sqlite_master where type='table' and lower(name)=lower(?)"),
                  {table}).toInt() > 0;
}

std::vector<FieldInfo> Connection::tableFields(const QString& table)
{
    const QString sql = scalar(QStringLiteral("select sql from sqlite_master where type='table' and lower(name)=lower(?)"),
                               {table}).toString();
    const bool autoIncrement = sql.contains(QStringLiteral("AUTOINCREMENT"), Qt::CaseInsensitive);
    std::vector<FieldInfo> fields;
    sqlite3_stmt* statement = prepare(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)));
    while (sqlite3_step(statement) == SQLITE_ROW) {
        FieldInfo info;
        info.name = columnValue(statement, 1).toString();
        const QString declared = columnValue(statement, 2).toString();
        const bool primaryKey = sqlite3_column_int(statement, 5) != 0;
        info.type = fieldTypeFromDeclaration(declared, primaryKey && autoIncrement, &info.size);
        fields.push_back(info);
    }
    sqlite3_finalize(statement);
    return fields;
}

void Connection::begin()
{
    execute(QStringLiteral("BEGIN"));
}

void Connection::commit()
{
    execute(QStringLiteral("COMMIT"));
}

void Connection::rollback()
{
    if (inTransaction())
        execute(QStringLiteral("ROLLBACK"));
}

bool Connection::inTransaction() const
{
    return handle_ != nullptr && sqlite3_get_autocommit(handle_) == 0;
}

// ---------------------------------------------------------------------------------------------
// Transaction: a savepoint, so that transactions nest (a load that saves several sections).

namespace {
QString savepointName(const void* owner)
{
    return QStringLiteral("vt_%1").arg(reinterpret_cast<quintptr>(owner), 0, 16);
}
} // namespace

Transaction::Transaction(Connection& connection) : connection_(connection)
{
    connection_.execute(QStringLiteral("SAVEPOINT ") + savepointName(this));
}

Transaction::~Transaction()
{
    if (done_)
        return;
    try {
        connection_.execute(QStringLiteral("ROLLBACK TO ") + savepointName(this));
        connection_.execute(QStringLiteral("RELEASE ") + savepointName(this));
    } catch (const Error&) {
        // The connection is gone; nothing was committed.
    }
}

void Transaction::commit()
{
    connection_.execute(QStringLiteral("RELEASE ") + savepointName(this));
    done_ = true;
}

} // namespace vestrum::db
