#include "import/import_rules.h"

#include "base/error.h"
#include "base/number_format.h"
#include "lists/entry_checks.h"
#include "lists/entry_pages.h"
#include "lists/list_catalogue.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDate>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace vestrum::importing {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// The wordings of the lines; each ends where the row number follows.
QString outOfRange(const char* name)
{
    return S("Zawartość pola \"%1\" nie należy do zakresu stosowanego w tej klasyfikacji - wiersz ").arg(S(name));
}
QString notApproved(const char* name)
{
    return S("Zawartość pola \"%1\" nie należy do zakresu zatwierdzonego przez CKK - wiersz ").arg(S(name));
}
QString notYear(const char* name)
{
    return S("Nieprawidłowa zawartość pola \"%1\" (powinien być podany tylko rok) - wiersz ").arg(S(name));
}
QString notInteger(const char* name)
{
    return S("Nieprawidłowa zawartość pola \"%1\" (powinna być liczba całkowita) - wiersz ").arg(S(name));
}
QString notDecimal(const QString& name)
{
    return S("Nieprawidłowa zawartość pola \"%1\" (powinna być liczba z przecinkiem jako separatorem części "
             "ułamkowej) - wiersz ")
        .arg(name);
}
QString notDecimal(const char* name)
{
    return notDecimal(S(name));
}
QString badDate(const char* name)
{
    return S("Błędnie podana lub pusta data (powinna mieć format dd/mm/rrrr) w polu \"%1\" - wiersz ").arg(S(name));
}

// One line of the table: the kinds it applies to, the field it checks, the rule and its message.
struct Line {
    std::vector<int> kinds;
    const char* field;
    RuleType type;
    QString message;
    int firstYear = 0;
};

std::vector<int> range(int first, int last)
{
    std::vector<int> kinds;
    for (int k = first; k <= last; ++k)
        kinds.push_back(k);
    return kinds;
}

using T = RuleType;

// Rows of a kind keep the order of this table, which is the order of the lines within a row.
std::vector<Line> table()
{
    return {
        { { 1, 2 }, "nazwa_stopnia", T::Domain, notApproved("Nazwa stopnia") },
        { { 1, 2 }, "zakres", T::Discipline, notApproved("W zakresie") },
        { { 7 }, "grupa", T::Choice, outOfRange("Grupa czasopism") },
        { { 12 }, "rok_wydania", T::Integer, notYear("Rok wydania") },
        { { 12 }, "jezyk", T::Choice, outOfRange("Język") },
        { { 13 }, "Naklad", T::Integer, notInteger("Nakład") },
        { { 13 }, "Typ", T::Choice, outOfRange("Typ") },
        { { 14 }, "Data_wyboru", T::Year, notYear("Rok wyboru"), 1930 },
        { { 14 }, "Rodzaj_organizacji", T::Choice, outOfRange("Rodzaj organizacji") },
        { { 25, 26 }, "data_rozpoczecia", T::Date, badDate("Data rozpoczęcia") },
        { { 25, 26 }, "data_zakonczenia", T::Date, badDate("Data zakończenia") },
        // Costs of kind 25 are an amount; the applicant's share of kind 26 is one of three bands.
        { { 25 }, "naklady", T::Decimal, notDecimal("nakłady") },
        { { 26 }, "naklady", T::Choice, outOfRange("Udział wnioskodawcy") },
        { { 27 }, "wartosc", T::Decimal, notDecimal("Wartość") },
        { { 27 }, "data_rozpoczecia", T::Date, badDate("Data rozpoczęcia") },
        { { 27 }, "data_zakonczenia", T::Date, badDate("Data zakończenia") },
        { range(28, 32), "data", T::Date, badDate("Data opublikowania") },
        { { 29, 31, 32 }, "dokument", T::Choice, outOfRange("Rodzaj dokumentu") },
        { { 34, 35 }, "data", T::Date, badDate("Data zgłoszenia") },
        { { 36 }, "data", T::Date, badDate("Data uzyskania") },
        { { 37 }, "data", T::Date, badDate("Data zgłoszenia") },
        { { 38 }, "data", T::Date, badDate("Data uzyskania") },
        { { 39 }, "rodzaj", T::Choice, outOfRange("Zasięg") },
        { { 39 }, "data", T::Date, badDate("Data wprowadzenia") },
        { { 40 }, "Przychody_jednostki", T::Decimal, notDecimal("Przychody naukowej") },
        { { 40 }, "Przychody_wdrazajacego", T::Decimal, notDecimal("Przychody wdrażającej") },
        { { 41, 42 }, "data", T::Date, badDate("Data certyfikacji") },
        { { 43 }, "data", T::Date, badDate("Data uzyskania") },
        { { 44 }, "data", T::Date, badDate("Data uzyskania") },
        { { 45 }, "data", T::Date, badDate("Data sprzedaży") },
        { { 45 }, "oplata", T::Decimal, notDecimal("Wysokość opłaty") },
        { { 47, 48 }, "kraj_zagr", T::Choice, outOfRange("Krajowa/zagraniczna") },
        { { 49 }, "Liczba_procedur", T::Integer, notInteger("Liczba procedur") },
        { { 50 }, "Rok_produkcji", T::Year, notYear("Rok produkcji"), 1950 },
        { { 50 }, "Typ_wyposazenia", T::Choice, outOfRange("Typ wyposażenia") },
        { { 50 }, "Wartosc_brutto", T::Decimal, notDecimal("Wartość brutto") },
    };
}

// The values the entry dialog offers for the field, without its "- wybierz -" placeholders.
QStringList offeredValues(int kind, const QString& field)
{
    const QStringList placeholders { lists::ChooseItem(), lists::TypeItem(), lists::ChooseOrTypeItem() };
    for (const lists::EntryField& f : lists::EntryFieldsFor(kind)) {
        if (f.field.compare(field, Qt::CaseInsensitive) != 0)
            continue;
        QStringList values;
        for (const QString& item : f.items)
            if (!placeholders.contains(item))
                values << item;
        return values;
    }
    throw Error(QStringLiteral("Brak listy wartości pola %1 wykazu %2.").arg(field).arg(kind));
}

// Every column is held to the width of its field (a column without a bounded text field gets no
// rule), with the line the entry dialog shows for a text too long, after the column's other rules.
void addWidthRules(int kind, std::vector<ImportRule>& rules)
{
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    for (size_t c = 0; c < info.columns.size(); ++c) {
        const int width = DeclaredWidth(kind, static_cast<int>(c));
        if (width <= 0)
            continue;
        ImportRule rule;
        rule.kind = kind;
        rule.column = static_cast<int>(c);
        rule.field = info.columns[c].field;
        rule.type = T::Width;
        rule.message = lists::TooLongLine(info.columns[c].header, width) + S(" - wiersz ");
        rules.push_back(std::move(rule));
    }
    std::stable_sort(rules.begin(), rules.end(), [](const ImportRule& a, const ImportRule& b) {
        return a.column != b.column ? a.column < b.column : (a.type != T::Width && b.type == T::Width);
    });
}

std::array<std::vector<ImportRule>, lists::ListKindCount> buildRules()
{
    std::array<std::vector<ImportRule>, lists::ListKindCount> rules;
    for (const Line& line : table()) {
        for (int kind : line.kinds) {
            const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
            ImportRule rule;
            rule.kind = kind;
            rule.field = S(line.field);
            rule.column = info.columnIndex(rule.field);
            if (rule.column < 0)
                throw Error(QStringLiteral("Wykaz %1 nie ma pola %2.").arg(kind).arg(rule.field));
            rule.type = line.type;
            rule.message = line.message;
            rule.firstYear = line.firstYear;
            if (rule.type == T::Choice)
                rule.choices = offeredValues(kind, rule.field);
            rules[static_cast<size_t>(kind)].push_back(std::move(rule));
        }
    }
    for (int kind = 0; kind < lists::ListKindCount; ++kind)
        addWidthRules(kind, rules[static_cast<size_t>(kind)]);
    return rules;
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int twoDigits(const QString& text, int at)
{
    return text.at(at).digitValue() * 10 + text.at(at + 1).digitValue();
}

// The listed value equal to the trimmed text without regard to case; empty when none.
QString listedSpelling(const QStringList& values, const QString& text)
{
    const QString wanted = numbers::TrimBlanks(text);
    for (const QString& v : values)
        if (v.compare(wanted, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

// "w zakresie" holds one discipline as imported, or several each followed by ";" as stored:
// every name must belong to the domain. Gives the listed spellings, or empty when one fails.
std::optional<QString> listedDisciplines(const lists::ScienceDomain& domain, const QString& cell)
{
    if (!cell.contains(QLatin1Char(';'))) {
        const QString one = listedSpelling(domain.disciplines, cell);
        return one.isEmpty() ? std::nullopt : std::optional<QString>(one);
    }
    const QStringList names = lists::SplitDisciplines(cell);
    if (names.isEmpty())
        return std::nullopt;
    QStringList listed;
    for (const QString& name : names) {
        const QString one = listedSpelling(domain.disciplines, name);
        if (one.isEmpty())
            return std::nullopt;
        listed << one;
    }
    return lists::JoinDisciplines(listed);
}

int widthOf(const ImportRule& rule, const CheckContext& context)
{
    // Field names compare without regard to case, as the database engine compares them.
    for (auto it = context.widths.cbegin(); it != context.widths.cend(); ++it)
        if (it.key().compare(rule.field, Qt::CaseInsensitive) == 0)
            return *it;
    return DeclaredWidth(rule.kind, rule.column);
}

} // namespace

const std::vector<ImportRule>& ImportRules(int kind)
{
    static const auto rules = buildRules();
    lists::ListKindInfoOf(kind); // throws for an unknown kind
    return rules[static_cast<size_t>(kind)];
}

int DeclaredWidth(int kind, int column)
{
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    if (column < 0 || column >= static_cast<int>(info.columns.size()))
        return 0;
    const schema::TableDef* table = schema::findSurveyTable(info.table);
    if (table == nullptr)
        return 0;
    const QString& field = info.columns[static_cast<size_t>(column)].field;
    for (const schema::ColumnDef& c : table->columns) {
        if (c.name.compare(field, Qt::CaseInsensitive) != 0)
            continue;
        int size = 0;
        const db::FieldType type = db::fieldTypeFromDeclaration(schema::columnDeclaration(c), false, &size);
        const bool bounded = type == db::FieldType::UnicodeText || type == db::FieldType::CodePageText;
        return bounded ? size : 0;
    }
    return 0;
}

CheckContext SurveyCheckContext(db::Connection& survey, int kind, int reportingYear)
{
    CheckContext context;
    context.reportingYear = reportingYear;
    for (const db::FieldInfo& field : survey.tableFields(lists::ListKindInfoOf(kind).table))
        if (field.isText())
            context.widths.insert(field.name, field.size);
    return context;
}

bool IsStrictDate(const QString& text)
{
    if (text.size() != 10 || text.at(2) != QLatin1Char('/') || text.at(5) != QLatin1Char('/'))
        return false;
    for (int i : { 0, 1, 3, 4, 6, 7, 8, 9 })
        if (!isAsciiDigit(text.at(i)))
            return false;
    const int year = twoDigits(text, 6) * 100 + twoDigits(text, 8);
    return QDate::isValid(year, twoDigits(text, 3), twoDigits(text, 0));
}

RowCheck CheckRowCells(int kind, const QStringList& cells, int row, const CheckContext& context)
{
    RowCheck check;
    check.cells = cells;
    const int domainIndex = [&] {
        for (const ImportRule& rule : ImportRules(kind))
            if (rule.type == T::Domain)
                return lists::FindScienceDomain(numbers::TrimBlanks(cells.value(rule.column)));
        return -1;
    }();
    for (const ImportRule& rule : ImportRules(kind)) {
        const QString cell = cells.value(rule.column);
        QString listed; // the spelling a passing choice takes
        bool passed = false;
        switch (rule.type) {
        case T::Width: {
            // A cell that already failed its own rule is told once.
            const bool toldAlready = !check.findings.empty() && check.findings.back().column == rule.column;
            if (toldAlready)
                continue;
            const int width = widthOf(rule, context);
            if (width > 0 && check.cells.value(rule.column).size() > width)
                check.findings.push_back({ kind, row, rule.column,
                    lists::TooLongLine(lists::ListKindInfoOf(kind).columns[static_cast<size_t>(rule.column)].header,
                        width)
                        + S(" - wiersz ") + QString::number(row) });
            continue;
        }
        case T::Choice:
            listed = listedSpelling(rule.choices, cell);
            passed = !listed.isEmpty();
            break;
        case T::Domain:
            passed = domainIndex >= 0;
            if (passed)
                listed = lists::ScienceDomains()[static_cast<size_t>(domainIndex)].name;
            break;
        case T::Discipline: {
            if (domainIndex < 0)
                continue; // the domain's own line already tells
            const auto disciplines = listedDisciplines(lists::ScienceDomains()[static_cast<size_t>(domainIndex)], cell);
            passed = disciplines.has_value();
            listed = disciplines.value_or(QString());
            break;
        }
        case T::Integer:
            passed = numbers::ParseInteger(cell).has_value();
            break;
        case T::Year: {
            // Four digits and nothing else, as the field holds four characters: "+1999" is no year.
            const bool fourDigits = cell.size() == 4 && std::all_of(cell.cbegin(), cell.cend(), isAsciiDigit);
            const auto year = numbers::ParseInteger(cell);
            passed = fourDigits && year && *year >= rule.firstYear && *year <= context.reportingYear;
            break;
        }
        case T::Date:
            passed = IsStrictDate(cell);
            break;
        case T::Decimal: {
            const auto value = numbers::ParseDecimal(cell);
            passed = value && std::isfinite(*value);
            break;
        }
        }
        if (!passed) {
            check.findings.push_back({ kind, row, rule.column, rule.message + QString::number(row) });
        } else if (!listed.isEmpty() && rule.column < check.cells.size()) {
            check.cells[rule.column] = listed;
        }
    }
    return check;
}

std::vector<ImportFinding> CheckRows(
    int kind, const std::vector<QStringList>& rows, const CheckContext& context, std::vector<QStringList>* handOver)
{
    std::vector<ImportFinding> findings;
    if (handOver != nullptr) {
        handOver->clear();
        handOver->reserve(rows.size());
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        RowCheck check = CheckRowCells(kind, rows[r], static_cast<int>(r) + 1, context);
        findings.insert(findings.end(), check.findings.begin(), check.findings.end());
        if (handOver != nullptr)
            handOver->push_back(std::move(check.cells));
    }
    return findings;
}

QString ImportErrorText(const std::vector<ImportFinding>& findings)
{
    QString text;
    for (const ImportFinding& f : findings)
        text += QStringLiteral("\r\n") + f.message;
    return text;
}

} // namespace vestrum::importing
