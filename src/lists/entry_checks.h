#pragma once

#include "lists/entry_pages.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

namespace vestrum::db {
class Connection;
}

// What the entry dialog decides without a window: the field checks, the science domains of the
// degree rights, and EntryForm, the values of one entry on its page, filled from a list row and
// written back into one.
namespace vestrum::lists {

struct Journal;

// --- degree-granting rights ---------------------------------------------------------------

struct ScienceDomain {
    int code = 0;
    QString name;            // genitive, as the dialog and the list show it
    QStringList disciplines; // genitive, in table order
};

// The 21 science domains in table order (code 10 is not used).
const std::vector<ScienceDomain>& ScienceDomains();
// Index into ScienceDomains() of the domain whose name equals `name` without regard to case; -1.
int FindScienceDomain(const QString& name);
// "w zakresie": each name followed by ";", each name once, in the order given.
QString JoinDisciplines(const QStringList& names);
// The names of a stored "w zakresie", blanks around each removed, empty pieces dropped.
QStringList SplitDisciplines(const QString& scope);

// --- checks on leaving a field ------------------------------------------------------------

QString InvalidValueMessage(); // "Podana wartość jest nieprawidłowa"
QString ApparatusMinimumMessage();
QString ContractMinimumMessage();

struct ExitCheck {
    bool ok = true;
    QString message; // shown in an information box when !ok
    QString text;    // the field's text afterwards (rewritten when accepted, as typed when refused)
};

// The check of one field when the focus leaves it. A blank text is never checked.
ExitCheck CheckOnExit(EntryCheck check, const QString& text, int reportingYear);

// Lines of the acceptance check.
QString EmptyFieldLine(const QString& caption); // Pole "caption" nie może być puste
QString UnsetChoiceLine(const QString& caption); // Pole "caption" nie może pozostać nieokreślone
// Pole "caption" może zawierać najwyżej N znaków (N and its noun agree: 1 znak, 4 znaki, 5 znaków)
QString TooLongLine(const QString& caption, int width);

// The distinct names of the conferences of kind 21 already saved (names differing only in letter
// case once, as first stored), in the Polish order of the list grids (kind 22 offers them).
// Throws vestrum::Error on a database failure.
QStringList StoredConferences(db::Connection& survey);

// --- one entry ----------------------------------------------------------------------------

// The values of one entry on the page of its kind, in the rows' tab order. Drop-downs hold their
// items and the chosen item; choosing an item runs what depends on it (the disciplines of a domain,
// the givers of an award, the description of another purchase source).
class EntryForm {
public:
    // `conferences`: the items after "- wybierz -" of kind 22's conference list.
    explicit EntryForm(int kind, const QStringList& conferences = {});

    int kind() const { return kind_; }
    int count() const { return static_cast<int>(fields_.size()); }
    const EntryField& field(int i) const { return fields_.at(static_cast<size_t>(i)); }
    const std::vector<EntryField>& fields() const { return fields_; }
    // The row of the kind's page that fills a table field / plays a role; -1 when there is none.
    int indexOfField(const QString& tableField) const;
    int indexOfRole(EntryRole role) const;

    // A new entry: empty texts, drop-downs on their first item, the points of the kind.
    void clear();
    // Changing an entry: every row takes the cell of the column it fills.
    void fill(const QStringList& cells);
    // The cells written back: the filled row (or a blank one) with every row's value in its column.
    QStringList row() const;

    // Text of a text row, the text of an editable drop-down, the chosen item of a drop-down list
    // ("" when nothing is chosen), or the joined checked items of a check list.
    QString text(int i) const;
    void setText(int i, const QString& text); // a drop-down list chooses the item equal to it
    const QStringList& items(int i) const;
    int chosen(int i) const; // -1 when nothing is chosen
    // The user chose an item of a drop-down (what depends on it follows).
    void choose(int i, int item);
    bool isChecked(int i, int item) const;
    void setChecked(int i, int item, bool checked);
    QStringList checkedItems(int i) const;

    bool isReadOnly(int i) const;
    bool isOptional(int i) const;

    // The check of row i on leaving it: accepted texts are rewritten in place.
    ExitCheck leave(int i, int reportingYear);

    struct Acceptance {
        QStringList lines; // one per failing row, in tab order
        std::vector<int> rows; // the failing row of each line
        int first = -1;    // the first failing row
        std::vector<int> widths; // checkWidths only: the declared width each line names
        bool ok() const { return lines.isEmpty(); }
        QString message() const { return lines.join(QLatin1Char('\n')); }
    };
    // The check of "zapamiętaj zmiany": every empty required row and every unset drop-down.
    Acceptance accept() const;
    // Every text row longer than the declared width of its table field (`widths` by field name,
    // as LoadList gives them). A stored text longer than its field is shown whole, so it is
    // refused here rather than cut where the user cannot see it.
    Acceptance checkWidths(const QMap<QString, int>& widths) const;

    // The journal found on the ministry's list (publications).
    void setListedJournal(const Journal& journal);

private:
    struct Value {
        QString text;
        QStringList items;
        int chosen = -1;
        std::vector<bool> checked;
        bool readOnly = false;
        bool optional = false;
    };
    Value& value(int i) { return values_.at(static_cast<size_t>(i)); }
    const Value& value(int i) const { return values_.at(static_cast<size_t>(i)); }
    void setItems(int i, QStringList items);
    void applyDependents(int i);

    int kind_;
    std::vector<EntryField> fields_;
    std::vector<Value> values_;
    QStringList cells_; // the row being changed, or empty
};

// The entry dialog's width check over the rows of a list about to be saved, the rule every writer of a list
// keeps: one line per text longer than its field's declared width (`widths` as LoadList gives them),
// "Pole "<nagłówek>" może zawierać najwyżej N znaków - wiersz R", R counted from 1 in `rows`. Blank rows are
// never saved and are skipped. Stops after `limit` lines.
QStringList TooLongCells(int kind, const std::vector<QStringList>& rows, const QMap<QString, int>& widths, int limit);

} // namespace vestrum::lists
