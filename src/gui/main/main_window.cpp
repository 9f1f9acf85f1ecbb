#include "gui/main/main_window.h"

#include "base/error.h"
#include "survey/form_catalogue.h"
#include "gui/main/chooser.h"
#include "gui/common/hints_panel.h"
#include "gui/common/keyboard_rules.h"
#include "gui/main/section_chooser.h"
#include "gui/main/section_page.h"
#include "gui/main/about_window.h"
#include "gui/common/long_text_window.h"
#include "gui/common/progress_window.h"
#include "gui/common/user_font.h"
#include "gui/common/list_grid_view.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace vestrum {
namespace {

// Pages whose "zapisz zmiany" / "pomiń zmiany" leave the edit mode alone: they have none.
bool hasNoEditMode(int tag) { return tag == 1 || tag == 10 || tag == 11 || tag == 21 || tag == 22; }

// Sections whose page is a grid, refitted whenever the page is shown.
bool isGridSection(int index) { return index == 1 || index == 8 || index == 9 || index == 20; }

// Whether a version radio button was already selected when the user pressed it.
constexpr char kWasCheckedProperty[] = "wasChecked";

} // namespace

MainWindow::MainWindow(Program& program, QWidget* parent)
    : QMainWindow(parent), program_(program), progress_(new ProgressWindow(this))
{
    setObjectName(QStringLiteral("MainWindow"));
    InstallKeyboardRules(); // the keyboard and screen-reader habits of every window of the program
    setWindowTitle(QStringLiteral("Vestrum"));
    // The user's font starts as a copy of the window's own.
    program_.state.UserFont = {font().family(), font().pointSize() > 0 ? font().pointSize() : 12};
    steps_.confirmPendingEdit = [this] { ConfirmPendingEdit(); };
    hints_ = HintTable::load();
    buildMenu();
    buildPages();
    resize(1024, 720);
}

MainWindow::~MainWindow() = default;

QString MainWindow::pendingEditQuestion()
{
    return QString::fromUtf8("Dane widoczne na ekranie zostały zmienione.\nUwaga! Nie zapisane zmiany zostaną "
                             "utracone.\nCzy chcesz zapisać zmiany?");
}

AboutWindow& MainWindow::about()
{
    if (!about_) {
        about_ = new AboutWindow(this);
        if (aboutVersions_)
            about_->setVersions(*aboutVersions_);
    }
    return *about_;
}

void MainWindow::showAbout()
{
    AboutWindow& window = about();
    // Made after the start, it has not had the user's font from the window's.
    if (userFontApplied_)
        ApplyUserFont(&window, program_.state.UserFont);
    window.exec();
}

void MainWindow::buildPages()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    auto* bar = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Zakres danych:"), central);
    chooser_ = new SectionChooserWidget(central);
    bar->addWidget(label);
    bar->addWidget(chooser_, 1);
    layout->addLayout(bar);

    splitter_ = new QSplitter(Qt::Vertical, central);
    splitter_->setObjectName(QStringLiteral("Splitter1"));
    splitter_->setChildrenCollapsible(false);
    stack_ = new QStackedWidget(splitter_);
    stack_->setObjectName(QStringLiteral("PageControl"));
    // It takes the focus only to end the edit of a field (onSectionChosen), never from Tab, and it
    // is named by the section it shows for when it holds the focus.
    stack_->setFocusPolicy(Qt::NoFocus);
    hints_panel_ = new HintsPanelWidget(splitter_);
    splitter_->addWidget(stack_);
    splitter_->addWidget(hints_panel_);
    splitter_->setStretchFactor(0, 3);
    splitter_->setStretchFactor(1, 1);
    connect(splitter_, &QSplitter::splitterMoved, this, [this] { hintsFollowWindow_ = false; });
    layout->addWidget(splitter_, 1);
    setCentralWidget(central);

    // Each section has its place in the page control from the start; its pages are built into it when
    // first needed (buildPage), the first page now, so it is there at the first paint.
    const auto& catalogue = form::FormCatalogue();
    for (const form::Section& section : catalogue) {
        auto* holder = new QWidget;
        holder->setObjectName(section.pageName);
        auto* v = new QVBoxLayout(holder);
        v->setContentsMargins(0, 0, 0, 0);
        pageHolders_.push_back({holder});
        built_.emplace_back();
        stack_->addWidget(holder);
    }
    buildPage(0, 0);
    // Two pages the user never sees; the first stands in while the font is applied.
    for (const char* name : {"tEmpty", "tSpare"}) {
        auto* spare = new QWidget;
        spare->setObjectName(QString::fromLatin1(name));
        stack_->addWidget(spare);
    }

    connect(chooser_, &QComboBox::currentIndexChanged, this, &MainWindow::onSectionChosen);
    MoveOnAfterListChoice(chooser_, [this] { focusShownPage(); });
    chooser_->installEventFilter(this); // Enter moves on to the page
    connect(hints_panel_, &HintsPanelWidget::closeClicked, this, [this] {
        program_.state.Flags.setFlag(MessageFlags::HintsFlag, 0);
        hints_panel_->hide();
    });
    connect(hints_panel_, &HintsPanelWidget::textDoubleClicked, this, &MainWindow::showHintViewer);

    // At start: section 1 on "Rok sprawozdawczy", in view mode.
    stack_->setCurrentIndex(0);
    stack_->setAccessibleName(chooser_->itemText(0).simplified());
    ShowHint(HintForPage(0, 0));
}

void MainWindow::setHintTable(const HintTable& hints)
{
    hints_ = hints;
    ShowHint(shownHint_);
}

void MainWindow::connectPage(SectionPageWidget* page)
{
    connect(page, &SectionPageWidget::editClicked, this, &MainWindow::EnterEditMode);
    connect(page, &SectionPageWidget::saveClicked, this, [this](SectionPageWidget* p) { SavePage(p); });
    connect(page, &SectionPageWidget::discardClicked, this, &MainWindow::DiscardPage);
    connect(page, &SectionPageWidget::listButtonClicked, this, &MainWindow::openListButton);
    connect(page, &SectionPageWidget::gridDoubleClicked, this, &MainWindow::openGridEditor);
    if (CodeChooserWidget* chooser = page->chooser())
        chooser->notify = [this](const QString& text) { program_.notify(text); };
    if (page->tag() == 104) {
        for (const char* name : {"rb031", "rb032"}) {
            auto* radio = qobject_cast<QAbstractButton*>(page->control(QString::fromLatin1(name)));
            const int version = qstrcmp(name, "rb031") == 0 ? 2004 : 2007;
            // Only a real change of version empties the chosen codes: a click on the version
            // already shown changes nothing. A click and the keyboard both press first.
            connect(radio, &QAbstractButton::pressed, radio,
                    [radio] { radio->setProperty(kWasCheckedProperty, radio->isChecked()); });
            connect(radio, &QAbstractButton::clicked, this, [this, radio, version] {
                if (!radio->property(kWasCheckedProperty).toBool())
                    operations_->PkdVersionChosen(version);
            });
        }
    }
}

void MainWindow::setSectionOperations(SectionOperations& operations)
{
    operations_ = &operations;
    for (const auto& section : built_)
        for (SectionPageWidget* page : section)
            if (page)
                operations_->PageBuilt(page->tag(), page->parentWidget());
}

bool MainWindow::pageBuilt(int tag) const
{
    return std::any_of(pages_.begin(), pages_.end(), [tag](const SectionPageWidget* p) { return p->tag() == tag; });
}

std::vector<int> MainWindow::builtPageTags() const
{
    std::vector<int> tags;
    for (const SectionPageWidget* page : pages_)
        tags.push_back(page->tag());
    return tags;
}

// A section with sub-pages gets its tabs, each holding the place of a page not built yet.
void MainWindow::prepareSection(int sectionIndex)
{
    const auto index = static_cast<size_t>(sectionIndex);
    if (!built_[index].empty())
        return;
    const form::Section& section = form::FormCatalogue()[index];
    built_[index].assign(section.pages.size(), nullptr);
    if (!section.hasSubPages())
        return;
    QWidget* holder = pageHolders_[index].front();
    auto* tabs = new QTabWidget(holder);
    tabs->setObjectName(section.subPageControl);
    tabs->setAccessibleName(form::SectionChooserItems().value(sectionIndex).simplified());
    pageHolders_[index].clear();
    for (const form::Page& p : section.pages) {
        auto* place = new QWidget;
        auto* v = new QVBoxLayout(place);
        v->setContentsMargins(0, 0, 0, 0);
        tabs->addTab(place, p.title);
        pageHolders_[index].push_back(place);
    }
    subPages_.insert(sectionIndex, tabs);
    subPageIndex_.insert(sectionIndex, 0);
    connect(tabs, &QTabWidget::currentChanged, this, [this, sectionIndex](int to) {
        buildPage(sectionIndex, to);
        const int from = subPageIndex_.value(sectionIndex);
        subPageIndex_[sectionIndex] = to;
        onSubPageChanged(sectionIndex, from, to);
    });
    holder->layout()->addWidget(tabs);
}

SectionPageWidget* MainWindow::buildPage(int sectionIndex, int pageIndex)
{
    const auto& catalogue = form::FormCatalogue();
    if (sectionIndex < 0 || sectionIndex >= static_cast<int>(catalogue.size()))
        return nullptr;
    const auto index = static_cast<size_t>(sectionIndex);
    const form::Section& section = catalogue[index];
    if (pageIndex < 0 || pageIndex >= static_cast<int>(section.pages.size()))
        return nullptr;
    prepareSection(sectionIndex);
    SectionPageWidget*& slot = built_[index][static_cast<size_t>(pageIndex)];
    if (slot)
        return slot;
    QWidget* holder = pageHolders_[index][static_cast<size_t>(pageIndex)];
    slot = new SectionPageWidget(section, section.pages[static_cast<size_t>(pageIndex)], holder);
    SectionPageWidget* page = slot;
    holder->layout()->addWidget(page);
    connectPage(page);
    pages_.clear();
    for (const auto& sectionPages : built_)
        for (SectionPageWidget* p : sectionPages)
            if (p)
                pages_.push_back(p);
    // A page built after the start gets the user's font the others got then.
    if (userFontApplied_)
        ApplyUserFont(holder, program_.state.UserFont, [](QTableView* view) {
            if (auto* grid = qobject_cast<ListGridView*>(view))
                FitGridColumns(grid);
        });
    operations_->PageBuilt(page->tag(), holder);
    keepHintsLastInTabOrder();
    return page;
}

// Pages are built when first needed, so their controls join the Tab order after the hints panel;
// the panel is put back after them, as it sits below the page.
void MainWindow::keepHintsLastInTabOrder()
{
    QWidget* close = hints_panel_->closeButton();
    QWidget* text = hints_panel_->textField();
    QWidget* last = previousInFocusChain();
    while (last == close || last == text)
        last = last->previousInFocusChain();
    QWidget::setTabOrder(last, close);
    QWidget::setTabOrder(close, text);
}

SectionPageWidget* MainWindow::pageByTag(int tag)
{
    const form::PageRef ref = form::PageByTag(tag);
    if (!ref.page)
        return nullptr;
    return page(ref.sectionIndex, ref.pageIndex);
}

const std::vector<SectionPageWidget*>& MainWindow::pages()
{
    const auto& catalogue = form::FormCatalogue();
    for (int s = 0; s < static_cast<int>(catalogue.size()); ++s)
        for (int p = 0; p < static_cast<int>(catalogue[static_cast<size_t>(s)].pages.size()); ++p)
            buildPage(s, p);
    return pages_;
}

SectionPageWidget* MainWindow::page(int sectionIndex, int subPageIndex)
{
    return buildPage(sectionIndex, subPageIndex);
}

SectionPageWidget* MainWindow::shownPage() const
{
    const int s = stack_->currentIndex();
    if (s < 0 || s >= static_cast<int>(built_.size()) || built_[static_cast<size_t>(s)].empty())
        return nullptr; // the stand-in pages
    const QTabWidget* tabs = subPages_.value(s);
    const int p = tabs ? tabs->currentIndex() : 0;
    const auto& sectionPages = built_[static_cast<size_t>(s)];
    return p >= 0 && p < static_cast<int>(sectionPages.size()) ? sectionPages[static_cast<size_t>(p)] : nullptr;
}

QWidget* MainWindow::control(const QString& name)
{
    if (name.isEmpty())
        return nullptr;
    const form::PageRef ref = form::PageOfControl(name);
    if (ref.page)
        buildPage(ref.sectionIndex, ref.pageIndex);
    if (QWidget* found = stack_->findChild<QWidget*>(name))
        return found;
    // Names outside the catalogue's controls (the pages' own buttons): every page is looked at.
    pages();
    return stack_->findChild<QWidget*>(name);
}

QTabWidget* MainWindow::subPageControl(int sectionIndex)
{
    if (sectionIndex >= 0 && sectionIndex < static_cast<int>(built_.size()))
        prepareSection(sectionIndex);
    return subPages_.value(sectionIndex);
}

void MainWindow::chooseSection(int index)
{
    chooser_->setCurrentIndex(index);
}

void MainWindow::chooseSubPage(int sectionIndex, int subPageIndex)
{
    if (QTabWidget* tabs = subPageControl(sectionIndex))
        tabs->setCurrentIndex(subPageIndex);
}

// The first control of the page in view a Tab from the chooser would reach.
void MainWindow::focusShownPage()
{
    for (QWidget* w = chooser_->nextInFocusChain(); w && w != chooser_; w = w->nextInFocusChain())
        if (stack_->isAncestorOf(w) && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)
            && !w->focusProxy()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    stack_->setFocus();
}

void MainWindow::onSectionChosen(int index)
{
    if (index < 0 || index >= 24)
        return;
    // Ends the edit of the current field first; a chooser with the focus has none, and keeps the
    // focus while the arrows go through the sections.
    if (!chooser_->hasFocus())
        stack_->setFocus();
    ConfirmPendingEdit();
    // The page the section shows first is built before it is shown.
    buildPage(index, index == 0 || index == 7 || index == 14 || index == 19 ? 0 : subPageIndex_.value(index));
    stack_->setCurrentIndex(index);
    stack_->setAccessibleName(chooser_->itemText(index).simplified());
    shownSection_ = index;
    pageShown(index);

    auto showFirstSubPage = [this, index](bool runChange) {
        QTabWidget* tabs = subPages_.value(index);
        const int from = subPageIndex_.value(index);
        {
            const QSignalBlocker blocker(tabs);
            tabs->setCurrentIndex(0);
        }
        subPageIndex_[index] = 0;
        if (runChange)
            onSubPageChanged(index, from, 0);
    };
    switch (index) {
    case 0:
    case 7:
    case 19:
        showFirstSubPage(true);
        break;
    case 14:
        showFirstSubPage(false);
        break;
    case 2: case 3: case 4: case 5: case 6: case 16: case 17: case 18: case 21: case 22: case 23:
        LeaveEditMode(page(index));
        break;
    default:
        break;
    }
}

void MainWindow::pageShown(int index)
{
    if (isGridSection(index))
        FitGridColumns(page(index)->grid());
    ShowHint(HintForPage(index));
}

void MainWindow::onSubPageChanged(int sectionIndex, int from, int to)
{
    SectionPageWidget* left = page(sectionIndex, from < 0 ? 0 : from);
    SectionPageWidget* shown = page(sectionIndex, to);
    // Before the change: a page left in edit mode is stored or thrown back. On sections 8 and 20
    // only the sub-page with an edit mode acts on the answer.
    const int editableSubPage = sectionIndex == 7 ? 3 : sectionIndex == 19 ? 1 : -1;
    if (sectionIndex != 14 && program_.state.PendingEdit) {
        program_.state.PendingEdit = false;
        const bool yes = program_.ask(pendingEditQuestion(), 3);
        SectionPageWidget* target = editing_ ? editing_ : left;
        const bool acts = sectionIndex == 0 || (target && target == page(sectionIndex, editableSubPage));
        if (target && acts) {
            if (!yes || !SavePage(target))
                DiscardPage(target);
        }
    }
    switch (sectionIndex) {
    case 0:
        LeaveEditMode(shown);
        shown->updateGeometry();
        program_.state.PendingEdit = false;
        ShowHint(shown->page().hint);
        break;
    case 7:
        if (to == 3)
            LeaveEditMode(shown);
        ShowHint(shown->page().hint);
        break;
    case 14:
        ShowHint(shown->page().hint);
        break;
    case 19:
        if (to == 0)
            FitGridColumns(shown->grid());
        else
            LeaveEditMode(shown);
        ShowHint(0);
        break;
    default:
        break;
    }
}

void MainWindow::ConfirmPendingEdit()
{
    RunState& state = program_.state;
    if (!state.PendingEdit)
        return;
    state.PendingEdit = false;
    const bool yes = program_.ask(pendingEditQuestion(), 3);
    SectionPageWidget* target = editing_ ? editing_ : shownPage();
    if (!target || !target->page().editable())
        return;
    // A save refused by its checks has shown why; the page then returns to its stored values
    // rather than staying editable without a pending edit.
    if (!yes || !SavePage(target))
        DiscardPage(target);
}

void MainWindow::EnterEditMode(SectionPageWidget* page)
{
    if (!page)
        return;
    if (page->page().kind == form::PageKind::Grid) {
        openGridEditor(page);
        return;
    }
    if (editing_ && editing_ != page)
        ConfirmPendingEdit();
    page->enterEditMode();
    program_.state.PendingEdit = true;
    editing_ = page;
}

void MainWindow::LeaveEditMode(SectionPageWidget* page)
{
    if (!page || page->page().kind == form::PageKind::Grid)
        return;
    page->leaveEditMode();
    if (editing_ == page)
        editing_ = nullptr;
}

void MainWindow::SetSectionEditable(SectionPageWidget* page, bool editable)
{
    if (page)
        page->setEditable(editable);
}

bool MainWindow::SavePage(SectionPageWidget* page)
{
    const int tag = page->tag();
    if (!operations_->SaveSection(tag))
        return false; // the checks said why; the page stays in edit mode
    if (!hasNoEditMode(tag))
        LeaveEditMode(page);
    program_.state.PendingEdit = false;
    if (editing_ == page)
        editing_ = nullptr;
    return true;
}

void MainWindow::DiscardPage(SectionPageWidget* page)
{
    const int tag = page->tag();
    if (!hasNoEditMode(tag))
        LeaveEditMode(page);
    operations_->LoadSection(tag);
    program_.state.PendingEdit = false;
    if (editing_ == page)
        editing_ = nullptr;
    refitShownGrid();
}

void MainWindow::refitShownGrid()
{
    if (SectionPageWidget* p = shownPage(); p && p->grid())
        FitGridColumns(p->grid());
}

void MainWindow::openGridEditor(SectionPageWidget* page)
{
    const int kind = page->page().rows.front().controls.front().listKind;
    operations_->OpenListEditor(kind);
    FitGridColumns(page->grid());
}

void MainWindow::openListButton(SectionPageWidget* page, int buttonTag)
{
    const std::optional<int> count = operations_->OpenListEditor(form::ListKindForButtonTag(buttonTag));
    if (count) {
        for (QPushButton* b : page->findChildren<QPushButton*>())
            if (b->property("buttonTag").toInt() == buttonTag)
                SetButtonCaption(b, form::SummaryCaption(*count));
    }
    operations_->AfterListEditor(buttonTag, count.has_value());
}

void MainWindow::ShowHint(int number)
{
    shownHint_ = number;
    const bool on = program_.state.Flags.flag(MessageFlags::HintsFlag) == 1;
    if (!on || number < 1 || number > HintTable::Count || !hints_.hasText(number)) {
        hints_panel_->hide();
        return;
    }
    hints_panel_->setHintText(hints_.panelText(number));
    if (hints_panel_->isHidden()) {
        hints_panel_->show();
        hintsFollowWindow_ = true;
        splitForHints();
    }
}

// A quarter of the height for the hints. The first page's hint is shown before the window has its
// full size, so the share is taken again as the window grows, until the user drags the splitter.
void MainWindow::splitForHints()
{
    const int total = splitter_->height();
    const int panel = std::max(total / 4, hints_panel_->minimumSizeHint().height());
    splitter_->setSizes({total - panel - splitter_->handleWidth() - 10, panel});
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (hintsFollowWindow_ && !hints_panel_->isHidden())
        splitForHints();
}

void MainWindow::showHintViewer()
{
    if (!hintViewer_)
        hintViewer_ = new LongTextWindow(program_.state, this);
    hintViewer_->showReadOnly(QString::fromUtf8("Podpowiedzi i wyjaśnienia"), hints_panel_->hintText(),
                              HintsPanelWidget::background());
}

void MainWindow::applyUserFont()
{
    // Only the main window's own grids are fitted; the tables of its dialogs (the about box) keep
    // their one-line rows.
    ApplyUserFont(this, program_.state.UserFont, [this](QTableView* view) {
        if (auto* grid = qobject_cast<ListGridView*>(view); grid && grid->window() == this)
            FitGridColumns(grid);
    });
    chooser_->setFixedHeight(chooser_->rowHeight() + 6);
    RelayoutWindow(this);
    userFontApplied_ = true;
}

bool MainWindow::startUp(const QStringList& arguments, const QString& programFolder)
{
    // Amounts use a comma everywhere.
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    RunState& state = program_.state;
    state.PendingEdit = false;
    startup::setProgramFolder(state, programFolder);
    if (steps_.readSettings)
        steps_.readSettings();
    // The program handed over to the external updater ends here.
    if (steps_.updateCheck && steps_.updateCheck())
        return false;

    startup::DamagedAtStart damaged;
    try {
        damaged = startup::openDatabases(program_, steps_);
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
        return false;
    }
    const auto versions = startup::versionTable(
        program_, steps_.updateVersionRows ? steps_.updateVersionRows() : QVector<QPair<QString, QString>>{});
    aboutVersions_ = versions;
    if (about_)
        about_->setVersions(versions);
    setWindowTitle(startup::chooseStartData(program_, arguments, steps_, damaged));
    if (steps_.loadAllSections)
        steps_.loadAllSections();
    if (steps_.openJournalView)
        steps_.openJournalView();
    applyUserFont();
    showMaximized();
    return true;
}

void MainWindow::closeWithoutQuestions()
{
    closingConfirmed_ = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    emit closingStarted();
    if (closingConfirmed_ || startup::runClosingSequence(program_, steps_)) {
        closingConfirmed_ = true;
        event->accept();
        emit closingDone();
        return;
    }
    event->ignore();
    emit closingCancelled();
}

} // namespace vestrum
