#include "storage/engine.h"

#include "storage/engine_internal.h"

#include "base/codepage.h"
#include "base/error.h"

#include <algorithm>
#include <sqlite3.h>

// Reading: the fields of a table or statement, the rows a select or a table gives, and the cursor that
// walks rows without keeping them.
namespace vestrum::db {

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
// TableCursor

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
