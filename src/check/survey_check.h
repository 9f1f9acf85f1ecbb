#pragma once

#include "import/import_rules.h"
#include "lists/journal_matching.h"
#include "lists/list_grid.h"
#include "survey/section_data.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace vestrum {
class Program;
}

// The whole survey checked at once, over what is stored: the field checks of the section pages,
// the totals of sections 17 and 18, the entry dialog's checks over every row of every list (its
// exit checks, required fields and drop-downs), the declared widths, the text import's rule table,
// the editor's duplicate test, publications without a journal of the ministry's list and the
// unit's REGON. Every rule is the
// one the windows run; this module only walks the stored data through them and says where.
namespace vestrum::check {

enum class Severity { Error, Warning };

// "błąd" / "ostrzeżenie"
QString SeverityText(Severity severity);

struct Finding {
    Severity severity = Severity::Error;
    int section = 0; // 1..24: the section whose page shows the field or the list
    int listKind = -1; // -1: a field of the section page
    int row = 0; // lists: the data row from 1, in the editor's order; 0 for a page field
    int column = -1; // lists: the grid column, -1 for the whole row
    QString control; // page fields: the control ("e004", "me1801")
    QString field; // the field as the user knows it: its label or the list's column header
    QString message; // in Polish, what is wrong

    bool isError() const { return severity == Severity::Error; }
};

// Where a finding is: "sekcja 1" for a page field, "wykaz 25" for a list kind.
QString PlaceText(const Finding& finding);
// One line of `vestrum-cli survey check`: severity, place, row (empty for a page field), field,
// message, tab-separated; tabs and line breaks inside a text become blanks.
QString FindingLine(const Finding& finding);

// A list as the editor shows it: rows sorted by the first column, the declared widths of its
// width-limited fields by field name.
struct StoredList {
    int kind = -1;
    lists::ListGrid grid;
    QMap<QString, int> widths;
};

// Everything a check needs, read from the survey database.
struct StoredSurvey {
    std::vector<LoadedPage> pages;
    std::vector<StoredList> lists; // every kind kept in a table of its own (not the main-window grids)
    QStringList conferences; // the conferences of kind 21 kind 22 may name
    QMap<QString, QString> storedChoices; // the stored text of each drop-down of the pages, by control
    std::vector<importing::CheckContext> importContexts; // by list kind: the reporting year, the widths
    int reportingYear = 2008;
    // The journal list, when one is open: a publication without a journal is told its nearest one.
    std::shared_ptr<const lists::JournalMatcher> journals;
};

// Reads every section and every list. Throws vestrum::Error on a database failure.
StoredSurvey ReadSurvey(Program& program);

// The findings, by section, then page fields before lists, lists by kind, rows in order.
std::vector<Finding> CheckSurvey(const StoredSurvey& survey);

// Checks one list's rows (also the rows of a main-window grid); the reporting year is the context's.
// `journals` (may be null) names the nearest journal of the list to a publication that has none.
std::vector<Finding> CheckListRows(int kind, const lists::ListGrid& grid, const QMap<QString, int>& widths,
    const QStringList& conferences, const importing::CheckContext& context,
    const lists::JournalMatcher* journals = nullptr);

int ErrorCount(const std::vector<Finding>& findings);
int WarningCount(const std::vector<Finding>& findings);

} // namespace vestrum::check
