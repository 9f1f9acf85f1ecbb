#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

// The 51 list kinds of the survey, described once as data. The list editor, the entry dialog,
// the XML exchange, the text import, the report and LoadList / SaveList all walk this catalogue;
// a list kind is a number 0..50 passed explicitly to whoever works on the list. It sits with the
// form catalogue because both read each other: the form's list buttons take their kind from here,
// and the five main-window grids take their columns from the form.
namespace vestrum::lists {

constexpr int ListKindCount = 51;

// How a cell travels between the grid and its field.
enum class CellFormat {
    Text,        // the field's text (Unicode, or through the code page when the field is one)
    Integer,     // shown in plain decimal, NULL as 0; written as trimmed text to an integer column, empty = NULL
    Amount,      // shown "%.2f" with ","; written as trimmed text to a number column, empty = NULL
    Points,      // publication points: shown "%.2f"; written parsed with "," and 0 when it does not parse
    FixedPoints, // monograph points: the kind's constant is shown, the field is written as 0
};

struct ListColumn {
    QString header;     // exactly as the grid shows it
    QString field;      // field of the kind's table
    CellFormat format = CellFormat::Text;
    bool trimOnLoad = false;
    bool trimOnSave = false;
    bool limited = false; // the declared width is the entry dialog's maximum length
    // A field surveys of earlier versions lack: read from them as empty, added to the table on a save.
    bool addedLater = false;
};

// A field the program fills by itself on every save ("lista" = "2009", monograph points = 0,
// the conference paper title of kinds without one).
struct ListConstant {
    QString field;
    QVariant value;
};

struct ListKindInfo {
    int kind = -1;
    int buttonTag = -1;        // tag of the section page's list button; -1 for main-window grids
    int section = 0;           // survey section whose page shows the list
    QString point;             // point of the section, e.g. "8.1.a", "pt 3"; empty when none
    QString fixedTitle;        // editor title; empty when it is copied from the main window (ListTitle)
    QString table;
    QString discriminatorField; // "grupa" / "rodzaj"; empty when the table holds this kind only
    QVariant discriminator;    // integer, or "dr" / "hab" for the degree rights
    std::vector<ListColumn> columns;
    std::vector<int> blankTest; // a row whose cells in these columns are all blank is not saved; empty = never skipped
    std::vector<ListConstant> constants;
    QString entryPage;         // caption of the entry-dialog page
    int importGroup = -1;      // lists with the same columns share it (the smallest kind of the group)
    bool mainWindowGrid = false; // kinds 0, 13, 14, 49, 50: edited in a grid of the section page
    int sectionTag = -1;       // main-window grids: the section tag whose save routine writes the table
    QString gridControl;       // main-window grids: the grid's control name (sg2, sg9, ...)
    bool countsDisciplines = false; // kinds 1, 2: the count is the number of granted disciplines
    int fixedPoints = 0;       // monographs: the points every row shows

    bool sharedTable() const { return !discriminatorField.isEmpty(); }
    QStringList headers() const;
    int columnIndex(const QString& field) const; // -1 when the kind has no such column
};

// The whole catalogue, indexed by kind.
const std::vector<ListKindInfo>& ListCatalogue();

// The kind's entry; throws vestrum::Error for a number outside 0..50.
const ListKindInfo& ListKindInfoOf(int kind);
bool isListKind(int kind);

// The editor's title: the fixed title, the label of the list's point on the section page, or for
// the main-window grids the section's item of the section chooser.
QString ListTitle(int kind);

// The kind a section page's list button opens (-1 for an unknown tag). Safe to call while the
// form catalogue is being built: it never reads the grids' columns.
int ListKindForButtonTag(int tag);

// The kinds of one import group, ascending.
std::vector<int> ImportGroupKinds(int group);

// Count shown on a list button for the rows written or read: the number of rows, or for the degree
// rights the number of disciplines (the ";" in each row's trimmed scope, a row without any counting one).
int DisciplineCount(const QString& scope);

} // namespace vestrum::lists
