#include "gui/lists/unmatched_journals_window.h"

#include "base/error.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "gui/lists/journal_search_window.h"
#include "gui/lists/list_editor.h"
#include "gui/common/list_grid_view.h"
#include "lists/list_grid.h"
#include "program/program.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace vestrum {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

bool isPublicationKind(int kind)
{
    return kind >= 3 && kind <= 6;
}

// "Journal of X — 70 pkt, część B, ISSN 1234-5678": the ISSN tells apart journals of one title.
QString journalText(const lists::ListedJournal& journal)
{
    QString text = S("%1 — %2 pkt, część %3").arg(journal.name, journal.points, lists::partLetter(journal.part));
    const QString issn = journal.issn.isEmpty() ? journal.eissn : journal.issn;
    if (!issn.isEmpty())
        text += S(", ISSN ") + issn;
    return text;
}

QString suggestionText(const lists::ListedJournal& journal, double similarity)
{
    return journalText(journal) + S(" (zgodność %1%)").arg(static_cast<int>(std::lround(similarity * 100)));
}

bool isEnter(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

UnmatchedJournalsWindow::UnmatchedJournalsWindow(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), heading_(new QLabel(this)), table_(new QTableWidget(this)),
      suggestionsLabel_(new QLabel(S("Propozycje z listy MNiSW:"), this)), suggestions_(new QListWidget(this)),
      assign_(new QPushButton(S("przypisz"), this)), searchButton_(new QPushButton(S("szukaj na liście"), this)),
      skip_(new QPushButton(S("pomiń"), this)), absent_(new QPushButton(S("nie ma na liście"), this)),
      close_(new QPushButton(S("zamknij"), this))
{
    setObjectName(S("f_nieprzypisane"));
    setWindowTitle(S("Nieprzypisane czasopisma"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setMinimumSize(480, 360);

    heading_->setWordWrap(true);
    heading_->setTextFormat(Qt::PlainText);

    table_->setColumnCount(3);
    table_->setHorizontalHeaderLabels({S("Czasopismo"), S("Pozycji"), S("Najbliższe na liście")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false); // Tab goes on to the suggestions
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table_->installEventFilter(this);

    suggestionsLabel_->setBuddy(suggestions_);
    suggestions_->installEventFilter(this);

    // Enter belongs to the title table and the suggestions; on a button it presses that button.
    for (QPushButton* button : {assign_, searchButton_, skip_, absent_, close_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    assign_->setToolTip(S("Przypisuje zaznaczoną propozycję wszystkim pozycjom o tym tytule"));
    searchButton_->setToolTip(S("Otwiera listę czasopism MNiSW, by wskazać czasopismo samemu"));
    skip_->setToolTip(S("Przechodzi do następnego tytułu; pozycje zostają bez zmian"));
    absent_->setToolTip(S("Czasopisma nie ma na liście: tytuł nie będzie już proponowany w tym wykazie"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(assign_);
    buttons->addWidget(searchButton_);
    buttons->addWidget(skip_);
    buttons->addWidget(absent_);
    buttons->addStretch(1);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(table_, 3);
    layout->addWidget(suggestionsLabel_);
    layout->addWidget(suggestions_, 1);
    layout->addLayout(buttons);

    setTabOrder(table_, suggestions_);
    setTabOrder(suggestions_, assign_);
    setTabOrder(assign_, searchButton_);
    setTabOrder(searchButton_, skip_);
    setTabOrder(skip_, absent_);
    setTabOrder(absent_, close_);

    connect(table_, &QTableWidget::currentCellChanged, this, [this] { showSuggestions(); });
    connect(suggestions_, &QListWidget::itemDoubleClicked, this, [this] { assignSuggestion(); });
    connect(suggestions_, &QListWidget::currentRowChanged, this,
            [this](int row) { assign_->setEnabled(row >= 0); });
    connect(assign_, &QPushButton::clicked, this, &UnmatchedJournalsWindow::assignSuggestion);
    connect(searchButton_, &QPushButton::clicked, this, &UnmatchedJournalsWindow::searchList);
    connect(skip_, &QPushButton::clicked, this, &UnmatchedJournalsWindow::skipTitle);
    connect(absent_, &QPushButton::clicked, this, &UnmatchedJournalsWindow::markAbsent);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
}

UnmatchedJournalsWindow::~UnmatchedJournalsWindow() = default;

const QSet<QString>& UnmatchedJournalsWindow::absentTitles(int kind) const
{
    static const QSet<QString> none;
    const auto it = absentByKind_.constFind(kind);
    return it == absentByKind_.constEnd() ? none : *it;
}

bool UnmatchedJournalsWindow::prepare(lists::ListGrid& grid, int kind,
                                      std::shared_ptr<const lists::JournalMatcher> matcher, int from)
{
    grid_ = &grid;
    kind_ = kind;
    matcher_ = std::move(matcher);
    changedRows_ = 0;
    titles_ = matcher_ ? lists::unmatchedTitles(*matcher_, grid.rows(), from, absentTitles(kind))
                       : std::vector<lists::UnmatchedTitle>{};
    fillTable();
    return !titles_.empty();
}

int UnmatchedJournalsWindow::review(lists::ListGrid& grid, int kind,
                                    std::shared_ptr<const lists::JournalMatcher> matcher, int from)
{
    if (!prepare(grid, kind, std::move(matcher), from))
        return 0;
    exec();
    return changedRows_;
}

void UnmatchedJournalsWindow::fillTable()
{
    table_->clearContents();
    table_->setRowCount(static_cast<int>(titles_.size()));
    for (size_t i = 0; i < titles_.size(); ++i) {
        const lists::UnmatchedTitle& title = titles_[i];
        const int row = static_cast<int>(i);
        table_->setItem(row, 0, new QTableWidgetItem(title.title));
        auto* count = new QTableWidgetItem(QString::number(title.rows));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(row, 1, count);
        QString best = title.ambiguous ? S("kilka czasopism o tym tytule") : S("brak podobnych");
        if (!title.ambiguous && !title.suggestions.empty())
            best = journalText(matcher_->journal(title.suggestions.front().journal));
        auto* nearest = new QTableWidgetItem(best);
        nearest->setToolTip(best); // the points stay readable in a narrow column
        table_->setItem(row, 2, nearest);
    }
    if (!titles_.empty())
        table_->setCurrentCell(0, 0);
    showSuggestions();
    updateHeading();
}

void UnmatchedJournalsWindow::updateHeading()
{
    int rows = 0;
    for (const lists::UnmatchedTitle& title : titles_)
        rows += title.rows;
    heading_->setText(S("Czasopisma bez przypisania do listy MNiSW: %1 tytułów w %2 pozycjach. Wybierz propozycję "
                        "albo wskaż czasopismo na liście; punkty przypisuje się dopiero po wyborze.")
                          .arg(titles_.size())
                          .arg(rows));
}

int UnmatchedJournalsWindow::currentTitle() const
{
    const int row = table_->currentRow();
    return row >= 0 && row < static_cast<int>(titles_.size()) ? row : -1;
}

void UnmatchedJournalsWindow::showSuggestions()
{
    suggestions_->clear();
    const int current = currentTitle();
    if (current >= 0 && matcher_) {
        const lists::UnmatchedTitle& title = titles_[static_cast<size_t>(current)];
        for (const lists::Suggestion& suggestion : title.suggestions)
            suggestions_->addItem(suggestionText(matcher_->journal(suggestion.journal), suggestion.similarity));
        suggestionsLabel_->setText(title.ambiguous
                                       ? S("Tytuł pasuje do kilku czasopism listy MNiSW; wybierz właściwe:")
                                       : title.suggestions.empty()
                                       ? S("Propozycje z listy MNiSW: brak podobnych tytułów")
                                       : S("Propozycje z listy MNiSW:"));
    }
    if (suggestions_->count() > 0)
        suggestions_->setCurrentRow(0);
    assign_->setEnabled(suggestions_->currentRow() >= 0);
    for (QPushButton* button : {searchButton_, skip_, absent_})
        button->setEnabled(current >= 0);
}

void UnmatchedJournalsWindow::assign(const lists::Journal& journal)
{
    const int current = currentTitle();
    if (current < 0 || grid_ == nullptr)
        return;
    changedRows_ += lists::assignJournalToTitle(*grid_, titles_[static_cast<size_t>(current)].key, journal);
    removeCurrentTitle();
}

void UnmatchedJournalsWindow::assignSuggestion()
{
    const int current = currentTitle();
    const int chosen = suggestions_->currentRow();
    if (current < 0 || chosen < 0 || !matcher_)
        return;
    const std::vector<lists::Suggestion>& offered = titles_[static_cast<size_t>(current)].suggestions;
    if (chosen >= static_cast<int>(offered.size()))
        return;
    const lists::ListedJournal& journal = matcher_->journal(offered[static_cast<size_t>(chosen)].journal);
    assign({journal.name, journal.points});
}

void UnmatchedJournalsWindow::searchList()
{
    const int current = currentTitle();
    if (current < 0 || !search_)
        return;
    if (const std::optional<lists::Journal> journal = search_(titles_[static_cast<size_t>(current)].title))
        assign(*journal);
    else
        table_->setFocus();
}

void UnmatchedJournalsWindow::skipTitle()
{
    const int current = currentTitle();
    if (current < 0)
        return;
    if (current + 1 < static_cast<int>(titles_.size()))
        table_->setCurrentCell(current + 1, 0);
    table_->setFocus();
}

void UnmatchedJournalsWindow::markAbsent()
{
    const int current = currentTitle();
    if (current < 0)
        return;
    absentByKind_[kind_].insert(titles_[static_cast<size_t>(current)].key);
    removeCurrentTitle();
}

void UnmatchedJournalsWindow::removeCurrentTitle()
{
    const int current = currentTitle();
    titles_.erase(titles_.begin() + current);
    table_->removeRow(current);
    updateHeading();
    if (titles_.empty()) {
        accept();
        return;
    }
    table_->setCurrentCell(std::min(current, static_cast<int>(titles_.size()) - 1), 0);
    showSuggestions();
    table_->setFocus();
}

bool UnmatchedJournalsWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_ && isEnter(event)) {
        if (suggestions_->count() > 0)
            suggestions_->setFocus();
        else
            searchButton_->setFocus();
        return true;
    }
    if (watched == suggestions_ && isEnter(event)) {
        assignSuggestion();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void UnmatchedJournalsWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    RelayoutWindow(this);
    const int line = tjHeight(font()) + 10;
    // Wide enough for every column of the table and for a long title with its points in the
    // proposals, as far as the screen allows (the fitting rule of every window trims the rest).
    resize(firstOpeningSize(this).expandedTo(QSize(100 * fontMetrics().averageCharWidth(), 24 * line)));
    centreOnOwner(this);
    QDialog::showEvent(event);
    table_->setFocus();
}

// --- the commands of the list editor --------------------------------------------------------------

void OfferUnmatchedJournals(Program& program, ListEditor& editor, lists::JournalList& journals,
                            UnmatchedJournalsWindow& window, int from, bool sayWhenNone)
{
    if (!isPublicationKind(editor.kind()))
        return;
    std::shared_ptr<const lists::JournalMatcher> matcher;
    try {
        matcher = journals.sharedMatcher();
    } catch (const Error& error) {
        program.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    if (!window.prepare(editor.list(), editor.kind(), matcher, from)) {
        if (sayWhenNone)
            program.notify(S("W wykazie nie ma czasopism bez przypisania do listy MNiSW."));
        return;
    }
    window.exec();
    if (window.changedRows() > 0)
        editor.listChanged();
}

namespace {

// The cells of `rows` that differ from the grid's go into it; whether any did.
bool takeChangedCells(lists::ListGrid& grid, const std::vector<QStringList>& rows)
{
    bool changed = false;
    for (int r = 0; r < grid.rowCount() && static_cast<size_t>(r) < rows.size(); ++r)
        for (int c = 0; c < grid.columnCount(); ++c)
            if (rows[static_cast<size_t>(r)].value(c) != grid.row(r).value(c)) {
                grid.setCell(c, r, rows[static_cast<size_t>(r)].value(c));
                changed = true;
            }
    return changed;
}

} // namespace

void IdentifyJournalGroup(Program& program, ListEditor& editor, lists::JournalList& journals,
                          UnmatchedJournalsWindow& window, JournalSearchWindow& search)
{
    if (!lists::canIdentifyGroup(editor.list())) {
        program.notify(S("W wykazie brak pozycji do identyfikacji."));
        return;
    }
    lists::ListCheck check;
    std::shared_ptr<const lists::JournalMatcher> matcher;
    try {
        std::vector<QStringList> rows = editor.list().rows();
        check = lists::checkRowsAgainstList(journals, rows);
        if (takeChangedCells(editor.list(), rows))
            editor.listChanged();
        matcher = journals.sharedMatcher();
    } catch (const Error& error) {
        program.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    const int identified = check.identified;
    if (check.pointsChanged > 0)
        program.notify(lists::pointsChangeLine(check));
    if (window.prepare(editor.list(), editor.kind(), matcher)) {
        window.exec();
        if (window.changedRows() > 0)
            editor.listChanged();
        return;
    }
    if (identified > 0) {
        program.notify(S("Czasopisma z listy MNiSW przypisano %1 pozycjom wykazu.").arg(identified));
        return;
    }
    // Every title has its journal: the selected rows may still be given one by hand.
    if (search.identifyGroup(editor.grid()))
        editor.listChanged();
}

} // namespace vestrum
