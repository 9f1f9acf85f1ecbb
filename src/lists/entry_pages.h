#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

// The pages of the entry dialog ("Dane szczegółowe"), described once as data: one page per record
// shape, each a stack of field rows in tab order. A row names its caption (several change with the
// list kind), its input, whether it is required, optional or read-only, the list column it fills
// (by the column's table field, so the list catalogue stays the one source of the columns), the
// check run when the user leaves it and its drop-down items. The window builds itself from these
// pages and EntryForm (entry_checks.h) keeps the values of one entry.
namespace vestrum::lists {

enum class EntryInput {
    Line,           // single-line text
    Memo,           // multi-line text (Enter moves on; a double click opens the long-text editor)
    Choice,         // drop-down list with fixed items
    EditableChoice, // drop-down with items and free text
    CheckList,      // check list (the disciplines of the degree rights)
};

enum class EntryNeed { Required, Optional, ReadOnly };

// The check run when the focus leaves a field.
enum class EntryCheck {
    None,
    Integer,        // "Nakład", "Liczba procedur", "Rok wydania"
    ElectionYear,   // "Rok wyboru": 1930 .. the reporting year
    ProductionYear, // "Rok produkcji ": 1950 .. the reporting year
    Date,           // every caption ending in "(dd/mm/rrrr)"
    Amount,         // a decimal number, rewritten "%.2f"
    ContractValue,  // amount of at least 10000 (kind 27)
    ApparatusValue, // amount of at least 500000 (kind 50)
};

// Rows with behaviour of their own.
enum class EntryRole {
    Plain,
    Journal,             // publications: "Czasopismo"; Enter identifies the journal
    ListedJournal,       // publications: filled only from the ministry's journal list
    JournalPoints,       // publications: points of the listed journal
    Issn,                // publications: the journal's ISSN; Enter identifies the journal by it
    FixedPoints,         // monographs: the kind's constant points
    Domain,              // degree rights: the science domain
    Disciplines,         // degree rights: the domain's disciplines
    StoredConferences,   // kind 22: the conferences of kind 21 already saved
    AwardOrigin,         // awards: "krajowa" / "zagraniczna"
    AwardGiver,          // awards: the giver, items by origin
    PurchaseSource,      // apparatus: "Źródło zakupu"
    OtherPurchaseSource, // apparatus: editable and required only for "inne"
};

struct EntryField {
    int panel = 0; // the row's panel is "Panel<panel>", its input "e<panel>"; unique in the dialog
    QString caption;
    EntryInput input = EntryInput::Line;
    EntryNeed need = EntryNeed::Required;
    EntryCheck check = EntryCheck::None;
    QString field; // table field of the list column the row fills
    QStringList items;
    bool movesOnChoice = false; // choosing an item moves the focus to the next row
    EntryRole role = EntryRole::Plain;
    // Definition only: the kinds that show the row (empty: every kind of the page) and the
    // captions and items that differ by kind.
    std::vector<int> kinds;
    std::vector<std::pair<std::vector<int>, QString>> kindCaptions;
    std::vector<std::pair<std::vector<int>, QStringList>> kindItems;
    // Resolved for one kind: the grid column the row fills (-1 when the kind has none).
    int column = -1;

    QString panelName() const;
    QString inputName() const;
    bool shownFor(int kind) const;
    bool isChoice() const { return input == EntryInput::Choice || input == EntryInput::EditableChoice; }
};

struct EntryPage {
    QString caption;            // as the list catalogue names the kind's page ("publikacje")
    QString heading;            // a heading of its own; empty when the editor's title is shown
    std::vector<EntryField> fields; // every row of the page, for all its kinds
};

// The pages of the dialog, in the order they were laid out.
const std::vector<EntryPage>& EntryPages();
// Index into EntryPages() of the kind's page; throws vestrum::Error for an unknown kind.
int EntryPageIndexOf(int kind);
// The rows the kind shows, in tab order, with their captions, items and grid columns for the kind.
std::vector<EntryField> EntryFieldsFor(int kind);

// Heading above the fields: the editor's title, or the page's own heading for kinds 0, 13, 14, 49, 50.
QString EntryHeading(int kind);
// Text of the hints panel; empty when the page has none. "<br>" starts a new line.
QString EntryHint(int kind);

// First items of the drop-downs.
QString ChooseItem();       // "- wybierz -"
QString TypeItem();         // "- wpisz -"
QString ChooseOrTypeItem(); // "- wybierz lub wpisz -"
// "Przyznana przez" of a domestic award: "- wybierz lub wpisz -" and the givers of the kind (47, 48).
QStringList DomesticAwardGivers(int kind);
// The "Źródło zakupu" item that asks for a description of the source.
QString OtherSourceItem(); // "inne"

} // namespace vestrum::lists
