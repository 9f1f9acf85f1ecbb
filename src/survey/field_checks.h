#pragma once

#include "survey/field_values.h"

#include <QString>
#include <QStringList>

namespace vestrum {
class Program;
}

// The checks of the main window's form pages: each field is tested when the focus leaves it,
// sections 17 and 18 are tested as a whole before they are saved, and a few read-only fields
// are derived from others. Everything works on a page's FieldValues, so it runs without windows;
// the window glue (gui/main/section_io) shows the messages and moves the focus.
namespace vestrum::checks {

// "Podana wartość jest nieprawidłowa": the one message of a refused field.
QString RefusalMessage();

enum class FieldClass {
    Unchecked,          // not tested on exit
    WholeNumberOrEmpty, // me41, me61..me64, the section 7 counts, me86_1, me221
    Amount,             // two decimals, empty refused (sections 5, 17, 18, 19)
    StaffCount,         // section 3 columns 1 and 2: whole number, then the column total
    StaffAmount,        // section 3 columns 3 and 4: decimal, then the column and its total
    Date,               // e004, dd/mm/rrrr or empty
    PostalCode,         // e011, dd-ddd or empty
};

// The class of a control, from the form catalogue (read-only sums are never tested).
FieldClass ClassOf(const QString& control);

// The exit check of one field. True when the value is accepted; the field is then rewritten in
// its standard form in `values` (and, in section 3, its whole column and the column's total).
// False leaves `values` untouched: the caller shows RefusalMessage() and keeps the focus there.
bool CheckFieldExit(const QString& control, FieldValues& values);

// Section 3: "me3" + row + column. Rows 1..5 are typed, row 6 holds the column totals.
QString StaffField(int row, int column);
// Rewrites rows 1..5 of a column in their standard form (unreadable entries become 0) and puts
// their sum into row 6. Columns 1 and 2 are whole numbers, 3 and 4 amounts.
void RecomputeStaffColumn(FieldValues& values, int column);

// What a whole-page check found: the lines of its message and the control that gets the focus.
struct PageCheck {
    bool ok = true;
    QString message;  // one line per failing rule, joined by "\n"
    QString focus;    // control of the first failing rule
    QStringList lines;  // the lines of the message, one per failing rule
    QStringList fields; // the total of each failing rule, beside its line
};

// Section 17 ("Dane finansowe dotyczące działalności B+R") and section 18 ("Przychody ogółem"):
// each total must be at least the sum of its parts (most rules allow 0,01 of rounding). The
// labels quoted in the message are the page's own captions.
PageCheck CheckSection17(const FieldValues& values);
PageCheck CheckSection18(const FieldValues& values);

// What "zapisz zmiany" runs before the page is written: the checks of sections 17 (tag 18) and
// 18 (tag 19), which show their message, and for section 3 (tag 3) the recomputation of the
// four columns, which refuses the save when a column's first field is unreadable. `values` is
// updated with the recomputed texts, which the window shows again. When `ok` is false nothing
// may be written and `focus` names the field to focus.
PageCheck PrepareSave(Program& program, int tag, FieldValues& values);

// REGON (e003, e008): 9 digits with the weights 8 9 2 3 4 5 6 7, or 14 digits with the weights
// 2 4 8 5 0 9 7 3 6 1 2 4 8; the weighted sum mod 11 (10 counting as 0) is the last digit.
bool IsValidRegon(const QString& text);

// The count a list button's summary caption shows: "liczba=N -> wykaz" gives N, the caption
// before the first load ("wykaz (0 pozycji)") gives 0.
int CaptionCount(const QString& caption);

// me8 = the sum of the counts of the four publication list buttons (bb801..bb804).
void SumPublicationLists(FieldValues& values);
// me1501 = the sum of the counts of the two project list buttons (bb1501, bb1502).
void SumProjectLists(FieldValues& values);

// The version radio buttons of the classification page were clicked: the chosen codes are
// emptied (the database keeps them until the page is saved) and the version is recorded.
// The window replaces its catalogue with PkdTable(version).
void SwitchPkdVersion(FieldValues& values, int version);

} // namespace vestrum::checks
