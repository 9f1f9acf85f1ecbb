#pragma once

#include <QString>
#include <vector>

// The 38 entries of the survey report, as the selection window lists them. The form catalogue
// knows the sections and their pages; what it cannot say is kept here: which entries are parents
// grouping parts, how each entry's heading is formed and what body it prints.
namespace vestrum::report {

inline constexpr int kEntryCount = 38;

// What an entry prints below its heading.
enum class Body {
    Nothing,    // a parent: its parts print
    FieldRows,  // the rows of a form page
    Grid,       // a main-window grid
    ListBox,    // the chosen codes of a section 1 chooser
    MultiLine,  // the lines of a page's multi-line field
};

// How an entry's own heading is written.
enum class HeadingForm {
    Heading,            // the entry's text in bold
    PageCaption,        // section 1 parts: the page caption and ":" as a sub-heading
    ParentText,         // the laboratories: the heading is the parent's text
    OwnTextCapitalised, // the quality systems: the text without "  - ", first letter in upper case
    None,               // parts of sections 8 and 15: no heading of their own
};

struct ReportEntry {
    int index = 0;
    QString text;         // exactly as the selection window lists it
    int parent = -1;      // the entry this one is a part of, -1 for none
    int sectionIndex = 0; // 0..23, the main window's section
    int pageIndex = 0;    // the page of that section the entry prints
    Body body = Body::Nothing;
    HeadingForm heading = HeadingForm::Heading;
};

const std::vector<ReportEntry>& ReportEntries();

// The parts of a parent entry (0, 11, 22, 31), in order; empty for any other entry.
std::vector<int> PartsOf(int parent);

// The entry "Widoczny zakres danych" ticks for the page the main window shows, or -1 when that
// page prints nothing (the reporting-year page of section 1).
int EntryOfVisiblePage(int sectionIndex, int pageIndex);

} // namespace vestrum::report
