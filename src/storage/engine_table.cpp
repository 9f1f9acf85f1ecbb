#include "storage/engine.h"

#include "storage/engine_internal.h"

#include "base/codepage.h"
#include "base/error.h"

#include <QRegularExpression>
#include <algorithm>
#include <sqlite3.h>

// Writing: a table's rows appended, edited and removed, and rows appended in bulk.
namespace vestrum::db {
namespace {

QVariant storedValue(const FieldInfo& field, QVariant value)
{
    if (value.isNull() || !value.isValid())
        return {};
    if (field.isCodePage() && value.typeId() == QMetaType::QString)
        return codepage::passThrough(value.toString());
    return value;
}

} // namespace

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

} // namespace vestrum::db
