#include "gui/main/program_windows.h"

#include "gui/files/journal_list_import_window.h"

#include "base/error.h"
#include "survey/form_catalogue.h"
#include "gui/main/section_io.h"
#include "gui/main/main_window.h"
#include "gui/main/help_window.h"
#include "gui/main/font_window.h"
#include "gui/common/progress_window.h"
#include "gui/files/data_commands.h"
#include "survey/section_data.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "gui/lists/journal_search_window.h"
#include "gui/lists/entry_dialog.h"
#include "gui/lists/list_editor.h"
#include "gui/lists/unmatched_journals_window.h"
#include "gui/lists/xml_exchange_commands.h"
#include "gui/common/list_grid_view.h"
#include "gui/import/text_import_window.h"
#include "gui/import/bibliography_import_window.h"
#include "gui/common/file_picker.h"
#include "gui/lists/duplicate_choice_window.h"
#include "lists/publication_duplicates.h"
#include "gui/print/report_commands.h"
#include "gui/check/survey_check_window.h"

#include <QComboBox>

namespace vestrum {

ProgramWindows::ProgramWindows(Program& program, MainWindow& mainWindow)
    : program_(program), main_(mainWindow), journalList_(program.journals),
      data_(std::make_unique<DataCommands>(program, mainWindow.steps(), mainWindow.progress(), &mainWindow)),
      help_(new HelpWindow(program.state, nullptr))
{
    main_.setSectionOperations(*this);
    plugShellSteps();
    plugMenu();
    reports_ = std::make_unique<ReportCommands>(program_, main_);
    reports_->connectMenu();
}

ProgramWindows::~ProgramWindows()
{
    delete help_;
}

// --- Section data behind the pages -----------------------------------------------------------

bool ProgramWindows::SaveSection(int tag)
{
    main_.pageByTag(tag); // built before it is read
    return saveSectionPage(&main_, program_, tag);
}

void ProgramWindows::LoadSection(int tag)
{
    main_.pageByTag(tag);
    loadSectionPage(&main_, program_, tag);
}

void ProgramWindows::PageBuilt(int tag, QWidget* holder)
{
    installFieldChecks(holder, program_);
    if (!sectionsLoaded_)
        return; // the start's LoadAllSections fills it
    try {
        loadPagesInto(holder, program_, {tag});
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
    }
}

void ProgramWindows::AfterListEditor(int buttonTag, bool saved)
{
    afterListEditor(&main_, program_, buttonTag, saved);
}

void ProgramWindows::PkdVersionChosen(int version)
{
    applyPkdVersion(&main_, version);
}

std::optional<int> ProgramWindows::OpenListEditor(int listKind)
{
    try {
        return openListEditor(listKind);
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
        return std::nullopt;
    }
}

std::optional<int> ProgramWindows::openListEditor(int listKind)
{
    if (!lists::isListKind(listKind))
        return std::nullopt;
    const lists::ListKindInfo& info = lists::ListKindInfoOf(listKind);
    if (!info.mainWindowGrid)
        return listEditor().openKind(listKind) ? std::optional<int>(listEditor().count()) : std::nullopt;

    // A main-window grid is edited in the editor and stored by its section's own save routine.
    auto* grid = qobject_cast<ListGridView*>(main_.control(info.gridControl));
    if (grid == nullptr)
        return std::nullopt;
    const int tag = info.sectionTag;
    const form::PageRef ref = form::PageByTag(tag);
    auto saveSection = [this, tag, ref] {
        vestrum::SaveSection(program_, tag, collectFieldValues(&main_, *ref.page));
    };
    return listEditor().openGridKind(listKind, grid, saveSection) ? std::optional<int>(0) : std::nullopt;
}

// --- Start and close --------------------------------------------------------------------------

// The built pages are read now; the others read the database when they are built.
void ProgramWindows::loadAllSections()
{
    sectionsLoaded_ = true;
    try {
        loadAllSectionsInto(&main_, program_, main_.progress(), main_.builtPageTags());
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
    }
}

void ProgramWindows::plugShellSteps()
{
    ShellSteps& steps = main_.steps();
    steps.loadAllSections = [this] { loadAllSections(); };
    steps.openJournalView = [this] {
        // The table is checked now, so a missing list is reported at start as before; its records
        // are read when first needed (a search, an identification, an import).
        try {
            journalList_.openWithoutReading();
        } catch (const Error& error) {
            program_.notify(error.message(), 0, MessageKind::Error);
        }
    };
    steps.closeHelpWindows = [this] { help_->closeHelp(); };

    data_->setTitle = [this](const QString& title) { main_.setWindowTitle(title); };
    data_->showFirstSection = [this] {
        main_.chooseSection(0);
        main_.chooseSubPage(0, 0);
    };
    data_->chosenReportingYear = [this] {
        const auto* year = qobject_cast<QComboBox*>(main_.control(QStringLiteral("c000")));
        return year != nullptr ? year->currentText() : QString::number(program_.state.ReportingYear);
    };
    data_->installShellSteps();
}

// --- Menu -------------------------------------------------------------------------------------

void ProgramWindows::plugMenu()
{
    DataCommands* data = data_.get();
    const std::pair<const char*, void (DataCommands::*)()> dataCommands[] = {
        {"Nowa jednostka", &DataCommands::newUnit},
        {"Wczytaj dane", &DataCommands::loadData},
        {"Wczytaj dane jako dane startowe", &DataCommands::loadStartingData},
        {"Zapisz dane", &DataCommands::saveData},
        {"Zapisz dane jako ...", &DataCommands::saveDataAs},
        {"Zrób kopię zapasową danych", &DataCommands::backupCopy},
        {"Przywróć wcześniej zapisane dane", &DataCommands::restoreData},
        {"Utwórz punkt przywracania danych", &DataCommands::makeRestorePoint},
        {"Łączenie danych", &DataCommands::mergeData},
    };
    for (const auto& [caption, command] : dataCommands)
        main_.setMenuCommand(QString::fromUtf8(caption), [data, command = command] { (data->*command)(); });

    main_.setMenuCommand(QStringLiteral("Czcionka"), [this] { chooseFont(); });
    main_.setMenuCommand(QStringLiteral("Pomoc do programu"), [this] { help_->showHelp(); });
    new SurveyCheckCommands(program_, main_, [this]() -> ListEditor& { return listEditor(); }); // the main window's child
    new JournalListCommands(program_, main_); // the main window's child
}

void ProgramWindows::chooseFont()
{
    if (fontWindow().chooseFont())
        main_.applyUserFont();
}

FontWindow& ProgramWindows::fontWindow()
{
    if (!fontWindow_)
        fontWindow_ = new FontWindow(program_.state.UserFont, &main_);
    return *fontWindow_;
}

// --- List editor, entry dialog, journal search ----------------------------------------------

ListEditor& ProgramWindows::listEditor()
{
    if (!listEditor_) {
        listEditor_ = new ListEditor(program_, &main_);
        plugListEditor();
    }
    return *listEditor_;
}

UnmatchedJournalsWindow& ProgramWindows::unmatchedJournals()
{
    if (!unmatched_) {
        unmatched_ = new UnmatchedJournalsWindow(program_, &main_);
        unmatched_->setJournalSearch([this](const QString& title) {
            return journalSearch().chooseForEntry(QString(), title, listEditor().kind());
        });
    }
    return *unmatched_;
}

EntryDialog& ProgramWindows::entryDialog()
{
    if (!entryDialog_) {
        entryDialog_ = new EntryDialog(program_, &main_);
        entryDialog_->setJournalSearch(&journalList_, &journalSearch());
    }
    return *entryDialog_;
}

JournalSearchWindow& ProgramWindows::journalSearch()
{
    if (!journalSearch_)
        journalSearch_ = new JournalSearchWindow(program_, journalList_, &main_);
    return *journalSearch_;
}

TextImportWindow& ProgramWindows::textImport()
{
    if (!textImport_)
        textImport_ = new TextImportWindow(program_, journalList_, main_.progress(), &main_);
    return *textImport_;
}

BibliographyImportWindow& ProgramWindows::bibliographyImport()
{
    if (!bibliographyImport_)
        bibliographyImport_ = new BibliographyImportWindow(program_, journalList_, &main_);
    return *bibliographyImport_;
}

void ProgramWindows::plugListEditor()
{
    listEditor_->setEntryEditor([this](int kind, QStringList& cells) {
        // The declared widths, for the lists kept in a section grid too.
        try {
            entryDialog().setMaxLengths(lists::DeclaredWidths(program_.survey, kind));
        } catch (const Error& error) {
            program_.notify(error.message(), 0, MessageKind::Error);
            return false;
        }
        const bool adding = cells.isEmpty();
        if (!entryDialog().editEntry(kind, cells))
            return false;
        // A new publication that repeats one of the survey's is shown before it goes in.
        if (!adding)
            return true;
        const std::optional<std::vector<QStringList>> kept = RowsAfterDuplicateChoice(program_, *listEditor_, { cells });
        return kept && !kept->empty();
    });
    listEditor_->setToolCommand(ListEditor::Tool::GroupIdentification, [this](ListEditor& editor) {
        IdentifyJournalGroup(program_, editor, journalList_, unmatchedJournals(), journalSearch());
    });
    listEditor_->setToolCommand(ListEditor::Tool::UnmatchedJournals, [this](ListEditor& editor) {
        OfferUnmatchedJournals(program_, editor, journalList_, unmatchedJournals(), 0, true);
    });
    listEditor_->setAfterImport([this](ListEditor& editor, int firstImportedRow) {
        OfferUnmatchedJournals(program_, editor, journalList_, unmatchedJournals(), firstImportedRow, false);
    });
    new XmlExchangeCommands(program_, journalList_, *listEditor_); // the editor's child
    listEditor_->setToolCommand(ListEditor::Tool::TextImport,
                                [this](ListEditor& editor) { ImportTextIntoEditor(editor, textImport()); });
    listEditor_->setToolCommand(ListEditor::Tool::BibliographyImport, [this](ListEditor& editor) {
        ImportBibliographyIntoEditor(editor, bibliographyImport(), [this, &editor] {
            FilePicker picker(program_, &editor);
            picker.configure(QString::fromUtf8("Wskaż bibliografię (.bib, .ris, .json)"), QStringLiteral("*"),
                QString::fromUtf8("wczytaj"), false);
            return picker.choose() ? picker.selectedFile() : QString();
        });
    });
}

} // namespace vestrum
