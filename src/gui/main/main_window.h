#pragma once

#include "survey/hint_table.h"
#include "program/program.h"
#include "gui/main/section_operations.h"
#include "program/startup.h"

#include <QMainWindow>
#include <QPointer>
#include <QMap>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QComboBox;
class QSplitter;
class QStackedWidget;
class QTabWidget;

namespace vestrum {

class HintsPanelWidget;
class SectionChooserWidget;
class SectionPageWidget;
class ProgressWindow;
class AboutWindow;
class LongTextWindow;

// The main window: owns the start-up and closing of the program and shows the survey, one of its
// 24 sections at a time, chosen in "Zakres danych:". Pages are built from the form catalogue;
// storing and reloading a page goes through SectionOperations.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Program& program, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start when the window is first shown. Returns false when the program must end (a database
    // that cannot be opened, or the update handed the program to the external updater); the reason
    // has then been shown to the user.
    bool startUp(const QStringList& arguments, const QString& programFolder);

    Program& program() { return program_; }
    ShellSteps& steps() { return steps_; }
    ProgressWindow& progress() { return *progress_; }
    AboutWindow& about(); // made when first needed

    // Closes the window without the closing questions (used when the start fails).
    void closeWithoutQuestions();

    // --- Survey pages -------------------------------------------------------------------------
    // The load/save routines; the default stores nothing. The window does not own them.
    // Sections built before are handed to the new operations at once.
    void setSectionOperations(SectionOperations& operations);
    void setHintTable(const HintTable& hints); // shows the current page's hint from it
    const HintTable& hintTable() const { return hints_; }

    // A page is built when it is first needed, the first page with the window; every accessor below
    // that hands out a page or a control builds it first, so callers never meet a missing page. The
    // page with a section tag (2..26, 100..104), and every page in catalogue order (which builds them
    // all).
    SectionPageWidget* pageByTag(int tag);
    const std::vector<SectionPageWidget*>& pages();
    // The page (or sub-page) of a section; sub-page 0 for single-page sections.
    SectionPageWidget* page(int sectionIndex, int subPageIndex = 0);
    SectionPageWidget* shownPage() const;
    SectionPageWidget* editingPage() const { return editing_; }
    // A control by name, its page built first.
    QWidget* control(const QString& name);

    // Whether the page with this tag is built, and the tags of the built pages in catalogue order.
    // A page built after the section operations were set is handed to SectionOperations::PageBuilt.
    bool pageBuilt(int tag) const;
    std::vector<int> builtPageTags() const;

    SectionChooserWidget* sectionChooser() const { return chooser_; }
    QStackedWidget* pageControl() const { return stack_; }
    QTabWidget* subPageControl(int sectionIndex);
    HintsPanelWidget* hintsPanel() const { return hints_panel_; }

    // Chooses section i as the user does in the chooser.
    void chooseSection(int index);
    // Shows a sub-page as a click on its tab does.
    void chooseSubPage(int sectionIndex, int subPageIndex);

    // The pending-edit check: when a page is in edit mode, asks message 3 and stores ("Tak") or
    // throws back (anything else) that page.
    void ConfirmPendingEdit();
    void EnterEditMode(SectionPageWidget* page);
    void LeaveEditMode(SectionPageWidget* page);
    void SetSectionEditable(SectionPageWidget* page, bool editable);
    // "zapisz zmiany" / "pomiń zmiany" of a page. Save returns false when the checks refused it.
    bool SavePage(SectionPageWidget* page);
    void DiscardPage(SectionPageWidget* page);
    void ShowHint(int number);

    // Applies the run state's font to the whole window and lays it out again.
    void applyUserFont();

    // --- Menu ------------------------------------------------------------------------------------
    // A menu entry by its caption ("Wczytaj dane", "Koniec"...), or null.
    QAction* menuAction(const QString& caption) const;
    // Gives an entry its command and enables it; entries marked so run ConfirmPendingEdit first.
    void setMenuCommand(const QString& caption, std::function<void()> command);

    static QString pendingEditQuestion();

signals:
    // The one closing path of the program (the window's close button, "Koniec", a close without questions):
    // the sequence has begun, so nothing new may start (a file handed over waits); the user decided to stay;
    // the window closes and the program ends.
    void closingStarted();
    void closingCancelled();
    void closingDone();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void enableMenuKeyboard();
    void buildPages();
    void prepareSection(int sectionIndex);
    SectionPageWidget* buildPage(int sectionIndex, int pageIndex);
    void showAbout();
    void connectPage(SectionPageWidget* page);
    void onSectionChosen(int index);
    void focusShownPage();
    void keepHintsLastInTabOrder();
    void pageShown(int index);
    void onSubPageChanged(int sectionIndex, int from, int to);
    void openGridEditor(SectionPageWidget* page);
    void openListButton(SectionPageWidget* page, int buttonTag);
    void showHintViewer();
    void refitShownGrid();
    void splitForHints();

    Program& program_;
    ShellSteps steps_;
    ProgressWindow* progress_;
    AboutWindow* about_ = nullptr;
    bool closingConfirmed_ = false;

    SectionOperations defaultOperations_;
    SectionOperations* operations_ = &defaultOperations_;
    HintTable hints_;
    SectionChooserWidget* chooser_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QSplitter* splitter_ = nullptr;
    HintsPanelWidget* hints_panel_ = nullptr;
    LongTextWindow* hintViewer_ = nullptr;
    QMap<int, QTabWidget*> subPages_;
    QMap<int, int> subPageIndex_;
    // Per section: what holds each of its pages (the section's place in the page control, or its
    // tabs' places), made when the section is first needed, and each page once built.
    std::vector<std::vector<QWidget*>> pageHolders_;
    std::vector<std::vector<SectionPageWidget*>> built_;
    std::vector<SectionPageWidget*> pages_; // the built pages in catalogue order
    std::optional<QVector<QPair<QString, QString>>> aboutVersions_; // for the about box not made yet
    bool userFontApplied_ = false;
    SectionPageWidget* editing_ = nullptr;
    int shownSection_ = 0;
    int shownHint_ = 0;
    bool hintsFollowWindow_ = true; // the panel keeps a quarter of the height until the user drags it
    QMap<QString, QAction*> actions_;
    QMap<QString, std::function<void()>> commands_;
};

} // namespace vestrum
