#include "lists/list_data.h"

#include "base/error.h"
#include "base/number_format.h"
#include "program/program.h"
#include "program/settings.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"

#include <algorithm>
#include <optional>

namespace vestrum::lists {
namespace {

bool textDiscriminator(const ListKindInfo& info)
{
    return info.sharedTable() && info.discriminator.typeId() == QMetaType::QString;
}

// The kind's rows of a table shared by several kinds. Integer discriminators are a filter; the
// degree-rights kinds compare the trimmed text, so a stored "dr " still belongs to kind 1 for
// loading and for the deletion before a save alike.
db::Filter kindFilter(const ListKindInfo& info)
{
    if (!info.sharedTable() || textDiscriminator(info))
        return {};
    return {info.discriminatorField, info.discriminator};
}

// A column of the kind as the load reads it: its field found once, not once per row.
struct ColumnRead {
    const ListColumn* column;
    int field;
    bool codePage;
};

// The index of a field the table must have (a missing one throws, naming it).
int requiredField(const db::FieldSet& table, const QString& name)
{
    table.field(name);
    return table.fieldIndex(name);
}

std::vector<ColumnRead> columnReads(const db::FieldSet& table, const ListKindInfo& info)
{
    std::vector<ColumnRead> reads;
    for (const ListColumn& column : info.columns) {
        if (column.format == CellFormat::FixedPoints) {
            reads.push_back({&column, -1, false});
            continue;
        }
        if (column.addedLater && table.fieldIndex(column.field) < 0) {
            reads.push_back({&column, -1, false});
            continue;
        }
        const int field = requiredField(table, column.field);
        reads.push_back({&column, field, table.fields()[static_cast<size_t>(field)].isCodePage()});
    }
    return reads;
}

bool belongsToKind(const db::TableCursor& table, const ListKindInfo& info, int discriminatorField)
{
    if (!textDiscriminator(info))
        return true;
    return numbers::TrimBlanks(table.asString(discriminatorField)) == info.discriminator.toString();
}

QString readCell(const db::TableCursor& table, const ListKindInfo& info, const ColumnRead& read)
{
    const ListColumn& column = *read.column;
    switch (column.format) {
    case CellFormat::FixedPoints:
        return QString::number(info.fixedPoints);
    case CellFormat::Points:
    case CellFormat::Amount:
        return numbers::FormatAmount(table.asFloat(read.field));
    case CellFormat::Integer:
        return numbers::FormatInteger(table.asInteger(read.field));
    case CellFormat::Text:
        if (read.field < 0)
            return QString(); // a field of a later version
        break;
    }
    const QString text = read.codePage ? table.asString(read.field) : table.asUnicode(read.field);
    return column.trimOnLoad ? numbers::TrimBlanks(text) : text;
}

// Blanks (every character up to U+0020) off both ends, as numbers::TrimBlanks takes them: no byte of
// a longer UTF-8 sequence is that low, so the bytes can be trimmed directly.
QByteArrayView trimmedBytes(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= 0x20)
        --end;
    return bytes.sliced(begin, end - begin);
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

// A cell goes in as it is written out: amounts straight from their digits, and a stored text as its
// bytes when they spell exactly what readCell would make of them (well-formed UTF-8, and for a
// code-page field plain ASCII, as any other letter may turn into "?"). Every other cell goes the
// way readCell goes.
void appendCompactCell(CompactList& list, const db::TableCursor& table, const ListKindInfo& info,
                       const ColumnRead& read)
{
    switch (read.column->format) {
    case CellFormat::Points:
    case CellFormat::Amount: {
        numbers::AmountBuffer buffer;
        const QLatin1String amount = numbers::FormatAmountInto(buffer, table.asFloat(read.field));
        list.appendUtf8(QByteArrayView(amount.data(), amount.size())); // digits, a comma and a sign
        return;
    }
    case CellFormat::Text:
        if (read.field < 0) {
            list.appendText(QString());
            return;
        }
        if (const std::optional<QByteArrayView> stored = table.textBytes(read.field)) {
            const QByteArrayView bytes = read.column->trimOnLoad ? trimmedBytes(*stored) : *stored;
            if ((!read.codePage || isAscii(bytes)) && list.appendUtf8(bytes))
                return;
        }
        break;
    case CellFormat::FixedPoints:
    case CellFormat::Integer:
        break;
    }
    list.appendText(readCell(table, info, read));
}

[[noreturn]] void notANumber(const ListColumn& column, const QString& text, int row)
{
    throw Error(QStringLiteral("Nie można zapisać wykazu: w pozycji %1 w kolumnie \"%2\" wpisano \"%3\", a powinna "
                               "tam być liczba.")
                    .arg(row + 1)
                    .arg(column.header, text));
}

void writeCell(db::Table& table, const ListColumn& column, const QString& cell, int row)
{
    const QString text = column.trimOnSave ? numbers::TrimBlanks(cell) : cell;
    switch (column.format) {
    case CellFormat::Text:
        table.setUnicode(column.field, text);
        return;
    case CellFormat::FixedPoints:
        table.setFloat(column.field, 0.0);
        return;
    case CellFormat::Points:
        table.setFloat(column.field, numbers::DecimalOrZero(text));
        return;
    case CellFormat::Integer:
        if (text.isEmpty()) {
            table.setNull(column.field);
        } else if (const std::optional<int> value = numbers::ParseInteger(text)) {
            table.setInteger(column.field, *value);
        } else {
            notANumber(column, text, row);
        }
        return;
    case CellFormat::Amount:
        if (text.isEmpty()) {
            table.setNull(column.field);
        } else if (const std::optional<double> value = numbers::ParseDecimal(text)) {
            table.setFloat(column.field, *value);
        } else {
            notANumber(column, text, row);
        }
        return;
    }
}

bool isBlankRow(const ListKindInfo& info, const QStringList& row)
{
    if (info.blankTest.empty())
        return false;
    for (int c : info.blankTest)
        if (!numbers::IsBlank(row.value(c)))
            return false;
    return true;
}

int countOf(const ListKindInfo& info, const QString& scope)
{
    return info.countsDisciplines ? DisciplineCount(scope) : 1;
}

} // namespace

QMap<QString, int> DeclaredWidths(db::Connection& survey, int kind)
{
    const ListKindInfo& info = ListKindInfoOf(kind);
    QMap<QString, int> widths;
    const std::vector<db::FieldInfo> fields = survey.tableFields(info.table);
    for (const ListColumn& column : info.columns) {
        if (!column.limited)
            continue;
        for (const db::FieldInfo& f : fields)
            if (f.name.compare(column.field, Qt::CaseInsensitive) == 0)
                widths.insert(column.field, f.size);
    }
    return widths;
}

LoadedList LoadList(db::Connection& survey, int kind)
{
    const ListKindInfo& info = ListKindInfoOf(kind);
    db::TableCursor table(survey, info.table, kindFilter(info));

    LoadedList loaded;
    loaded.grid = ListGrid(info.headers());
    loaded.maxLengths = DeclaredWidths(survey, kind);

    const int scopeColumn = info.countsDisciplines ? info.columnIndex(QStringLiteral("zakres")) : -1;
    const std::vector<ColumnRead> reads = columnReads(table, info);
    const int discriminatorField = textDiscriminator(info) ? requiredField(table, info.discriminatorField) : -1;
    QStringList cells;
    while (table.fetch()) {
        if (!belongsToKind(table, info, discriminatorField))
            continue;
        cells.clear();
        for (const ColumnRead& read : reads)
            cells.append(readCell(table, info, read));
        loaded.count += countOf(info, cells.value(scopeColumn));
        loaded.grid.appendLoaded(cells);
    }
    return loaded;
}

LoadedList LoadList(Program& program, int kind) { return LoadList(program.survey, kind); }

CompactList LoadCompactList(db::Connection& survey, int kind)
{
    const ListKindInfo& info = ListKindInfoOf(kind);
    db::TableCursor table(survey, info.table, kindFilter(info));
    CompactList list(info.headers());
    const std::vector<ColumnRead> reads = columnReads(table, info);
    const int discriminatorField = textDiscriminator(info) ? requiredField(table, info.discriminatorField) : -1;
    while (table.fetch()) {
        if (!belongsToKind(table, info, discriminatorField))
            continue;
        for (const ColumnRead& read : reads)
            appendCompactCell(list, table, info, read);
    }
    return list;
}

int SaveList(db::Connection& survey, int kind, const ListGrid& grid, const std::function<void()>& beforeCommit)
{
    const ListKindInfo& info = ListKindInfoOf(kind);
    db::Transaction transaction(survey);
    if (std::any_of(info.columns.begin(), info.columns.end(), [](const ListColumn& c) { return c.addedLater; }))
        schema::addMissingSurveyColumns(survey, info.table);
    // The kind's old rows go in one statement; the table is not read.
    db::Table table(survey, info.table, db::Table::Mode::AppendOnly, kindFilter(info));
    if (textDiscriminator(info))
        table.removeTrimmedEqual(info.discriminatorField, info.discriminator.toString());
    else
        table.removeAll();

    const int scopeColumn = info.countsDisciplines ? info.columnIndex(QStringLiteral("zakres")) : -1;
    const int columns = static_cast<int>(info.columns.size());
    int count = 0;
    for (int r = 0; r < grid.rowCount(); ++r) {
        const QStringList& row = grid.row(r);
        if (isBlankRow(info, row))
            continue;
        table.append();
        if (info.sharedTable())
            table.setValue(info.discriminatorField, info.discriminator);
        for (int c = 0; c < columns; ++c)
            writeCell(table, info.columns[static_cast<size_t>(c)], row.value(c), r);
        for (const ListConstant& constant : info.constants)
            table.setValue(constant.field, constant.value);
        table.post();
        count += countOf(info, row.value(scopeColumn));
    }
    if (beforeCommit)
        beforeCommit();
    transaction.commit();
    return count;
}

int SaveList(Program& program, int kind, const ListGrid& grid)
{
    bool recorded = true;
    const int count = SaveList(program.survey, kind, grid, [&] { recorded = RecordUnsavedWork(program.state); });
    SetDataSaved(program.state, false);
    if (!recorded)
        ReportUnwritableSettings(program);
    return count;
}

std::vector<int> EditorOrder(ListGrid& grid, const QLocale& locale)
{
    grid.markSortColumn(0);
    return grid.sortedOrder(0, locale);
}

std::vector<int> EditorOrder(CompactList& list, const QLocale& locale)
{
    list.markSortColumn(0);
    return list.sortedOrder(0, locale);
}

ListGrid EditorGrid(db::Connection& survey, int kind, const QLocale& locale)
{
    ListGrid grid = LoadList(survey, kind).grid;
    grid.reorder(EditorOrder(grid, locale));
    return grid;
}

} // namespace vestrum::lists
