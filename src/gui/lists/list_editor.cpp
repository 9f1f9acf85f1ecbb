#include "gui/lists/list_editor.h"

#include "base/error.h"
#include "gui/common/flow_layout.h"
#include "gui/common/hints_panel.h"
#include "program/program.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "gui/common/list_grid_view.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vestrum {
namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

const char* const kToolCaptions[] = {"Import z pliku tekstowego", "Grupowa identyfikacja czasopism",
                                     "Eksport wykazu do pliku *xml", "Import wykazu z utworzonego pliku *.xml",
                                     "Nieprzypisane czasopisma", "Import z bibliografii (BibTeX, RIS, CSL JSON)…"};
const char* const kToolHints[] = {"Import danych z dowolnego pliku tekstowego",
                                  "Grupowa identyfikacja czasopism z listy MNiSW dla pozycji wykazu",
                                  "Eksport danych do pliku w formacie *.xml ",
                                  "Import danych z utworzonego za pomocą tego programu pliku w formacie *.xml ",
                                  "Czasopisma wykazu bez przypisanej pozycji listy MNiSW, z propozycjami z listy",
                                  "Publikacje z pliku BibTeX, RIS albo CSL JSON menedżera bibliografii"};

bool isImport(ListEditor::Tool tool)
{
    return tool == ListEditor::Tool::TextImport || tool == ListEditor::Tool::XmlImport
        || tool == ListEditor::Tool::BibliographyImport;
}

constexpr int kDeleteQuestion = 9;
constexpr int kDiscardQuestion = 10;
constexpr int kDeleteAllQuestion = 11;

} // namespace

ListEditor::ListEditor(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), toolRow_(new QWidget(this)), title_(new QLabel(this)),
      add_(new QPushButton(S("dodaj nową pozycję"), this)), change_(new QPushButton(S("zmień zaznaczoną"), this)),
      delete_(new QPushButton(S("usuń zaznaczoną"), this)), deleteAll_(new QPushButton(S("usuń wszystko"), this)),
      grid_(new ListGridView(this)), save_(new QPushButton(S("zapisz zmiany"), this)),
      discard_(new QPushButton(S("pomiń zmiany"), this)), hints_(new HintsPanelWidget(this)),
      commandRow_(new QWidget(this)), bottomRow_(new QWidget(this)), refit_(new QTimer(this))
{
    setObjectName(S("f_wykazy"));
    setWindowTitle(S("Wykazy"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setMinimumSize(300, 300);

    // 1. tool row; a window too narrow for it (a small screen, a big font) gets it on more lines
    auto* tools = new FlowLayout(toolRow_, 2);
    for (size_t i = 0; i < tools_.size(); ++i) {
        QAction* a = new QAction(S(kToolCaptions[i]), this);
        a->setToolTip(S(kToolHints[i]));
        a->setEnabled(false);
        auto* button = new QToolButton(toolRow_);
        button->setDefaultAction(a);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::StrongFocus); // a keyboard user reaches the tool-row commands with Tab too
        tools->addWidget(button);
        toolButtons_[i] = button;
        connect(a, &QAction::triggered, this, [this, i] {
            if (!toolCommands_[i])
                return;
            const int changesBefore = changes_;
            toolCommands_[i](*this);
            if (isImport(static_cast<Tool>(i)) && changes_ != changesBefore && afterImport_)
                afterImport_(*this, std::max(0, lastChangedFrom_));
        });
        tools_[i] = a;
    }

    // 2. title
    title_->setAlignment(Qt::AlignCenter);
    title_->setWordWrap(true);
    title_->setTextFormat(Qt::PlainText);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);

    // 3. command row, centred as a group
    auto* commands = new QHBoxLayout(commandRow_);
    commands->setContentsMargins(0, 0, 0, 0);
    commands->setSpacing(4);
    commands->addStretch(1);
    for (QPushButton* b : {add_, change_, delete_, deleteAll_})
        commands->addWidget(b);
    commands->addStretch(1);
    add_->setEnabled(false);
    change_->setEnabled(false);

    // 4. the grid: whole rows, a range of several rows may be selected
    // A press of either mouse button on a header sorts (the grid does it); a double click on an
    // entry changes it.
    grid_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    connect(grid_, &ListGridView::dataRowDoubleClicked, this, [this] { changeEntry(); });

    // 5. bottom row: the two buttons 4 pixels left and right of the centre line
    auto* bottom = new QGridLayout(bottomRow_);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setHorizontalSpacing(8);
    bottom->addWidget(save_, 0, 0, Qt::AlignRight);
    bottom->addWidget(discard_, 0, 1, Qt::AlignLeft);

    // 6. hints panel below a splitter; the list editor has no hint of its own, so it stays hidden
    auto* upper = new QWidget(this);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->addWidget(toolRow_);
    upperLayout->addWidget(title_);
    upperLayout->addWidget(commandRow_);
    upperLayout->addWidget(grid_, 1);
    upperLayout->addWidget(bottomRow_);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(upper);
    splitter->addWidget(hints_);
    splitter->setCollapsible(0, false);
    hints_->hide();
    connect(hints_, &HintsPanelWidget::closeClicked, this, [this] {
        hints_->hide();
        program_.state.Flags.setFlag(MessageFlags::HintsFlag, 0);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(add_, &QPushButton::clicked, this, &ListEditor::addEntry);
    connect(change_, &QPushButton::clicked, this, &ListEditor::changeEntry);
    connect(delete_, &QPushButton::clicked, this, &ListEditor::deleteSelected);
    connect(deleteAll_, &QPushButton::clicked, this, &ListEditor::deleteAll);
    connect(save_, &QPushButton::clicked, this, &ListEditor::saveChanges);
    connect(discard_, &QPushButton::clicked, this, &ListEditor::discardChanges);

    refit_->setSingleShot(true);
    refit_->setInterval(60);
    connect(refit_, &QTimer::timeout, this, [this] {
        if (isVisible() && grid_->size() != fittedSize_)
            fit();
    });

    new WindowMemoryKeeper(this, program.state.Windows[static_cast<size_t>(RememberedWindow::Wykazy)]);
}

ListEditor::~ListEditor() = default;

QString ListEditor::title() const { return title_->text(); }

void ListEditor::setEntryEditor(EntryEditor editor)
{
    entryEditor_ = std::move(editor);
    add_->setEnabled(bool(entryEditor_));
    change_->setEnabled(bool(entryEditor_));
}

void ListEditor::setToolCommand(Tool tool, std::function<void(ListEditor&)> command)
{
    const auto i = static_cast<size_t>(tool);
    toolCommands_[i] = std::move(command);
    tools_[i]->setEnabled(bool(toolCommands_[i]));
}

void ListEditor::setAfterImport(std::function<void(ListEditor&, int)> afterImport)
{
    afterImport_ = std::move(afterImport);
}

void ListEditor::prepare(int kind, ListGridView* sectionGrid, std::function<void()> saveSection)
{
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    kind_ = kind;
    count_ = 0;
    sectionGrid_ = sectionGrid;
    saveSection_ = std::move(saveSection);
    closeGuard_ = false;

    // The journal commands belong to the publication kinds only.
    for (Tool tool : {Tool::GroupIdentification, Tool::UnmatchedJournals}) {
        toolAction(tool)->setVisible(kind >= 3 && kind <= 6);
        toolButton(tool)->setVisible(kind >= 3 && kind <= 6);
    }
    const bool publications = (kind >= 3 && kind <= 6) || (kind >= 8 && kind <= 11);
    toolAction(Tool::BibliographyImport)->setVisible(publications);
    toolButton(Tool::BibliographyImport)->setVisible(publications);
    title_->setText(lists::ListTitle(kind));

    lists::ListGrid list;
    if (sectionGrid_) {
        list = sectionGrid_->list();
        maxLengths_.clear();
    } else {
        lists::LoadedList loaded = lists::LoadList(program_, kind);
        list = std::move(loaded.grid);
        count_ = loaded.count;
        maxLengths_ = loaded.maxLengths;
    }
    if (list.headers().isEmpty() || list.headers().size() != static_cast<qsizetype>(info.columns.size()))
        list.setHeaders(info.headers());
    list.sortBy(0);
    grid_->setList(std::move(list));
    // A hidden window is fitted when it is shown, in the user's font.
    if (isVisible())
        fit();
    selectRow(std::max(0, openRow_));
    openRow_ = -1;
}

const lists::ListGrid& ListEditor::list() const { return grid_->list(); }

lists::ListGrid& ListEditor::list() { return grid_->list(); }

bool ListEditor::openKind(int kind)
{
    try {
        prepare(kind);
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
        return false;
    }
    return exec() == QDialog::Accepted;
}

bool ListEditor::openGridKind(int kind, ListGridView* sectionGrid, std::function<void()> saveSection)
{
    try {
        prepare(kind, sectionGrid, std::move(saveSection));
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
        return false;
    }
    return exec() == QDialog::Accepted;
}

void ListEditor::fit()
{
    FitGridColumns(grid_);
    fittedSize_ = grid_->size();
}

void ListEditor::listChanged(int selectRow, bool pending)
{
    const int keep = selectRow >= 0 ? selectRow : currentDataRow();
    ++changes_;
    lastChangedFrom_ = selectRow;
    grid_->listReset();
    if (isVisible())
        fit();
    this->selectRow(keep);
    if (pending)
        setPending();
}

void ListEditor::setPending() { program_.state.PendingEdit = true; }

void ListEditor::selectRow(int row)
{
    if (row < 0)
        return;
    grid_->selectDataRow(std::min(row, list().rowCount() - 1));
}

int ListEditor::currentDataRow() const
{
    const auto [first, last] = selectedRows();
    (void)last;
    return first;
}

std::pair<int, int> ListEditor::selectedRows() const
{
    const std::vector<int> rows = grid_->selectedDataRows();
    if (rows.empty())
        return {-1, -1};
    return {rows.front(), std::min(rows.back(), list().rowCount() - 1)};
}

void ListEditor::sortByColumn(int column)
{
    grid_->sortByColumn(column); // fits again and selects the first row
}

void ListEditor::addEntry()
{
    if (!entryEditor_)
        return;
    QStringList cells;
    if (!entryEditor_(kind_, cells))
        return;
    const int row = list().addRow(cells);
    listChanged(row);
}

void ListEditor::changeEntry()
{
    const int row = currentDataRow();
    if (!entryEditor_ || list().isEmpty() || row < 0)
        return;
    QStringList cells = list().row(row);
    if (!entryEditor_(kind_, cells))
        return;
    list().replaceRow(row, cells);
    listChanged(row);
}

void ListEditor::deleteSelected()
{
    const auto [first, last] = selectedRows();
    if (list().isEmpty() || first < 0)
        return;
    int select = first;
    if (program_.ask(S("Czy na pewno chcesz usunąć zaznaczoną pozycję?"), kDeleteQuestion))
        select = list().removeRows(first, last);
    listChanged(select);
}

void ListEditor::deleteAll()
{
    if (list().isEmpty() || selectedRows().first < 0)
        return;
    int select = currentDataRow();
    if (program_.ask(S("Czy na pewno chcesz usunąć wszystkie pozycje z wykazu?"), kDeleteAllQuestion)) {
        list().clear();
        select = 0;
    }
    listChanged(select);
}

void ListEditor::saveChanges()
{
    if (list().hasDuplicates()) {
        // Removing the duplicates does not save: the user sees the result and saves again.
        if (program_.ask(S("Uwaga!\nTen wykaz zawiera co najmniej dwie pozycje o identycznej zawartości. Trzeba je "
                           "usunąć przed zapisaniem.\nCzy program ma automatycznie usunąć identyczne wiersze?"))) {
            list().removeDuplicates();
            listChanged(0, false);
        }
        return;
    }
    try {
        if (sectionGrid_) {
            sectionGrid_->setList(list());
            if (saveSection_)
                saveSection_();
            count_ = 0;
        } else {
            count_ = lists::SaveList(program_, kind_, list());
        }
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
        return;
    }
    program_.state.PendingEdit = false;
    closeGuard_ = true;
    accept();
}

void ListEditor::discardChanges()
{
    if (!program_.ask(S("Czy na pewno chcesz pominąć wprowadzone zmiany?"), kDiscardQuestion))
        return;
    program_.state.PendingEdit = false;
    closeGuard_ = true;
    QDialog::reject();
}

void ListEditor::reject()
{
    if (closeGuard_)
        QDialog::reject();
    else
        discardChanges();
}

void ListEditor::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    RelayoutWindow(this);
    updateMinimumSize();
    // Opened for the first time: every command of the tool row and about fifteen rows in view.
    const int rowHeight = tjHeight(font()) + 10;
    placeOnFirstOpening(this, program_.state.Windows[static_cast<size_t>(RememberedWindow::Wykazy)],
                        QSize(std::max(sizeHint().width(), toolRow_->sizeHint().width() + 40),
                              sizeHint().height() + 12 * rowHeight));
    growToShowAll();
    QDialog::showEvent(event);
    // The grid is fitted at the size it is shown in.
    if (layout())
        layout()->activate();
    fit();
    grid_->scrollTo(grid_->currentIndex()); // a row chosen before the window was shown
    // Every opening starts on the rows, so a habitual Enter opens one rather than saving and closing.
    grid_->setFocus(Qt::OtherFocusReason);
}

// Whatever size the window was left at, a kind with more commands or a bigger font makes it grow,
// up to the screen, until the tool row shows on one line and every header fits beside the grid's
// vertical scroll bar. On a screen too small for that the tool row wraps.
void ListEditor::growToShowAll()
{
    int headers = 0;
    const QFontMetrics bold(grid_->headerFont());
    for (const QString& header : list().headers())
        headers += bold.horizontalAdvance(header) + 8;
    const int gridFrame = 2 * grid_->frameWidth() + grid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 24
        + (grid_->verticalHeader()->isVisible() ? grid_->verticalHeader()->sizeHint().width() : 0);
    const int besideGrid = std::max(0, width() - grid_->width());
    const int besideTools = std::max(40, width() - toolRow_->width());
    growToShow(this, QSize(std::max(toolRow_->sizeHint().width() + besideTools, headers + gridFrame + besideGrid), 0));
}

// The resize events of one drag are gathered into one fit, and a resize that leaves the grid as it
// was fitted costs nothing.
void ListEditor::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (kind_ >= 0 && isVisible())
        refit_->start();
}

// The program's font window changes the font of the windows it owns, this one included; the
// window's controls get theirs after it, so the window is fitted once the change is through.
void ListEditor::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::FontChange || !isVisible() || kind_ < 0)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!isVisible())
                return;
            RelayoutWindow(this);
            updateMinimumSize();
            growToShowAll();
            if (layout())
                layout()->activate();
            fit();
        },
        Qt::QueuedConnection);
}

void ListEditor::updateMinimumSize()
{
    int buttons = 0;
    for (QPushButton* b : {add_, change_, delete_, deleteAll_})
        buttons += b->sizeHint().width();
    // The tool row as high as the lines it takes at the window's width.
    const int rows = toolRow_->heightForWidth(std::max(toolRow_->width(), 1)) + title_->sizeHint().height()
        + commandRow_->sizeHint().height() + bottomRow_->sizeHint().height();
    setMinimumSize(std::max(300, buttons + 24), std::max(300, rows + 200));
}

} // namespace vestrum
