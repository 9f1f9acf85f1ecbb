#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

// The checks a list row must pass before imported text becomes part of a list: one table of rules
// for all 51 list kinds, walked by one checker. The text import runs it over the preview rows; the
// whole-survey check runs the same table over stored rows. Columns are counted from 0 here (the grid
// order of the list catalogue) and rows from 1, as the user sees them in the messages.
namespace vestrum::db {
class Connection;
}

namespace vestrum::importing {

enum class RuleType {
    Width, // no longer than the declared width of the column's field (void for a long-text field)
    Choice, // one of the listed values, blanks around it removed, letter case ignored
    Domain, // degree rights: one of the science domains
    Discipline, // degree rights: disciplines of the row's domain, checked only when the domain passed
    Integer, // optional sign and digits, within 32 bits; empty fails
    Year, // four digits, from `firstYear` to the reporting year
    Date, // exactly DD/MM/RRRR forming a real date
    Decimal, // a number with "," as decimal separator, as saving reads it; empty fails
};

struct ImportRule {
    int kind = -1;
    int column = -1; // grid column of the kind
    QString field; // table field of that column
    RuleType type = RuleType::Width;
    // The line without its row number, e.g. "Błędnie podana lub pusta data (...) w polu "Data uzyskania" - wiersz ";
    // a width line names the width of the database the rows are checked against.
    QString message;
    QStringList choices; // Choice: the listed values in their listed spelling
    int firstYear = 0; // Year
};

// The rules of one kind, in the order their lines appear within a row (column by column).
// Throws vestrum::Error for a number outside 0..50.
const std::vector<ImportRule>& ImportRules(int kind);

struct CheckContext {
    int reportingYear = 2008;
    // Declared widths by table field, for a database whose fields differ from the program's schema;
    // fields not named here take the schema's width.
    QMap<QString, int> widths;
};

// The context of a survey database: its reporting year as given and the widths its own fields declare.
CheckContext SurveyCheckContext(db::Connection& survey, int kind, int reportingYear);

// One failed rule of one row.
struct ImportFinding {
    int kind = -1;
    int row = 0; // 1 for the first data row
    int column = -1;
    QString message; // the whole line, row number included
    bool operator==(const ImportFinding&) const = default;
};

struct RowCheck {
    std::vector<ImportFinding> findings; // in rule order
    // The row as it is handed over: a passing choice cell takes the listed spelling; every other
    // cell is left exactly as it was.
    QStringList cells;
    bool ok() const { return findings.empty(); }
};

// Checks one row's cells (grid order) against every rule of the kind.
RowCheck CheckRowCells(int kind, const QStringList& cells, int row, const CheckContext& context);

// Checks rows 1.. in order. `handOver`, when given, receives the rows as CheckRowCells gives them.
std::vector<ImportFinding> CheckRows(int kind, const std::vector<QStringList>& rows, const CheckContext& context,
    std::vector<QStringList>* handOver = nullptr);

// The import's error text: for every finding a line break (CR LF) and its line; empty when none.
QString ImportErrorText(const std::vector<ImportFinding>& findings);

// The single checks, for callers that check a value outside a list row.
bool IsStrictDate(const QString& text); // DD/MM/RRRR, two digits, "/", two digits, "/", four digits, a real date
// Width of a list kind's column field in the program's schema; 0 when the field is unbounded.
int DeclaredWidth(int kind, int column);

} // namespace vestrum::importing
