#include "storage/engine.h"

#include "base/file_modes.h"

#include "base/error.h"
#include "base/codepage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <sqlite3.h>
#include <zlib.h>


namespace vestrum::db {
namespace {

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

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

QVariant storedValue(const FieldInfo& field, QVariant value)
{
    if (value.isNull() || !value.isValid())
        return {};
    if (field.isCodePage() && value.typeId() == QMetaType::QString)
        return codepage::passThrough(value.toString());
    return value;
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

// ---------------------------------------------------------------------------------------------
// RowInserter

RowInserter::RowInserter(Connection& connection, const QString& table, const QStringList& fieldNames)
    : connection_(connection)
{
    const std::vector<FieldInfo> tableFields = connection.tableFields(table);
    QStringList columns, marks;
    for (const QString& name : fieldNames) {
        const auto field = std::find_if(tableFields.begin(), tableFields.end(), [&name](const FieldInfo& f) {
            return f.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (field == tableFields.end())
            throw Error(QStringLiteral("Błąd bazy danych: brak pola \"%1\".").arg(name));
        fields_.push_back(*field);
        columns.append(quoted(field->name));
        marks.append(QStringLiteral("?"));
    }
    sql_ = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoted(table), columns.join(u','), marks.join(u','));
    statement_ = connection.prepare(sql_);
}

RowInserter::~RowInserter() { sqlite3_finalize(statement_); }

void RowInserter::insert(std::span<const QVariant> values)
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    for (size_t i = 0; i < values.size() && i < fields_.size(); ++i)
        connection_.bindValue(statement_, static_cast<int>(i) + 1, storedValue(fields_[i], values[i]));
    const int rc = sqlite3_step(statement_);
    if (rc != SQLITE_DONE)
        connection_.check(rc, sql_);
}

// ---------------------------------------------------------------------------------------------
// Reads of a stored value, shared by row sets and cursors. NULL reads as "", 0 or 0.0.

namespace {

QString unicodeOf(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', 15);
    return v.toString();
}

int integerOf(const QVariant& v)
{
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return static_cast<int>(v.toDouble());
    return v.toString().trimmed().toInt();
}

double floatOf(const QVariant& v) { return v.isNull() ? 0.0 : v.toDouble(); }

[[noreturn]] void noCurrentRecord() { throw Error(QStringLiteral("Błąd bazy danych: brak bieżącego rekordu.")); }

} // namespace

// ---------------------------------------------------------------------------------------------
// FieldSet and RowSet

int FieldSet::fieldIndex(const QString& name) const
{
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int FieldSet::requireField(const QString& name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw Error(QStringLiteral("Błąd bazy danych: brak pola \"%1\".").arg(name));
    return index;
}

const FieldInfo& FieldSet::field(const QString& name) const
{
    return fields_[static_cast<size_t>(requireField(name))];
}

const std::vector<QVariant>& RowSet::currentRow() const
{
    if (eof())
        noCurrentRecord();
    return rows_[current_];
}

void RowSet::moveTo(qsizetype index)
{
    current_ = index < 0 ? rows_.size() : std::min(static_cast<size_t>(index), rows_.size());
}

QVariant RowSet::value(int column) const
{
    return currentRow()[static_cast<size_t>(column)];
}

QString RowSet::asString(const QString& name) const { return asString(requireField(name)); }

QString RowSet::asUnicode(const QString& name) const { return asUnicode(requireField(name)); }

int RowSet::asInteger(const QString& name) const { return asInteger(requireField(name)); }

double RowSet::asFloat(const QString& name) const { return asFloat(requireField(name)); }

QString RowSet::asString(int column) const
{
    return codepage::passThrough(asUnicode(column));
}

QString RowSet::asUnicode(int column) const { return unicodeOf(value(column)); }

int RowSet::asInteger(int column) const { return integerOf(value(column)); }

double RowSet::asFloat(int column) const { return floatOf(value(column)); }

bool RowSet::isNull(const QString& name) const
{
    return value(requireField(name)).isNull();
}

bool RowSet::locate(const QString& name, const QString& text, bool prefix)
{
    const int column = requireField(name);
    const QString wanted = text.toLower();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const QString candidate = rows_[i][static_cast<size_t>(column)].toString().toLower();
        if (prefix ? candidate.startsWith(wanted) : candidate == wanted) {
            current_ = i;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Query

Query::Query(Connection& connection, const QString& sql, const QVariantList& parameters)
{
    sqlite3_stmt* statement = connection.prepare(sql);
    int rc = SQLITE_OK;
    try {
        connection.bind(statement, parameters);
        const int columns = sqlite3_column_count(statement);
        for (int c = 0; c < columns; ++c) {
            FieldInfo info;
            info.name = QString::fromUtf8(sqlite3_column_name(statement, c));
            const char* declared = sqlite3_column_decltype(statement, c);
            info.type = declared != nullptr ? fieldTypeFromDeclaration(QString::fromUtf8(declared), false, &info.size)
                                            : FieldType::UnicodeText;
            fields_.push_back(info);
        }
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            std::vector<QVariant> row;
            row.reserve(static_cast<size_t>(columns));
            for (int c = 0; c < columns; ++c)
                row.push_back(columnValue(statement, c));
            rows_.push_back(std::move(row));
        }
    } catch (...) {
        sqlite3_finalize(statement);
        throw;
    }
    sqlite3_finalize(statement);
    connection.check(rc, sql);
}

// ---------------------------------------------------------------------------------------------
// Filter and Table

Filter Filter::parse(const QString& expression)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\w+)\\s*=\\s*(?:'([^']*)'|(-?\\d+))\\s*$"));
    const auto match = pattern.match(expression);
    if (!match.hasMatch())
        throw Error(QStringLiteral("Błąd bazy danych: nieprawidłowy filtr \"%1\".").arg(expression));
    if (!match.captured(3).isEmpty())
        return {match.captured(1), match.captured(3).toInt()};
    return {match.captured(1), match.captured(2)};
}

Table::Table(Connection& connection, const QString& name, Mode mode, const Filter& filter)
    : connection_(connection), name_(name), mode_(mode), filter_(filter)
{
    if (!connection.hasTable(name))
        throw Error(QStringLiteral("Błąd bazy danych: tabela \"%1\" nie istnieje.").arg(name));
    fields_ = connection.tableFields(name);
    if (!filter_.isEmpty())
        requireField(filter_.field);
    if (mode_ == Mode::AppendOnly)
        return;

    QString sql = QStringLiteral("SELECT rowid, * FROM ") + quoted(name);
    QVariantList parameters;
    if (!filter_.isEmpty()) {
        sql += QStringLiteral(" WHERE ") + quoted(filter_.field) + QStringLiteral(" = ?");
        parameters.append(filter_.value);
    }
    sql += QStringLiteral(" ORDER BY rowid");

    sqlite3_stmt* statement = connection.prepare(sql);
    int rc = SQLITE_OK;
    try {
        connection.bind(statement, parameters);
        const size_t columns = fields_.size();
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            rowIds_.push_back(sqlite3_column_int64(statement, 0));
            std::vector<QVariant> row;
            row.reserve(columns);
            for (size_t c = 0; c < columns; ++c)
                row.push_back(columnValue(statement, static_cast<int>(c + 1)));
            rows_.push_back(std::move(row));
        }
    } catch (...) {
        sqlite3_finalize(statement);
        throw;
    }
    sqlite3_finalize(statement);
    connection.check(rc, sql);
}

Table::~Table()
{
    if (insertStatement_ != nullptr)
        sqlite3_finalize(insertStatement_);
}

void Table::requireWritable() const
{
    if (mode_ == Mode::ReadOnly)
        throw Error(QStringLiteral("Błąd bazy danych: tabela \"%1\" jest otwarta tylko do odczytu.").arg(name_));
}

void Table::requireEditing() const
{
    if (state_ == State::Browse)
        throw Error(QStringLiteral("Błąd bazy danych: rekord tabeli \"%1\" nie jest edytowany.").arg(name_));
}

void Table::append()
{
    requireWritable();
    state_ = State::Appending;
    pending_.assign(fields_.size(), QVariant());
    touched_.assign(fields_.size(), false);
}

void Table::edit()
{
    requireWritable();
    pending_ = currentRow();
    touched_.assign(fields_.size(), false);
    state_ = State::Editing;
}

void Table::cancel()
{
    state_ = State::Browse;
    pending_.clear();
}

void Table::setField(int column, QVariant value)
{
    requireEditing();
    const auto index = static_cast<size_t>(column);
    if (fields_[index].type == FieldType::AutoNumber)
        throw Error(QStringLiteral("Błąd bazy danych: pole \"%1\" jest numerowane automatycznie.").arg(fields_[index].name));
    pending_[index] = storedValue(fields_[index], std::move(value));
    touched_[index] = true;
}

void Table::setString(const QString& name, const QString& text)
{
    setField(requireField(name), codepage::passThrough(text));
}

void Table::setUnicode(const QString& name, const QString& text)
{
    setField(requireField(name), text);
}

void Table::setInteger(const QString& name, int value)
{
    setField(requireField(name), value);
}

void Table::setFloat(const QString& name, double value)
{
    setField(requireField(name), value);
}

void Table::setNull(const QString& name)
{
    setField(requireField(name), QVariant());
}

void Table::setValue(const QString& name, const QVariant& value)
{
    setField(requireField(name), value);
}

void Table::insertPending()
{
    if (insertStatement_ == nullptr) {
        QStringList columns;
        QStringList marks;
        for (const FieldInfo& f : fields_) {
            if (f.type == FieldType::AutoNumber)
                continue;
            columns.append(quoted(f.name));
            marks.append(QStringLiteral("?"));
        }
        const QString sql = columns.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(name_))
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quoted(name_), columns.join(u','), marks.join(u','));
        insertStatement_ = connection_.prepare(sql);
    }
    sqlite3_reset(insertStatement_);
    int parameter = 0;
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].type != FieldType::AutoNumber)
            connection_.bindValue(insertStatement_, ++parameter, pending_[i]);
    }
    const int rc = sqlite3_step(insertStatement_);
    if (rc != SQLITE_DONE)
        connection_.check(rc, QStringLiteral("INSERT ") + name_);
    if (mode_ == Mode::AppendOnly)
        return;
    const qint64 rowId = sqlite3_last_insert_rowid(connection_.handle());
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].type == FieldType::AutoNumber)
            pending_[i] = rowId;
    }
    rows_.push_back(std::move(pending_));
    rowIds_.push_back(rowId);
    current_ = rows_.size() - 1;
}

void Table::updatePending()
{
    QStringList assignments;
    QVariantList values;
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (!touched_[i])
            continue;
        assignments.append(quoted(fields_[i].name) + QStringLiteral(" = ?"));
        values.append(pending_[i]);
    }
    if (!assignments.isEmpty()) {
        values.append(rowIds_[current_]);
        connection_.execute(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quoted(name_), assignments.join(u',')),
                            values);
    }
    rows_[current_] = std::move(pending_);
}

void Table::post()
{
    requireEditing();
    if (state_ == State::Appending)
        insertPending();
    else
        updatePending();
    state_ = State::Browse;
    pending_.clear();
}

void Table::remove()
{
    requireWritable();
    if (mode_ == Mode::AppendOnly)
        throw Error(QStringLiteral("Błąd bazy danych: tabela \"%1\" jest otwarta tylko do dopisywania.").arg(name_));
    currentRow();
    connection_.execute(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(name_)), {rowIds_[current_]});
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(current_));
    rowIds_.erase(rowIds_.begin() + static_cast<std::ptrdiff_t>(current_));
}

void Table::removeAll()
{
    requireWritable();
    if (filter_.isEmpty())
        connection_.execute(QStringLiteral("DELETE FROM ") + quoted(name_));
    else
        connection_.execute(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(quoted(name_), quoted(filter_.field)),
                            {filter_.value});
    rows_.clear();
    rowIds_.clear();
    current_ = 0;
}

void Table::removeTrimmedEqual(const QString& field, const QString& text)
{
    requireWritable();
    requireField(field);
    // trim() takes the characters to remove as a string; it stops at U+0000, so that one stays.
    QString blanks;
    for (char16_t ch = 1; ch <= 0x20; ++ch)
        blanks.append(QChar(ch));
    connection_.execute(QStringLiteral("DELETE FROM %1 WHERE trim(%2, ?) = ?").arg(quoted(name_), quoted(field)),
                        {blanks, text});
    rows_.clear();
    rowIds_.clear();
    current_ = 0;
}

TableCursor::TableCursor(Connection& connection, const QString& name, const Filter& filter) : connection_(connection)
{
    if (!connection.hasTable(name))
        throw Error(QStringLiteral("Błąd bazy danych: tabela \"%1\" nie istnieje.").arg(name));
    fields_ = connection.tableFields(name);
    QVariantList parameters;
    sql_ = QStringLiteral("SELECT rowid, * FROM ") + quoted(name);
    if (!filter.isEmpty()) {
        requireField(filter.field);
        sql_ += QStringLiteral(" WHERE ") + quoted(filter.field) + QStringLiteral(" = ?");
        parameters.append(filter.value);
    }
    sql_ += QStringLiteral(" ORDER BY rowid");
    statement_ = connection.prepare(sql_);
    try {
        connection.bind(statement_, parameters);
    } catch (...) {
        sqlite3_finalize(statement_);
        throw;
    }
}

TableCursor::~TableCursor() { sqlite3_finalize(statement_); }

bool TableCursor::fetch()
{
    const int rc = sqlite3_step(statement_);
    onRow_ = rc == SQLITE_ROW;
    if (!onRow_)
        connection_.check(rc == SQLITE_DONE ? SQLITE_OK : rc, sql_);
    return onRow_;
}

// The statement's column of a field: the row id comes first.
int TableCursor::statementColumn(int column) const
{
    if (!onRow_)
        noCurrentRecord();
    if (column < 0 || static_cast<size_t>(column) >= fields_.size())
        throw Error(QStringLiteral("Błąd bazy danych: brak pola numer %1.").arg(column));
    return column + 1;
}

QVariant TableCursor::value(int column) const { return columnValue(statement_, statementColumn(column)); }

QString TableCursor::asString(int column) const { return codepage::passThrough(asUnicode(column)); }

QString TableCursor::asUnicode(int column) const
{
    // Text, nearly every cell of a list, is converted straight from the engine's UTF-8.
    const int at = statementColumn(column);
    if (sqlite3_column_type(statement_, at) != SQLITE_TEXT)
        return unicodeOf(columnValue(statement_, at));
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, at));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement_, at));
}

std::optional<QByteArrayView> TableCursor::textBytes(int column) const
{
    const int at = statementColumn(column);
    if (sqlite3_column_type(statement_, at) != SQLITE_TEXT)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, at));
    return QByteArrayView(text, sqlite3_column_bytes(statement_, at));
}

int TableCursor::asInteger(int column) const { return integerOf(value(column)); }

double TableCursor::asFloat(int column) const
{
    const int at = statementColumn(column);
    return sqlite3_column_type(statement_, at) == SQLITE_FLOAT ? sqlite3_column_double(statement_, at)
                                                                : floatOf(columnValue(statement_, at));
}

} // namespace vestrum::db
