#include "survey/section_data.h"

#include "base/error.h"
#include "survey/field_checks.h"
#include "survey/form_catalogue.h"
#include "survey/list_kinds.h"
#include "base/number_format.h"
#include "program/program.h"
#include "program/settings.h"
#include "storage/engine.h"
#include "survey/reference_tables.h"
#include "base/grid_rules.h"

#include <algorithm>
#include <map>
#include <memory>

namespace vestrum {
namespace {

using form::Control;
using form::ControlKind;
using form::Conversion;
using form::Page;

const QString kDetails = QStringLiteral("dane_szczegolowe");

// Every character up to U+0020, as the program trims; SQLite's trim() takes the set to remove.
QString blankCharacters()
{
    QString chars;
    for (char16_t c = 1; c <= 0x20; ++c)
        chars.append(QChar(c));
    return chars;
}

QString quoted(const QString& name) { return QLatin1Char('"') + name + QLatin1Char('"'); }

// ---------------------------------------------------------------------------------------------
// Conversions from the control's text to a column value.

QVariant integerValue(const QString& text, bool emptyIsNull)
{
    const QString trimmed = numbers::TrimBlanks(text);
    if (trimmed.isEmpty() && emptyIsNull)
        return QVariant();
    const auto value = numbers::ParseInteger(trimmed);
    if (!value)
        throw Error(QStringLiteral("Wartość \"%1\" nie jest prawidłową liczbą całkowitą.").arg(trimmed));
    return *value;
}

QVariant numberValue(const QString& text)
{
    const QString trimmed = numbers::TrimBlanks(text);
    if (trimmed.isEmpty())
        return QVariant();
    const auto value = numbers::ParseDecimal(trimmed);
    if (!value)
        throw Error(QStringLiteral("Wartość \"%1\" nie jest prawidłową liczbą.").arg(trimmed));
    return *value;
}

// Writes one control's text into its field of the row being edited.
void writeField(db::Table& table, const QString& field, Conversion conversion, const QString& text)
{
    switch (conversion) {
    case Conversion::UnicodeText:
    case Conversion::UnicodeLong:
        table.setUnicode(field, text);
        break;
    case Conversion::CodePageText:
    case Conversion::CodePageLong:
        table.setString(field, numbers::TrimBlanks(text));
        break;
    case Conversion::CodePageLongAsIs:
    case Conversion::Choice:
    case Conversion::ChoiceExact:
    case Conversion::ReportingYear:
        table.setString(field, text);
        break;
    case Conversion::Integer:
    case Conversion::IntegerAsText:
        table.setValue(field, integerValue(text, true));
        break;
    case Conversion::IntegerOrZero:
        table.setInteger(field, numbers::IntegerOrZero(text));
        break;
    case Conversion::StrictInteger:
        table.setValue(field, integerValue(text, false));
        break;
    case Conversion::Amount:
        table.setValue(field, numberValue(text));
        break;
    case Conversion::None:
    case Conversion::DisciplineCodes:
    case Conversion::PkdCodes:
    case Conversion::PkdVersion:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Reading: the first record of a single-record table (absent when the table is empty).

class Record {
public:
    Record(db::Connection& connection, const QString& table) : table_(connection, table) { table_.first(); }

    bool present() const { return !table_.eof(); }
    bool isNull(const QString& field) const { return !present() || table_.isNull(field); }
    QString unicode(const QString& field) const { return present() ? table_.asUnicode(field) : QString(); }
    QString codePage(const QString& field) const { return present() ? table_.asString(field) : QString(); }
    int integer(const QString& field) const { return present() ? table_.asInteger(field) : 0; }
    double number(const QString& field) const { return present() ? table_.asFloat(field) : 0.0; }
    int width(const QString& field) const { return table_.field(field).size; }

private:
    db::Table table_;
};

QString matchItem(const QStringList& items, const QString& stored, Qt::CaseSensitivity cs)
{
    for (const QString& item : items)
        if (item.compare(stored, cs) == 0)
            return item;
    return {};
}

void loadScalar(Program& program, const Control& control, const Record& record, FieldValues& values)
{
    const QString& field = control.binding.field;
    QString& text = values.text[control.name];
    switch (control.binding.conversion) {
    case Conversion::UnicodeText:
    case Conversion::UnicodeLong:
        text = record.unicode(field);
        break;
    case Conversion::CodePageText:
        text = numbers::TrimBlanks(record.codePage(field));
        break;
    case Conversion::CodePageLong:
    case Conversion::CodePageLongAsIs:
        text = record.codePage(field);
        break;
    case Conversion::Integer:
    case Conversion::IntegerOrZero:
    case Conversion::StrictInteger:
        text = numbers::FormatInteger(record.integer(field));
        break;
    case Conversion::IntegerAsText:
        text = record.isNull(field) ? QString() : numbers::FormatInteger(record.integer(field));
        break;
    case Conversion::Amount:
        text = numbers::FormatAmount(record.number(field));
        break;
    case Conversion::Choice:
        text = matchItem(control.items, numbers::TrimBlanks(record.codePage(field)), Qt::CaseInsensitive);
        break;
    case Conversion::ChoiceExact:
        text = matchItem(control.items, record.codePage(field), Qt::CaseSensitive);
        break;
    case Conversion::ReportingYear: {
        text = matchItem(control.items, numbers::TrimBlanks(record.codePage(field)), Qt::CaseSensitive);
        if (text.isEmpty())
            text = control.items.value(program.state.NewDataFlag ? 1 : 0);
        program.state.ReportingYear = text.toInt();
        break;
    }
    case Conversion::None:
    case Conversion::DisciplineCodes:
    case Conversion::PkdCodes:
    case Conversion::PkdVersion:
        break;
    }
    if ((control.kind == ControlKind::Text || control.kind == ControlKind::UnicodeText) && record.width(field) > 0)
        values.maxLength[control.name] = record.width(field);
}

// Section 3's "Ogółem" row: the sums of the stored values, not of the rounded texts.
void loadStaffTotals(const Record& record, FieldValues& values)
{
    for (int column = 1; column <= 4; ++column) {
        qint64 count = 0;
        double amount = 0.0;
        for (int row = 1; row <= 5; ++row) {
            const Control* control = form::FindControl(checks::StaffField(row, column));
            if (!control)
                continue;
            if (column <= 2)
                count += record.integer(control->binding.field);
            else
                amount += record.number(control->binding.field);
        }
        values.text[checks::StaffField(6, column)] =
            column <= 2 ? numbers::FormatInteger(count) : numbers::FormatAmount(amount);
    }
}

// A main-window grid: every record in table order, then sorted by the first column.
void loadGrid(db::Connection& connection, const Control& grid, FieldValues& values)
{
    db::Table table(connection, grid.binding.table);
    std::vector<QStringList> rows;
    for (table.first(); !table.eof(); table.next()) {
        QStringList row;
        for (const form::GridColumn& column : grid.columns) {
            const QString& field = column.binding.field;
            switch (column.binding.conversion) {
            case Conversion::UnicodeText:
                row << table.asUnicode(field);
                break;
            case Conversion::Integer:
                // An empty cell is stored as NULL and comes back empty, so a saved blank row
                // shows as a blank row again.
                row << (table.isNull(field) ? QString() : numbers::FormatInteger(table.asInteger(field)));
                break;
            case Conversion::Amount:
                row << (table.isNull(field) ? QString() : numbers::FormatAmount(table.asFloat(field)));
                break;
            default:
                row << numbers::TrimBlanks(table.asString(field));
                break;
            }
        }
        rows.push_back(row);
    }
    if (rows.empty())
        rows.push_back(QStringList(QList<QString>(static_cast<qsizetype>(grid.columns.size()))));
    grid::SortRows(rows, 0);
    values.grids[grid.name] = GridRows(rows.begin(), rows.end());
    // The entry dialog of the grid's list kind limits its fields the same way.
    for (const form::GridColumn& column : grid.columns) {
        const int width = table.field(column.binding.field).size;
        if (width > 0 && column.binding.conversion != Conversion::Integer
            && column.binding.conversion != Conversion::Amount)
            values.maxLength[grid.name + QLatin1Char('.') + column.binding.field] = width;
    }
}

int storedPkdVersion(db::Connection& connection)
{
    db::Table table(connection, QStringLiteral("dane_pkd"));
    table.first();
    return !table.eof() && table.asInteger(QStringLiteral("rok")) == 2007 ? 2007 : 2004;
}

QStringList loadCodes(db::Connection& connection, const QString& tableName, const QString& field,
                      const QVector<CodeName>& reference)
{
    db::Table table(connection, tableName);
    QStringList lines;
    for (table.first(); !table.eof(); table.next()) {
        const QString code = numbers::TrimBlanks(table.asString(field));
        if (code.isEmpty())
            continue;
        const CodeName* row = findCode(reference, code);
        if (!row)
            continue; // a code the classification does not know is dropped
        const QString line = row->line();
        if (!lines.contains(line))
            lines << line;
    }
    return lines;
}

void saveCodes(db::Connection& connection, const QString& tableName, const QString& field,
               const QVector<CodeName>& reference, const QStringList& lines, const QVariant& version)
{
    db::Table table(connection, tableName, db::Table::Mode::AppendOnly);
    table.removeAll();
    for (const QString& line : lines) {
        for (const CodeName& row : reference) {
            if (row.line().compare(line, Qt::CaseInsensitive) != 0)
                continue;
            table.append();
            table.setString(field, row.code);
            if (version.isValid())
                table.setValue(QStringLiteral("rok"), version);
            table.post();
            break;
        }
    }
}

void saveGrid(db::Connection& connection, const Control& grid, const GridRows& rows)
{
    db::Table table(connection, grid.binding.table, db::Table::Mode::AppendOnly);
    table.removeAll();
    // Every row of the grid is written, a blank one too: the grid always shows at least one.
    for (const QStringList& row : rows) {
        table.append();
        for (size_t i = 0; i < grid.columns.size(); ++i) {
            const form::Binding& b = grid.columns[i].binding;
            writeField(table, b.field, b.conversion, row.value(static_cast<qsizetype>(i)));
        }
        table.post();
    }
}

bool isDerived(const Control& control) { return control.kind == ControlKind::Sum; }

void writeScalars(db::Connection& connection, const Page& page, const FieldValues& values)
{
    // Controls grouped by their single-record table, in the page's order.
    std::vector<std::pair<QString, std::vector<const Control*>>> groups;
    form::ForEachControl(page, [&](const form::Row&, const Control& c) {
        if (!c.binding.isStored() || c.kind == ControlKind::Grid || c.kind == ControlKind::ChosenList
            || c.kind == ControlKind::Radio)
            return;
        auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == c.binding.table; });
        if (it == groups.end()) {
            groups.push_back({c.binding.table, {}});
            it = groups.end() - 1;
        }
        it->second.push_back(&c);
    });
    for (const auto& [tableName, controls] : groups) {
        db::Table table(connection, tableName, db::Table::Mode::ReadWrite);
        table.first();
        if (table.eof())
            table.append(); // the first save creates the one record
        else
            table.edit();
        for (const Control* c : controls)
            writeField(table, c->binding.field, c->binding.conversion, values.text.value(c->name));
        table.post();
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------

CountQuery ListCountQuery(int listKind)
{
    if (!lists::isListKind(listKind))
        return {};
    const lists::ListKindInfo& list = lists::ListKindInfoOf(listKind);
    if (list.mainWindowGrid)
        return {};
    if (list.countsDisciplines) {
        // Each row counts the fields of science in its `zakres` (each followed by ";"), or 1.
        return {QStringLiteral("select coalesce(sum(max(1, length(coalesce(zakres,'')) - "
                               "length(replace(coalesce(zakres,''), ';', '')))), 0) from ")
                    + quoted(list.table) + QStringLiteral(" where trim(") + quoted(list.discriminatorField)
                    + QStringLiteral(", ?) = ?"),
                {blankCharacters(), list.discriminator}};
    }
    CountQuery query{QStringLiteral("select count(*) from ") + quoted(list.table), {}};
    if (list.sharedTable()) {
        query.sql += QStringLiteral(" where ") + quoted(list.discriminatorField) + QStringLiteral(" = ?");
        query.parameters << list.discriminator;
    }
    return query;
}

int ListCount(db::Connection& connection, int listKind)
{
    const CountQuery query = ListCountQuery(listKind);
    if (query.sql.isEmpty())
        return -1;
    return connection.scalar(query.sql, query.parameters).toInt();
}

QStringList LicenceCountQueries()
{
    const QString head = QStringLiteral("select count(*) from dane_wykaz_licencji where ");
    return {head + QStringLiteral("oplata<500000"), head + QStringLiteral("oplata>=500000 and oplata<=1000000"),
            head + QStringLiteral("oplata>1000000")};
}

void CountLicences(db::Connection& connection, FieldValues& values)
{
    const QStringList queries = LicenceCountQueries();
    for (int band = 0; band < 3; ++band)
        values.text[QStringLiteral("me1519_%1").arg(band + 1)] =
            numbers::FormatInteger(connection.scalar(queries[band]).toLongLong());
}

FieldValues LoadPage(Program& program, const Page& page)
{
    db::Connection& connection = program.survey;
    FieldValues values;
    std::map<QString, std::unique_ptr<Record>> records;
    auto record = [&](const QString& table) -> const Record& {
        auto& slot = records[table];
        if (!slot)
            slot = std::make_unique<Record>(connection, table);
        return *slot;
    };
    int pkdVersion = 0;
    auto version = [&] {
        if (pkdVersion == 0)
            pkdVersion = storedPkdVersion(connection);
        return pkdVersion;
    };

    bool derived = false;
    form::ForEachControl(page, [&](const form::Row&, const Control& c) {
        if (isDerived(c)) {
            derived = true;
            return;
        }
        if (c.kind == ControlKind::ListButton) {
            const int count = ListCount(connection, c.listKind);
            values.text[c.name] = count >= 0 ? form::SummaryCaption(count) : form::InitialListCaption();
            return;
        }
        if (!c.binding.isStored())
            return;
        switch (c.binding.conversion) {
        case Conversion::DisciplineCodes:
            values.lines[c.name] = loadCodes(connection, c.binding.table, c.binding.field, DisciplineTable());
            break;
        case Conversion::PkdCodes:
            values.lines[c.name] = loadCodes(connection, c.binding.table, c.binding.field, PkdTable(version()));
            break;
        case Conversion::PkdVersion:
            values.checked[c.name] = c.caption.toInt() == version();
            break;
        default:
            loadScalar(program, c, record(c.binding.table), values);
            break;
        }
    });
    // Grids carry their table in the binding but no field, so they never reach the switch above.
    form::ForEachControl(page, [&](const form::Row&, const Control& c) {
        if (c.kind == ControlKind::Grid && !c.binding.isStored())
            loadGrid(connection, c, values);
    });

    if (derived) {
        form::ForEachControl(page, [&](const form::Row&, const Control& c) {
            if (c.name == QLatin1String("me361"))
                loadStaffTotals(record(kDetails), values);
            else if (c.name == QLatin1String("me8"))
                checks::SumPublicationLists(values);
            else if (c.name == QLatin1String("me1501"))
                checks::SumProjectLists(values);
            else if (c.name == QLatin1String("me1519_1"))
                CountLicences(connection, values);
        });
    }
    return values;
}

FieldValues LoadSection(Program& program, int tag)
{
    const form::PageRef ref = form::PageByTag(tag);
    if (!ref.page)
        throw Error(QStringLiteral("Nieznany numer sekcji: %1.").arg(tag));
    return LoadPage(program, *ref.page);
}

void StoreReportingYear(Program& program, const QString& year)
{
    db::Transaction transaction(program.survey);
    db::Table table(program.survey, kDetails, db::Table::Mode::ReadWrite);
    table.first();
    if (table.eof())
        table.append();
    else
        table.edit();
    table.setString(QStringLiteral("Rok_sprawozdawczy"), year);
    table.post();
    transaction.commit();
}

void StoreReportingYear(Program& program)
{
    StoreReportingYear(program, QString::number(program.state.ReportingYear));
}

void SaveSection(Program& program, int tag, const FieldValues& values)
{
    const form::PageRef ref = form::PageByTag(tag);
    if (!ref.page)
        throw Error(QStringLiteral("Nieznany numer sekcji: %1.").arg(tag));
    const Page& page = *ref.page;
    db::Connection& connection = program.survey;

    db::Transaction transaction(connection);
    writeScalars(connection, page, values);
    form::ForEachControl(page, [&](const form::Row&, const Control& c) {
        if (c.kind == ControlKind::Grid) {
            saveGrid(connection, c, values.grids.value(c.name));
        } else if (c.binding.conversion == Conversion::DisciplineCodes) {
            saveCodes(connection, c.binding.table, c.binding.field, DisciplineTable(), values.lines.value(c.name), {});
        } else if (c.binding.conversion == Conversion::PkdCodes) {
            const int version = values.checked.value(QStringLiteral("rb031")) ? 2004 : 2007;
            saveCodes(connection, c.binding.table, c.binding.field, PkdTable(version), values.lines.value(c.name),
                      version);
        }
    });
    // Every conversion has passed: the record of unsaved work goes to disk before the edit does.
    const bool recorded = RecordUnsavedWork(program.state);
    transaction.commit();
    SetDataSaved(program.state, false);
    if (!recorded)
        ReportUnwritableSettings(program);
}

std::vector<LoadedPage> LoadAllSections(Program& program, const LoadProgress& progress)
{
    std::vector<LoadedPage> pages;
    const auto& catalogue = form::FormCatalogue();
    const int total = static_cast<int>(catalogue.size());
    for (int s = 0; s < total; ++s) {
        if (progress)
            progress(s + 1, total, catalogue[s].chooserText);
        for (int p = 0; p < static_cast<int>(catalogue[s].pages.size()); ++p) {
            const Page& page = catalogue[s].pages[p];
            pages.push_back({s, p, &page, LoadPage(program, page)});
        }
    }
    return pages;
}

UnitIdentity LoadUnitIdentity(db::Connection& connection)
{
    Record record(connection, QStringLiteral("dane_podstawowe"));
    return {record.integer(QStringLiteral("id")), numbers::TrimBlanks(record.codePage(QStringLiteral("kod")))};
}

} // namespace vestrum
