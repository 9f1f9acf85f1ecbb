#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The survey's form, described once as data: the 24 sections of the main window, their pages
// and sub-pages, every row in tab order with its marker, label and controls, and where each
// control's answer lives in the survey database. The main window builds its pages from this;
// section loading and saving, the field checks, the report and the merge walk the same data.
namespace vestrum::form {

// What a control is on the page.
enum class ControlKind {
    Text,             // single-line code-page text
    UnicodeText,      // single-line Unicode text
    WholeNumber,      // single-line number field holding an integer
    Amount,           // single-line number field holding a two-decimal amount
    Sum,              // read-only number field derived on the window (totals, counts)
    DropDown,         // fixed-item drop-down list
    MultiLine,        // multi-line Unicode text
    ListButton,       // opens the list editor for its list kind; caption is the summary caption
    Grid,             // ListGridView of a main-window table (list kinds 0, 13, 14, 49, 50)
    ChosenList,       // list box of chosen codes (section 1 choosers)
    CatalogueList,    // two-column catalogue the codes are chosen from
    SearchField,      // search text of a chooser
    Button,           // plain push button (chooser "znajdź", "Dodaj", "Usuń")
    Radio,            // radio button (classification version)
};

// How a value travels between the control's text and its database field.
enum class Conversion {
    None,              // not stored (derived sums, chooser helpers)
    UnicodeText,       // Unicode both ways, as typed
    CodePageText,      // read trimmed; written trimmed through Windows-1250
    CodePageLong,      // read as stored; written trimmed through Windows-1250 (long text)
    CodePageLongAsIs,  // read as stored; written untrimmed through Windows-1250
    UnicodeLong,       // Unicode long text, as typed
    Integer,           // shown in plain decimal (NULL as 0); trimmed text to an integer column, empty = NULL
    IntegerAsText,     // shown as the stored text (NULL empty); written like Integer
    IntegerOrZero,     // shown like Integer; text that is not an integer is written as 0
    StrictInteger,     // shown like Integer; written by strict integer conversion (section 3 head counts)
    Amount,            // shown "%.2f" with ","; trimmed text to a number column, empty = NULL
    Choice,            // stored text selects the item equal to it, trimmed, ignoring case; chosen item's text stored
    ChoiceExact,       // like Choice but untrimmed and exact (voivodeship)
    ReportingYear,     // the year drop-down: Rok_sprawozdawczy, also sets ReportingYear
    DisciplineCodes,   // chosen list <-> dane_dyscypliny rows (code looked up in DisciplineTable)
    PkdCodes,          // chosen list <-> dane_pkd rows (code looked up in the version's PKD table)
    PkdVersion,        // version radio buttons <-> dane_pkd.rok
};

struct Binding {
    QString table;
    QString field;
    Conversion conversion = Conversion::None;

    bool isStored() const { return conversion != Conversion::None && !table.isEmpty(); }
};

// One column of a main-window grid: its header and its field in the grid's table.
struct GridColumn {
    QString header;
    Binding binding;
};

struct Control {
    QString name;
    ControlKind kind = ControlKind::Text;
    Binding binding;
    QStringList items;        // drop-down items
    QString caption;          // button / radio caption, or the chooser's catalogue headers joined by '|'
    int buttonTag = -1;       // list button tag, turned into the ListKind
    int listKind = -1;        // list kind of a list button or a grid
    std::vector<GridColumn> columns; // grid columns
    bool checked = false;     // radio button selected at start

    bool isNumber() const
    {
        return kind == ControlKind::WholeNumber || kind == ControlKind::Amount || kind == ControlKind::Sum;
    }
    bool isTextInput() const
    {
        return kind == ControlKind::Text || kind == ControlKind::UnicodeText || isNumber()
            || kind == ControlKind::MultiLine || kind == ControlKind::SearchField;
    }
};

// Row markers: what other modules (edit mode, focus, printing) make of a row.
enum RowMarker : int {
    ColumnCaptionRow = -1, // captions over the fields of the rows below
    OrdinaryRow = 0,
    LeftAloneRow = 1,      // untouched by SetSectionEditable (list buttons stay usable)
    NoteRow = 2,           // explanatory note, skipped by focus and printing
};

// How a row is laid out.
enum class RowLayout {
    Heading,        // label only, word-wrapped
    LabelAbove,     // label on top, field 4 px below and as wide as the row
    FieldsRight,    // number fields right-aligned, label takes the rest on the left
    ListButton,     // label on the left, list button on the right
    TallText,       // label on top, multi-line field below
    Captions,       // column captions right-aligned over the fields below
    Chooser,        // the whole discipline / PKD chooser
    Grid,           // one grid filling the page
};

struct Row {
    RowMarker marker = OrdinaryRow;
    RowLayout layout = RowLayout::Heading;
    QString label;
    QStringList captions;     // column captions of a caption row
    std::vector<Control> controls;
};

enum class PageKind { Form, Grid, List, Text, Chooser };

struct Page {
    QString title;            // sub-page caption; empty on single-page sections
    PageKind kind = PageKind::Form;
    QString editCaption;      // caption of the edit button; empty when the page has none
    int tag = -1;             // section tag of "zapisz zmiany" / "pomiń zmiany"; -1 when none
    int hint = 0;             // hint number shown with the page, 0 for none
    bool ownButtons = false;  // sections 22 and 24: their own save and discard operations
    std::vector<Row> rows;    // in tab order

    bool editable() const { return !editCaption.isEmpty(); }
};

struct Section {
    int number = 0;           // 1..24
    QString chooserText;      // item of the section chooser, exactly as shown
    QString pageName;         // "t0".."t23"
    QString subPageControl;   // "PageControl1".. for sections with sub-pages; empty otherwise
    int hint = 0;             // hint shown when the section page itself is shown
    std::vector<Page> pages;  // one page, or the sub-pages in order

    bool hasSubPages() const { return !subPageControl.isEmpty(); }
};

// The whole catalogue, built once.
const std::vector<Section>& FormCatalogue();

// The 24 items of the section chooser, trailing blanks included.
QStringList SectionChooserItems();

// Strings shared by the window and the other modules.
QString EditCaption();        // "wpisz/zmień dane"
QString EditListCaption();    // "dodaj, usuń lub zmień"
QString SaveCaption();        // "zapisz zmiany"
QString DiscardCaption();     // "pomiń zmiany"
QString InitialListCaption(); // "wykaz (0 pozycji)"
QString SummaryCaption(int count); // "liczba=N -> wykaz"

// Look-ups. Null when absent.
struct PageRef {
    const Section* section = nullptr;
    const Page* page = nullptr;
    int sectionIndex = -1;
    int pageIndex = -1;
};
PageRef PageByTag(int tag);
const Control* FindControl(const QString& name);
PageRef PageOfControl(const QString& name);

// Every section tag, in catalogue order (each once).
std::vector<int> SectionTags();

// The list kind a list button's tag opens (-1 for an unknown tag).
int ListKindForButtonTag(int tag);

// Visits every control of a page, in tab order.
template <typename F> void ForEachControl(const Page& page, F&& f)
{
    for (const Row& row : page.rows)
        for (const Control& control : row.controls)
            f(row, control);
}

} // namespace vestrum::form
