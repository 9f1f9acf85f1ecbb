#pragma once

#include "gui/main/section_operations.h"
#include "lists/journal_identification.h"

#include <memory>

namespace vestrum {

class DataCommands;
class Program;
class JournalSearchWindow;
class MainWindow;
class HelpWindow;
class EntryDialog;
class FontWindow;
class ListEditor;
class TextImportWindow;
class BibliographyImportWindow;
class UnmatchedJournalsWindow;

class ReportCommands;

// Connects the main window to the rest of the program: the section data behind its pages, the
// list editor with its entry dialog and journal search, the data-file commands, the font choice
// and the help. It is made once, right after the main window, and lives as long as it.
class ProgramWindows final : public SectionOperations {
public:
    ProgramWindows(Program& program, MainWindow& mainWindow);
    ~ProgramWindows() override;
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    bool SaveSection(int tag) override;
    void LoadSection(int tag) override;
    std::optional<int> OpenListEditor(int listKind) override;
    void AfterListEditor(int buttonTag, bool saved) override;
    void PkdVersionChosen(int version) override;
    void PageBuilt(int tag, QWidget* holder) override;

    // Made when first opened: building their pages (and the search window's reading of the journal
    // list) is a good part of a start.
    ListEditor& listEditor();
    EntryDialog& entryDialog();
    TextImportWindow& textImport();
    BibliographyImportWindow& bibliographyImport();
    JournalSearchWindow& journalSearch();
    UnmatchedJournalsWindow& unmatchedJournals();
    DataCommands& dataCommands() { return *data_; }
    lists::JournalList& journalList() { return journalList_; }

private:
    std::optional<int> openListEditor(int listKind);
    void plugShellSteps();
    void plugMenu();
    void plugListEditor();
    void loadAllSections();
    void chooseFont();
    FontWindow& fontWindow();

    Program& program_;
    MainWindow& main_;
    lists::JournalList journalList_;
    std::unique_ptr<DataCommands> data_;
    // Windows made when first opened, children of the main window (the help window excepted).
    ListEditor* listEditor_ = nullptr;
    EntryDialog* entryDialog_ = nullptr;
    JournalSearchWindow* journalSearch_ = nullptr;
    FontWindow* fontWindow_ = nullptr;
    HelpWindow* help_;
    TextImportWindow* textImport_ = nullptr;
    BibliographyImportWindow* bibliographyImport_ = nullptr;
    UnmatchedJournalsWindow* unmatched_ = nullptr;
    std::unique_ptr<ReportCommands> reports_;
    // Set by the first LoadAllSections: from then on a page built late reads its own answers.
    bool sectionsLoaded_ = false;
};

} // namespace vestrum
