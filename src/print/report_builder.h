#pragma once

#include "lists/list_grid.h"
#include "program/program.h"
#include "print/report_entries.h"
#include "survey/field_values.h"

#include <QString>
#include <bitset>
#include <functional>
#include <vector>

// The survey report: the ticked entries turned into a flowing document of styled text runs, built
// from the page snapshots the main window shows (or the stored survey, headless) and the lists
// loaded as the list editor loads them. No widget is read; the print engine lays the runs out.
namespace vestrum::report {

enum class RunStyle { Regular, Italic, Bold, BoldItalic };

// A piece of 10-point body text in one style. Line breaks inside are "\r\n".
struct Run {
    QString text;
    RunStyle style = RunStyle::Regular;

    bool operator==(const Run&) const = default;
};

// The page set-up the report asks of the print engine.
struct ReportPageSetup {
    QString headerText;                              // "Vestrum za rok " + the reporting year
    QString headerFontFamily = QStringLiteral("Times New Roman");
    int headerPointSize = 9;
    bool headerBold = true;
    QString footerText = QStringLiteral("strona &p"); // "&p" becomes the page number
    QString footerFontFamily = QStringLiteral("Times New Roman");
    int footerPointSize = 8;
    bool footerBold = false;
    double headerHeightMm = 15;
    double footerHeightMm = 15;
    int headerRulePercent = 100;
    int footerRulePercent = 70;
    double marginLeftMm = 20, marginRightMm = 20, marginTopMm = 20, marginBottomMm = 20;
    int bodyPointSize = 10; // in the user's font
};

// Where a printed entry's output begins, as an offset into the runs' joined text. A parent is
// marked where its first printed part begins.
struct EntryStart {
    int entry = 0;
    qsizetype offset = 0;

    bool operator==(const EntryStart&) const = default;
};

struct ReportDocument {
    ReportPageSetup setup;
    std::vector<Run> runs;
    std::vector<EntryStart> entryStarts; // in document order
    // The paragraphs (by the offset they begin at) that go to the next page with the line after
    // them: headings, sub-headings and the blank lines that follow a heading.
    std::vector<qsizetype> keptWithNext;
    QString unitName; // the full name on the unit's data page, without surrounding blanks
    QString reportingYear;

    // The runs' text joined, as a reader of the printed page sees it.
    QString plainText() const;
};

using TickedEntries = std::bitset<kEntryCount>;

// Where the builder reads what it prints.
struct ReportSource {
    // The values a page shows: texts, chosen drop-down items, chooser lines, grid rows.
    std::function<FieldValues(int sectionIndex, int pageIndex)> page;
    // A list of this kind, loaded (and sorted) as the list editor shows it when it opens.
    std::function<lists::ListGrid(int listKind)> list;
};

// The stored survey as the main window would show it: each page loaded from the database, each list
// loaded and sorted on its first column as the list editor opens it.
ReportSource StoredSurvey(Program& program);

// Called before each ticked entry is written: the step (1..count of ticked entries) and the text
// of the entry's section (the parent's text for a part).
using ReportProgress = std::function<void(int step, int total, const QString& label)>;

ReportDocument BuildReport(const TickedEntries& ticked, const ReportSource& source, const QString& reportingYear,
                           const ReportProgress& progress = {});

// Ticking or clearing a parent gives all its parts the same state.
void SetEntry(TickedEntries& ticked, int entry, bool on);

// The entries of "--entries=0,5,11": a parent number ticks its parts. Returns false (and leaves
// `ticked` empty) when an item is not a number from 0 to 37.
bool ParseEntryList(const QString& text, TickedEntries& ticked);

} // namespace vestrum::report
