#pragma once

#include "base/error.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <span>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vestrum::db {

// Field types as the program tells them apart; the database file declares them itself:
// NVARCHAR(n) Unicode text, VARCHAR(n) code-page text, NTEXT / TEXT long text (Unicode / code page),
// INTEGER, REAL and the auto-numbered "INTEGER PRIMARY KEY AUTOINCREMENT".
enum class FieldType { AutoNumber, UnicodeText, CodePageText, UnicodeLongText, CodePageLongText, Integer, Number };

struct FieldInfo {
    QString name;
    FieldType type = FieldType::CodePageText;
    int size = 0; // declared maximum length of a text field, 0 when unbounded

    bool isCodePage() const { return type == FieldType::CodePageText || type == FieldType::CodePageLongText; }
    bool isText() const { return type != FieldType::Integer && type != FieldType::Number && type != FieldType::AutoNumber; }
};

FieldType fieldTypeFromDeclaration(const QString& declaredType, bool autoIncrement, int* size);

class Connection;

// The fields of a table or statement, found by name without regard to case.
class FieldSet {
public:
    const std::vector<FieldInfo>& fields() const { return fields_; }
    int fieldIndex(const QString& name) const; // -1 when absent; names compare without regard to case
    bool hasField(const QString& name) const { return fieldIndex(name) >= 0; }
    const FieldInfo& field(const QString& name) const;

protected:
    ~FieldSet() = default;
    int requireField(const QString& name) const;

    std::vector<FieldInfo> fields_;
};

// A group of rows read from a table or a select statement, walked with a current row.
class RowSet : public FieldSet {
public:
    virtual ~RowSet() = default;

    void first() { current_ = 0; }
    void next() { if (current_ < rows_.size()) ++current_; }
    bool eof() const { return current_ >= rows_.size(); }
    qsizetype recordCount() const { return static_cast<qsizetype>(rows_.size()); }
    qsizetype position() const { return static_cast<qsizetype>(current_); }
    void moveTo(qsizetype index);

    // Reads of the current row. NULL reads as "", 0 or 0.0.
    QString asString(const QString& name) const;  // through the Windows-1250 code page
    QString asUnicode(const QString& name) const;
    int asInteger(const QString& name) const;
    double asFloat(const QString& name) const;
    bool isNull(const QString& name) const;
    QVariant value(int column) const;
    QVariant value(const QString& name) const { return value(requireField(name)); }
    // The same reads by field index (fieldIndex), for walks over many rows.
    QString asString(int column) const;
    QString asUnicode(int column) const;
    int asInteger(int column) const;
    double asFloat(int column) const;

    // Makes the first row whose field equals (or begins with) the text current, comparing
    // without regard to case. Returns false and leaves the position alone when none matches.
    bool locate(const QString& name, const QString& text, bool prefix = false);

protected:
    const std::vector<QVariant>& currentRow() const;

    std::vector<std::vector<QVariant>> rows_;
    std::vector<qint64> rowIds_;
    size_t current_ = 0;
};

// Result of a select statement (read-only).
class Query : public RowSet {
public:
    Query(Connection& connection, const QString& sql, const QVariantList& parameters = {});
};

// A filter on one field, bound as a parameter: "typ='M'" becomes {"typ", "M"}.
struct Filter {
    QString field;
    QVariant value;
    bool isEmpty() const { return field.isEmpty(); }
    // Reads the program's own filter expressions of the form field=number or field='text'.
    static Filter parse(const QString& expression);
};

// A table opened by name, whole or filtered, read-only or read-write. Rows come in insertion order.
// A table opened to append reads none of its rows and keeps none of those it appends: it only
// appends and deletes whole groups.
class Table : public RowSet {
public:
    enum class Mode { ReadOnly, ReadWrite, AppendOnly };

    Table(Connection& connection, const QString& name, Mode mode = Mode::ReadOnly, const Filter& filter = {});
    ~Table() override;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const QString& name() const { return name_; }

    void append(); // starts a new row; post() writes it
    void edit();   // starts changing the current row
    void post();
    void cancel();
    void remove(); // deletes the current row
    void removeAll(); // deletes every row of the table or of the filtered group
    // Deletes, in one statement, every row whose `field` equals `text` once the characters up to
    // U+0020 are trimmed from both of its ends (as numbers::TrimBlanks trims).
    void removeTrimmedEqual(const QString& field, const QString& text);
    bool editing() const { return state_ != State::Browse; }

    // Writes of the row being appended or edited. A code-page field stores the text as it comes
    // back through Windows-1250, whichever setter wrote it.
    void setString(const QString& name, const QString& text); // through the code page
    void setUnicode(const QString& name, const QString& text);
    void setInteger(const QString& name, int value);
    void setFloat(const QString& name, double value);
    void setNull(const QString& name);
    void setValue(const QString& name, const QVariant& value);

private:
    enum class State { Browse, Appending, Editing };
    void requireWritable() const;
    void requireEditing() const;
    void setField(int column, QVariant value);
    void insertPending();
    void updatePending();

    Connection& connection_;
    QString name_;
    Mode mode_;
    Filter filter_;
    State state_ = State::Browse;
    std::vector<QVariant> pending_;
    std::vector<bool> touched_;
    sqlite3_stmt* insertStatement_ = nullptr;
};

// The rows of a table, whole or filtered, read one at a time in insertion order and not kept: for
// walks over long lists. fetch() makes the next row current and returns false after the last one.
// The reads convert only the fields asked for, straight from the engine, and give what the same
// reads of a RowSet give.
class TableCursor : public FieldSet {
public:
    TableCursor(Connection& connection, const QString& name, const Filter& filter = {});
    ~TableCursor();
    TableCursor(const TableCursor&) = delete;
    TableCursor& operator=(const TableCursor&) = delete;

    bool fetch();

    QVariant value(int column) const;
    QString asString(int column) const; // through the Windows-1250 code page
    QString asUnicode(int column) const;
    int asInteger(int column) const;
    double asFloat(int column) const;
    // The stored text's bytes as the engine holds them (UTF-8, not checked), valid until the next
    // fetch; none when the field holds no text (NULL, a number or a blob).
    std::optional<QByteArrayView> textBytes(int column) const;

private:
    int statementColumn(int column) const;

    Connection& connection_;
    sqlite3_stmt* statement_ = nullptr;
    QString sql_;
    bool onRow_ = false;
};

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens an existing database file. A wrong password or a file that is not a database
    // throws vestrum::Error naming the file.
    void open(const QString& path, const QString& password);
    // Makes a new, empty database file carrying the password.
    static void create(const QString& path, const QString& password);
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    const QString& path() const { return path_; }

    void execute(const QString& sql, const QVariantList& parameters = {});
    QVariant scalar(const QString& sql, const QVariantList& parameters = {});
    QStringList userTables();
    std::vector<FieldInfo> tableFields(const QString& table);
    bool hasTable(const QString& table);

    void begin();
    void commit();
    void rollback();
    bool inTransaction() const;

    sqlite3* handle() const;
    sqlite3_stmt* prepare(const QString& sql) const;
    void bind(sqlite3_stmt* statement, const QVariantList& parameters) const;
    void bindValue(sqlite3_stmt* statement, int index, const QVariant& value) const; // index from 1
    void check(int rc, const QString& what) const;

private:
    sqlite3* handle_ = nullptr;
    QString path_;
};

// Rows appended to one table through a statement prepared once: for filling a table with
// thousands of rows, where preparing or building anything per row would cost more than the insert.
// Values are stored as a Table stores them (a code-page field through Windows-1250).
class RowInserter {
public:
    // A field missing from the table throws vestrum::Error naming it.
    RowInserter(Connection& connection, const QString& table, const QStringList& fieldNames);
    ~RowInserter();
    RowInserter(const RowInserter&) = delete;
    RowInserter& operator=(const RowInserter&) = delete;

    // One row: values in the order of the field names; those left out are NULL.
    void insert(std::span<const QVariant> values);

private:
    Connection& connection_;
    std::vector<FieldInfo> fields_;
    sqlite3_stmt* statement_ = nullptr;
    QString sql_;
};

// Rolls back unless committed: a save either writes everything or nothing.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& connection_;
    bool done_ = false;
};

// Thrown when another program keeps the database locked longer than the busy timeout; its message begins
// "Plik ... jest używany przez inny program.".
class Busy : public Error {
public:
    using Error::Error;
};

// Thrown by Connection::open when the file holds no database of the program: empty, cut short, with a damaged
// header, or another program's database. Its message is the open's own.
class NotADatabase : public Error {
public:
    using Error::Error;
};

// How long a connection opened from now on waits for a database another program is writing (10 s); after that
// the statement fails with "Plik ... jest używany przez inny program.". Tests shorten it.
void SetBusyTimeout(int milliseconds);
int BusyTimeout();

// The value a database keeps for a password (stored as the file's application id).
qint32 passwordMark(const QString& password);

// Reads a column value of a prepared statement.
QVariant columnValue(sqlite3_stmt* statement, int column);

} // namespace vestrum::db
