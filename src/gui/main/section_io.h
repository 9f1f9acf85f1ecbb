#pragma once

#include "survey/field_values.h"

#include <vector>

class QWidget;

namespace vestrum {

class Program;
class ProgressWindow;
namespace form {
struct Page;
}

// The glue between the main window's widgets and section data. Widgets are found by their
// objectName, which is the control name of the form catalogue ("me51", "lb022", "sg9"…), anywhere
// under `root` (a page or the whole main window):
//   QLineEdit, QPlainTextEdit, QTextEdit      text (QLineEdit also takes the maximum length)
//   QComboBox                                 text of the chosen item ("" when none is chosen)
//   QListWidget                               chooser lines
//   ListGridView                                 grid rows (row 0 holds the headers)
//   QRadioButton                              checked
//   other buttons                             caption (list buttons)

// Reads the controls of one catalogue page into a snapshot.
FieldValues collectFieldValues(QWidget* root, const form::Page& page);

// Puts a snapshot into the widgets it names; controls it does not mention keep their state.
// A grid's first column is marked as the sort column ("* "), as after a load; when the version
// radio buttons of the classification page are set, its catalogue shows that version's codes.
void applyFieldValues(QWidget* root, const FieldValues& values);

// Hooks the exit checks onto the checked fields of `page` (all pages of the catalogue when
// `page` is null): when the focus leaves such a field the check runs; a refused value shows
// "Podana wartość jest nieprawidłowa" through Program::notify and the focus goes back to the
// field, which keeps what the user typed. An accepted value is rewritten in its standard form
// (and in section 3 the column and its total are recomputed). Read-only fields are not checked.
// The year drop-down "c000", when under `root`, sets ReportingYear as soon as its choice changes.
// Call it once per root, after the pages are built.
void installFieldChecks(QWidget* root, Program& program, const form::Page* page = nullptr);

// "zapisz zmiany" of the page with this section tag: collects the page, runs the checks of
// sections 3, 17 and 18 (message and focus on refusal), writes it in one transaction and shows a
// conversion or database error as a message. True when the page was stored; false leaves the
// page in edit mode.
bool saveSectionPage(QWidget* root, Program& program, int tag);

// "pomiń zmiany": reads the page back from the database and refits its grid.
void loadSectionPage(QWidget* root, Program& program, int tag);

// LoadAllSections behind the progress window "Wczytywanie danych" (one step per section, its
// label the section's chooser text) and the busy pointer, then fills every page under `root`.
// With `tags`, only the pages with those section tags are read: the ones the window has built.
// A database error leaves the controls as they were and is thrown on after the progress window
// is hidden and the pointer restored.
void loadAllSectionsInto(QWidget* root, Program& program, ProgressWindow& progress);
void loadAllSectionsInto(QWidget* root, Program& program, ProgressWindow& progress, const std::vector<int>& tags);

// Reads the pages with these section tags and fills them under `root`, all or none. Throws vestrum::Error.
void loadPagesInto(QWidget* root, Program& program, const std::vector<int>& tags);

// The classification version radio buttons were clicked: the chosen codes are emptied, the
// catalogue shows PkdTable(version) with its columns widened to their texts.
void applyPkdVersion(QWidget* root, int version);

// A list editor opened from the button with this tag stored its list: the button's caption
// becomes "liczba=" + count + " -> wykaz".
void setListCaption(QWidget* root, int buttonTag, int count);

// After the list editor opened from a list button closed, saved or not: the publication total
// (buttons 25..28) and the project total (13, 14) are recomputed from the captions, and after a
// saved licence list (169) the three licence counts are read again.
void afterListEditor(QWidget* root, Program& program, int buttonTag, bool saved);

} // namespace vestrum
