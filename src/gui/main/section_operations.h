#pragma once

#include <optional>

class QWidget;

namespace vestrum {

// What the main window asks of the survey data when a page is stored, thrown back, or a list is
// edited. The window only decides *when*; the section load/save routines decide *what*.
//
// The default does nothing, so the window can be built and walked before the data routines are
// wired in: saving "succeeds" without writing, loading leaves the controls as they are, and the
// list editor does not open.
class SectionOperations {
public:
    virtual ~SectionOperations() = default;

    // "zapisz zmiany" of the page with this section tag. Runs the page's checks first (sections 17
    // and 18) and returns false when they refuse the save; nothing is written then and the page
    // stays in edit mode.
    virtual bool SaveSection(int /*tag*/) { return true; }

    // "pomiń zmiany": reads the page's stored answers back into its controls.
    virtual void LoadSection(int /*tag*/) {}

    // Opens the list editor on a list kind, modally. Returns the count to show on the list
    // button when the editor closed with "zapisz zmiany", nothing otherwise.
    virtual std::optional<int> OpenListEditor(int /*listKind*/) { return std::nullopt; }

    // After the list editor of a list button closed (saved or not): the derived totals
    // (publications, projects, licences) are recomputed here.
    virtual void AfterListEditor(int /*buttonTag*/, bool /*saved*/) {}

    // The classification version radio buttons were clicked (2004 or 2007).
    virtual void PkdVersionChosen(int /*version*/) {}

    // The page with this section tag was built into `holder` (the window builds a page when it is
    // first needed): its field checks are hooked and, once the sections have been loaded at start,
    // it reads its stored answers, so a page built late shows what the database holds.
    virtual void PageBuilt(int /*tag*/, QWidget* /*holder*/) {}
};

} // namespace vestrum
