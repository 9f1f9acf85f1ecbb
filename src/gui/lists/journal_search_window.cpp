#include "gui/lists/journal_search_window.h"

#include "program/program.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "lists/list_grid.h"
#include "gui/common/list_grid_view.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace vestrum {

namespace lists {

// The grid's rows are the records of the journal list view; nothing is copied, so the 29,000
// journals of the list show at once.
class JournalListModel : public QAbstractTableModel {
public:
    JournalListModel(JournalList& list, QObject* parent) : QAbstractTableModel(parent), list_(&list) {}

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !list_->isOpen() ? 0 : list_->count();
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || role != Qt::DisplayRole || index.row() >= list_->count())
            return {};
        const Journal journal = list_->journal(index.row());
        return index.column() == 0 ? journal.name : journal.points;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        return section == 0 ? QStringLiteral("* Czasopismo") : QStringLiteral("L.punktów");
    }

    void reload()
    {
        beginResetModel();
        endResetModel();
    }

private:
    JournalList* list_;
};

} // namespace lists

namespace {

constexpr int kPublicationKindA = 3; // 8.1.a: journals of list A only
constexpr int kAutomaticSearchDelayMs = 100;

QPushButton* commandButton(const QString& caption, const QString& hint, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    // Enter in a search field runs its own search, never a button of the window.
    button->setAutoDefault(false);
    button->setDefault(false);
    if (!hint.isEmpty())
        button->setToolTip(hint);
    return button;
}

} // namespace

JournalSearchWindow::JournalSearchWindow(Program& program, lists::JournalList& list, QWidget* parent)
    : QDialog(parent), program_(&program), list_(&list), model_(new lists::JournalListModel(list, this)),
      heading_(new QLabel(QStringLiteral("Aktualny wykaz czasopism punktowanych MNiSW"), this)),
      kind_(new QComboBox(this)), beginning_(new QLineEdit(this)), fragment_(new QLineEdit(this)),
      findBeginning_(commandButton(QStringLiteral("znajdź"),
                                   QStringLiteral("wyszukiwanie po początku nazwy czasopisma (np. po pierwszej literze)"),
                                   this)),
      findFragment_(commandButton(QStringLiteral("znajdź"),
                                  QStringLiteral("znajduje pierwsze wystąpienie podanego fragmentu nazwy czasopisma"),
                                  this)),
      next_(commandButton(QStringLiteral("następny"),
                          QStringLiteral("znajduje kolejne wystąpienia podanego fragmentu nazwy czasopisma"), this)),
      grid_(new QTableView(this)), assign_(commandButton(QStringLiteral("przypisz"), {}, this)),
      back_(commandButton(QStringLiteral("wróć"), {}, this)), status_(new QLabel(this))
{
    setObjectName(QStringLiteral("f_lista_mnii"));
    setWindowTitle(QStringLiteral("Lista czasopism MEiN"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setMinimumSize(380, 320);

    heading_->setAlignment(Qt::AlignCenter);
    heading_->setWordWrap(true);
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);

    kind_->addItems({QStringLiteral("wszystkie"),
                     QStringLiteral("lista A - czasopisma wyróżnione w Journal Citation Reports (JCR)"),
                     QStringLiteral("lista B - pozostałe czasopisma zagraniczne i czasopisma polskie"),
                     QStringLiteral("grupy określające punktowane czasopisma, których brak na liście B")});
    kind_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    kind_->setMinimumContentsLength(20);
    next_->setEnabled(false);

    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setWordWrap(false);
    grid_->setTabKeyNavigation(false);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grid_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    grid_->horizontalHeader()->setHighlightSections(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Rodzaj listy"), this), 0, 0);
    fields->addWidget(kind_, 0, 1, 1, 3);
    fields->addWidget(new QLabel(QStringLiteral("Początek nazwy"), this), 1, 0);
    fields->addWidget(beginning_, 1, 1);
    fields->addWidget(findBeginning_, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("Fragment nazwy"), this), 2, 0);
    fields->addWidget(fragment_, 2, 1);
    fields->addWidget(findFragment_, 2, 2);
    fields->addWidget(next_, 2, 3);
    fields->setColumnStretch(1, 1);
    layout->addLayout(fields);
    layout->addWidget(grid_, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(assign_);
    bottom->addWidget(back_);
    bottom->addStretch(1);
    layout->addLayout(bottom);
    status_->setObjectName(QStringLiteral("lStatus"));
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    status_->hide();
    layout->addWidget(status_);

    connect(kind_, &QComboBox::currentIndexChanged, this, &JournalSearchWindow::applyKind);
    connect(findBeginning_, &QPushButton::clicked, this, &JournalSearchWindow::searchByBeginning);
    connect(beginning_, &QLineEdit::returnPressed, this, &JournalSearchWindow::searchByBeginning);
    connect(findFragment_, &QPushButton::clicked, this, &JournalSearchWindow::searchByFragment);
    connect(fragment_, &QLineEdit::returnPressed, this, &JournalSearchWindow::searchByFragment);
    connect(next_, &QPushButton::clicked, this, &JournalSearchWindow::searchNext);
    connect(assign_, &QPushButton::clicked, this, &JournalSearchWindow::assignCurrent);
    connect(grid_, &QTableView::doubleClicked, this, &JournalSearchWindow::assignCurrent);
    connect(back_, &QPushButton::clicked, this, &QDialog::reject);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    list_->setCurrent(current.row());
            });

    new WindowMemoryKeeper(this, program.state.Windows[static_cast<size_t>(RememberedWindow::ListaMnii)]);
}

JournalSearchWindow::~JournalSearchWindow() = default;

void JournalSearchWindow::reloadGrid()
{
    model_->reload();
    showCurrent();
}

void JournalSearchWindow::showCurrent()
{
    const int row = list_->current();
    if (row < 0 || row >= model_->rowCount())
        return;
    const QModelIndex index = model_->index(row, 0);
    grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    grid_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void JournalSearchWindow::setKind(int item, bool changeable)
{
    // A window opened on a part of the list that holds no journal would find nothing at all: it
    // shows the whole list instead and says why, whether or not the part can then be changed.
    const bool emptyPart = item != AllJournals && list_->isOpen()
        && list_->partCount(static_cast<lists::ListPart>(item - 1)) == 0;
    if (emptyPart) {
        status_->setText(QStringLiteral("Na liście nie ma czasopism z części \"") + kind_->itemText(item)
                         + QStringLiteral("\", dlatego pokazana jest cała lista."));
        item = AllJournals;
    }
    status_->setVisible(emptyPart);
    {
        const QSignalBlocker blocker(kind_);
        kind_->setCurrentIndex(item);
    }
    kind_->setEnabled(changeable);
    applyKind(item);
}

void JournalSearchWindow::applyKind(int item)
{
    if (!list_->isOpen())
        return;
    list_->setFilter(item <= AllJournals ? std::nullopt : std::optional(static_cast<lists::ListPart>(item - 1)));
    reloadGrid();
}

void JournalSearchWindow::prepareForEntry(const QString& listedName, const QString& typedName, int listKind)
{
    const QString text = listedName.isEmpty() ? typedName : listedName;
    beginning_->setText(text);
    fragment_->setText(text);
    next_->setEnabled(false);
    chosen_.reset();
    if (listKind == kPublicationKindA)
        setKind(ListA, false);
    else
        setKind(AllJournals, true);
    searchWhenShown_ = true;
}

std::optional<lists::Journal> JournalSearchWindow::chooseForEntry(const QString& listedName, const QString& typedName,
                                                            int listKind)
{
    prepareForEntry(listedName, typedName, listKind);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return chosen_;
}

void JournalSearchWindow::prepareForGroup(const QString& journalCell)
{
    beginning_->setText(journalCell);
    fragment_->setText(journalCell);
    next_->setEnabled(false);
    chosen_.reset();
    setKind(MissingFromListB, true);
    searchWhenShown_ = false;
}

std::optional<lists::Journal> JournalSearchWindow::chooseForGroup(const QString& journalCell)
{
    prepareForGroup(journalCell);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return chosen_;
}

bool JournalSearchWindow::identifyGroup(ListGridView* grid)
{
    if (!lists::canIdentifyGroup(grid->list())) {
        program_->notify(QStringLiteral("W wykazie brak pozycji do identyfikacji."));
        return false;
    }

    const int currentRow = grid->currentDataRow();
    std::vector<int> selected = grid->selectedDataRows();
    if (selected.empty() && currentRow >= 0)
        selected.push_back(currentRow);

    const auto journal =
        chooseForGroup(currentRow >= 0 ? grid->list().cell(lists::kJournalColumn, currentRow) : QString());
    if (!journal || selected.empty())
        return false;
    for (const int r : selected) {
        grid->list().setCell(lists::kListedJournalColumn, r, journal->name);
        grid->list().setCell(lists::kPointsColumn, r, lists::pointsCell(journal->points));
    }
    grid->listReset();
    return true;
}

void JournalSearchWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_->state.UserFont, [this](QTableView* table) { fitColumns(table); });
    RelayoutWindow(this);
    // Opened for the first time: the whole name of "Rodzaj listy" and about fifteen journals.
    placeOnFirstOpening(this, program_->state.Windows[static_cast<size_t>(RememberedWindow::ListaMnii)],
                        QSize(std::max(sizeHint().width(), kind_->fontMetrics().horizontalAdvance(kind_->itemText(ListA)) + 200),
                              sizeHint().height() + 12 * (tjHeight(font()) + 10)));
    QDialog::showEvent(event);
    // Identification elsewhere may have switched the filter off since the window was prepared.
    reloadGrid();
    if (searchWhenShown_) {
        searchWhenShown_ = false;
        QTimer::singleShot(kAutomaticSearchDelayMs, this, [this] {
            if (isVisible())
                searchByBeginning();
        });
    }
}

void JournalSearchWindow::fitColumns(QTableView* table)
{
    if (table != grid_)
        return;
    // The points column is as wide as its header; the name column takes the rest.
    const QFontMetrics metrics(grid_->horizontalHeader()->font());
    grid_->horizontalHeader()->resizeSection(
        1, std::max(metrics.horizontalAdvance(QStringLiteral("L.punktów")), metrics.horizontalAdvance(u'0') * 5) + 24);
}

void JournalSearchWindow::searchByBeginning()
{
    const QString text = beginning_->text();
    if (list_->findByBeginning(text)) {
        showCurrent();
        return;
    }
    program_->notify(QStringLiteral("Nie znaleziono czasopisma: \"") + text + u'"');
}

void JournalSearchWindow::searchByFragment()
{
    const QString text = fragment_->text();
    if (text.trimmed().isEmpty())
        return;
    const bool found = list_->findFragment(text);
    next_->setEnabled(found);
    if (found) {
        showCurrent();
        return;
    }
    program_->notify(QStringLiteral("Nie znaleziono podanego ciągu znaków"));
}

void JournalSearchWindow::searchNext()
{
    const QString text = fragment_->text();
    if (list_->current() < 0 || text.trimmed().isEmpty())
        return;
    if (list_->findNext(text)) {
        showCurrent();
        return;
    }
    program_->notify(QStringLiteral("Nie znaleziono już podanego ciągu znaków"));
}

void JournalSearchWindow::assignCurrent()
{
    const auto journal = list_->currentJournal();
    if (!journal)
        return;
    chosen_ = journal;
    accept();
}

} // namespace vestrum
