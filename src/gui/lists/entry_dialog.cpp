#include "gui/lists/entry_dialog.h"
#include "gui/common/keyboard_rules.h"

#include "base/error.h"
#include "gui/common/hints_panel.h"
#include "base/number_format.h"
#include "program/program.h"
#include "program/settings.h"
#include "gui/common/long_text_window.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "gui/lists/entry_page.h"
#include "lists/journal_identification.h"
#include "lists/list_grid.h"
#include "gui/lists/journal_search_window.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vestrum {

using lists::EntryInput;
using lists::EntryRole;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

constexpr int kDiscardQuestion = 8;

// Background of fields the user cannot type in, and of the ones he can.
const QColor kReadOnlyBase(236, 236, 230);
const QColor kEditableBase(Qt::white);

void setBase(QWidget* w, bool readOnly)
{
    QPalette p = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        p.setColor(group, QPalette::Base, readOnly ? kReadOnlyBase : kEditableBase);
    w->setPalette(p);
}

// How long a field's text may grow: its declared width (a field without one, as far as a line edit
// goes), or the text's own length when a stored text is longer, so that nothing is cut on opening
// (the acceptance check refuses it instead).
int allowedLength(int width, const QString& text)
{
    constexpr int kUnlimited = 32767;
    return std::max(width > 0 ? width : kUnlimited, static_cast<int>(text.size()));
}

// Focus changes that come from the user moving on, not from a message box, a menu or a popup
// taking the focus for a moment.
bool userMove(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason
        || reason == Qt::ShortcutFocusReason || reason == Qt::OtherFocusReason;
}

} // namespace

EntryDialog::EntryDialog(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), heading_(new QLabel(this)), pages_(new QStackedWidget(this)),
      save_(new QPushButton(S("zapamiętaj zmiany"), this)), discard_(new QPushButton(S("pomiń zmiany"), this)),
      hints_(new HintsPanelWidget(this))
{
    InstallKeyboardRules();
    setObjectName(S("f_popupy"));
    setWindowTitle(S("Dane szczegółowe"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setMinimumSize(320, 300);

    heading_->setObjectName(S("lHeading"));
    heading_->setAlignment(Qt::AlignCenter);
    heading_->setWordWrap(true);
    heading_->setTextFormat(Qt::PlainText);
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);

    for (const lists::EntryPage& page : lists::EntryPages()) {
        auto* widget = new EntryPageWidget(page, pages_);
        widget->setObjectName(S("Page") + QString::number(pageWidgets_.size() + 1));
        pages_->addWidget(widget);
        pageWidgets_.push_back(widget);
        for (int r = 0; r < static_cast<int>(widget->rows().size()); ++r)
            buildRow(widget, r);
        connect(widget, &EntryPageWidget::rowDragged, this, [this, widget](const QString& name, int) {
            for (const EntryPageWidget::Row& r : widget->rows())
                if (r.panel->objectName() == name)
                    heights_[name] = r.panel->minimumHeight(); // the fixed height; the geometry follows later
        });
    }

    // Clicking a button leaves the focus where it is, so the checks of the field being typed run
    // once, from the button's own command; the keyboard still reaches the buttons.
    for (QPushButton* b : {save_, discard_})
        b->setFocusPolicy(Qt::TabFocus);
    connect(save_, &QPushButton::clicked, this, &EntryDialog::saveChanges);
    connect(discard_, &QPushButton::clicked, this, &EntryDialog::discardChanges);
    auto* buttons = new QWidget(this);
    auto* buttonLayout = new QGridLayout(buttons);
    buttonLayout->setContentsMargins(0, 4, 0, 4);
    buttonLayout->setHorizontalSpacing(8);
    buttonLayout->addWidget(save_, 0, 0, Qt::AlignRight);
    buttonLayout->addWidget(discard_, 0, 1, Qt::AlignLeft);

    auto* upper = new QWidget(this);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->addWidget(heading_);
    upperLayout->addWidget(pages_, 1);
    upperLayout->addWidget(buttons);
    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->addWidget(upper);
    splitter_->addWidget(hints_);
    splitter_->setCollapsible(0, false);
    hints_->hide();
    connect(hints_, &HintsPanelWidget::closeClicked, this, [this] {
        hints_->hide();
        program_.state.Flags.setFlag(MessageFlags::HintsFlag, 0);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter_);

    new WindowMemoryKeeper(this, program.state.Windows[static_cast<size_t>(RememberedWindow::Popupy)]);
}

EntryDialog::~EntryDialog() = default;

void EntryDialog::setJournalSearch(lists::JournalList* list, JournalSearchWindow* search)
{
    journals_ = list;
    search_ = search;
}

void EntryDialog::setMaxLengths(const QMap<QString, int>& lengths) { maxLengths_ = lengths; }

// --- building ------------------------------------------------------------------------------

void EntryDialog::buildRow(EntryPageWidget* page, int pageRow)
{
    const EntryPageWidget::Row& row = page->rows()[static_cast<size_t>(pageRow)];
    QWidget* input = row.input;
    input->installEventFilter(this);
    auto textMenu = [this](QWidget* field) {
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(field, &QWidget::customContextMenuRequested, this, [this, field](const QPoint& pos) {
            QMenu* menu = contextMenuFor(field);
            menu->exec(field->mapToGlobal(pos));
            menu->deleteLater();
        });
    };

    if (auto* line = qobject_cast<QLineEdit*>(input)) {
        connect(line, &QLineEdit::textChanged, this, [this, line] { takeText(rowOfInput(line)); });
        textMenu(line);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(input)) {
        memo->viewport()->installEventFilter(this);
        connect(memo, &QPlainTextEdit::textChanged, this, [this, memo] { takeText(rowOfInput(memo)); });
        textMenu(memo);
    } else if (auto* combo = qobject_cast<QComboBox*>(input)) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo](int item) {
            const int r = rowOfInput(combo);
            if (syncing_ || r < 0 || item < 0)
                return;
            form_->choose(r, item);
            loadAll(r);
        });
        connect(combo, &QComboBox::activated, this, [this, combo] {
            const int r = rowOfInput(combo);
            if (r >= 0 && form_->field(r).movesOnChoice)
                moveOn(r);
        });
        if (combo->isEditable()) {
            combo->lineEdit()->installEventFilter(this);
            connect(combo, &QComboBox::editTextChanged, this, [this, combo](const QString& text) {
                const int r = rowOfInput(combo);
                if (!syncing_ && r >= 0)
                    form_->setText(r, text);
            });
            textMenu(combo->lineEdit());
        }
    } else if (auto* list = qobject_cast<QListWidget*>(input)) {
        connect(list, &QListWidget::itemChanged, this, [this, list](QListWidgetItem* item) {
            const int r = rowOfInput(list);
            if (!syncing_ && r >= 0)
                form_->setChecked(r, list->row(item), item->checkState() == Qt::Checked);
        });
    }
}

// --- opening -------------------------------------------------------------------------------

void EntryDialog::prepare(int kind, const QStringList& cells)
{
    QStringList conferences;
    for (const lists::EntryField& f : lists::EntryFieldsFor(kind))
        if (f.role == EntryRole::StoredConferences) {
            try {
                conferences = lists::StoredConferences(program_.survey);
            } catch (const Error& e) {
                program_.notify(e.message(), 0, MessageKind::Error);
            }
        }
    // Hiding the rows of the last kind moves the focus; no event may reach a row of the old form.
    shown_.clear();
    form_ = std::make_unique<lists::EntryForm>(kind, conferences);
    if (!cells.isEmpty())
        form_->fill(cells);
    kind_ = kind;
    accepted_ = false;

    EntryPageWidget* page = pageWidgets_[static_cast<size_t>(lists::EntryPageIndexOf(kind))];
    pages_->setCurrentWidget(page);
    shown_.clear();
    std::vector<int> panels;
    for (const lists::EntryField& f : form_->fields()) {
        Shown s;
        s.panel = f.panel;
        s.page = page;
        for (size_t r = 0; r < page->rows().size(); ++r)
            if (page->rows()[r].field.panel == f.panel)
                s.pageRow = static_cast<int>(r);
        shown_.push_back(s);
        panels.push_back(f.panel);
    }
    page->showRows(panels, heights_);
    page->verticalScrollBar()->setValue(0);
    heading_->setText(lists::EntryHeading(kind));
    QString hint = lists::EntryHint(kind);
    hint.replace(QStringLiteral("<br>"), QStringLiteral("\n"));
    hints_->setHintText(hint);
    hints_->setVisible(!hint.isEmpty() && program_.state.Flags.flag(MessageFlags::HintsFlag) == 1);
    loadAll();
}

bool EntryDialog::editEntry(int kind, QStringList& cells)
{
    prepare(kind, cells);
    if (exec() != QDialog::Accepted)
        return false;
    cells = form_->row();
    return true;
}

bool EntryDialog::addEntry(int kind, lists::ListGrid& grid, int* row)
{
    QStringList cells;
    if (!editEntry(kind, cells))
        return false;
    const int added = grid.addRow(cells);
    if (row)
        *row = added;
    return true;
}

bool EntryDialog::changeEntry(int kind, lists::ListGrid& grid, int row)
{
    if (grid.isEmpty() || row < 0 || row >= grid.rowCount())
        return false;
    QStringList cells = grid.row(row);
    if (!editEntry(kind, cells))
        return false;
    grid.replaceRow(row, cells);
    return true;
}

void EntryDialog::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    RelayoutWindow(this);
    QDialog::showEvent(event);
    for (const auto& [name, height] : parsePanels(program_.state.PopupPanels))
        if (findChild<QWidget*>(name))
            heights_[name] = height;
    if (EntryPageWidget* page = currentPage())
        page->resizeRows(heights_);
    placeOnFirstOpening(this, program_.state.Windows[static_cast<size_t>(RememberedWindow::Popupy)], firstSize());
    layout()->activate();
    if (!hints_->isHidden()) {
        // Room for the header and about four lines of the hint.
        const int hintHeight = std::min(splitter_->height() / 3, tjHeight(font()) * 6);
        splitter_->setSizes({splitter_->height() - hintHeight, hintHeight});
    }
    for (int i = 0; form_ && i < form_->count(); ++i)
        if (!form_->isReadOnly(i)) {
            focusRow(i);
            break;
        }
}

// The size of the first opening: every row of a page of up to eight fields, the heading, the
// buttons and the hint panel in view.
QSize EntryDialog::firstSize()
{
    EntryPageWidget* page = currentPage();
    if (!page)
        return sizeHint();
    layout()->activate();
    int rows = 0;
    int shown = 0;
    for (const EntryPageWidget::Row& r : page->rows()) {
        if (r.panel->isHidden() || shown++ == 8)
            continue;
        rows += r.panel->minimumHeight() + r.grip->height();
    }
    const int around = std::max(0, height() - page->viewport()->height()); // heading, buttons, margins
    const int hint = hints_->isHidden() ? 0 : tjHeight(font()) * 6;
    return {std::max(width(), 560), around + rows + hint + 8};
}

void EntryDialog::done(int result)
{
    storePanels();
    QDialog::done(result);
}

// Every row panel of every page is written, the user's height where he gave one, else the
// height the panel has (or would have when shown).
void EntryDialog::storePanels()
{
    QList<QPair<QString, int>> panels;
    for (EntryPageWidget* page : pageWidgets_)
        for (const EntryPageWidget::Row& r : page->rows()) {
            const QString name = r.panel->objectName();
            const bool sized = r.panel->minimumHeight() > 0 && r.panel->minimumHeight() == r.panel->maximumHeight();
            const int height = heights_.contains(name) ? heights_.value(name)
                : sized                                 ? r.panel->minimumHeight()
                                                        : page->defaultHeight(r);
            panels.append({name, height});
        }
    program_.state.PopupPanels = formatPanels(panels);
}

// --- rows ----------------------------------------------------------------------------------

EntryPageWidget* EntryDialog::currentPage() const { return qobject_cast<EntryPageWidget*>(pages_->currentWidget()); }

QWidget* EntryDialog::input(int row) const
{
    if (row < 0 || row >= static_cast<int>(shown_.size()))
        return nullptr;
    const Shown& s = shown_[static_cast<size_t>(row)];
    return s.page->rows()[static_cast<size_t>(s.pageRow)].input;
}

QWidget* EntryDialog::rowPanel(int row) const
{
    if (row < 0 || row >= static_cast<int>(shown_.size()))
        return nullptr;
    const Shown& s = shown_[static_cast<size_t>(row)];
    return s.page->rows()[static_cast<size_t>(s.pageRow)].panel;
}

QLabel* EntryDialog::rowCaption(int row) const
{
    if (row < 0 || row >= static_cast<int>(shown_.size()))
        return nullptr;
    const Shown& s = shown_[static_cast<size_t>(row)];
    return s.page->rows()[static_cast<size_t>(s.pageRow)].caption;
}

int EntryDialog::rowOfInput(const QWidget* widget) const
{
    if (!widget || !form_)
        return -1;
    const int rows = std::min(static_cast<int>(shown_.size()), form_->count());
    for (int i = 0; i < rows; ++i)
        if (input(i) == widget)
            return i;
    return -1;
}

int EntryDialog::maxLengthOf(int row) const
{
    const QString& field = form_->field(row).field;
    for (auto it = maxLengths_.cbegin(); it != maxLengths_.cend(); ++it)
        if (it.key().compare(field, Qt::CaseInsensitive) == 0)
            return it.value();
    return 0;
}

void EntryDialog::loadRow(int row)
{
    QWidget* w = input(row);
    const lists::EntryField& f = form_->field(row);
    const bool readOnly = form_->isReadOnly(row);
    const int maxLength = maxLengthOf(row);
    rowCaption(row)->setText(f.caption);
    const bool wasSyncing = syncing_;
    syncing_ = true;
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setMaxLength(allowedLength(maxLength, form_->text(row)));
        if (line->text() != form_->text(row))
            line->setText(form_->text(row));
        line->setReadOnly(readOnly);
        setBase(line, readOnly);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        memoLimits_[row] = allowedLength(maxLength, form_->text(row));
        if (memo->toPlainText() != form_->text(row))
            memo->setPlainText(form_->text(row));
        memo->setReadOnly(readOnly);
        setBase(memo, readOnly);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStringList shownItems;
        for (int k = 0; k < combo->count(); ++k)
            shownItems << combo->itemText(k);
        if (shownItems != form_->items(row)) {
            combo->clear();
            combo->addItems(form_->items(row));
        }
        if (combo->isEditable()) {
            combo->lineEdit()->setMaxLength(allowedLength(maxLength, form_->text(row)));
            combo->setCurrentIndex(form_->chosen(row));
            combo->setEditText(form_->text(row));
        } else {
            combo->setCurrentIndex(form_->chosen(row));
        }
        combo->setEnabled(!readOnly);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        const QStringList& items = form_->items(row);
        bool same = list->count() == items.size();
        for (int k = 0; same && k < items.size(); ++k)
            same = list->item(k)->text() == items[k];
        if (!same) {
            list->clear();
            for (const QString& name : items) {
                auto* item = new QListWidgetItem(name, list);
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            }
        }
        for (int k = 0; k < list->count(); ++k)
            list->item(k)->setCheckState(form_->isChecked(row, k) ? Qt::Checked : Qt::Unchecked);
    }
    syncing_ = wasSyncing;
}

void EntryDialog::loadAll(int except)
{
    for (int i = 0; i < form_->count(); ++i)
        if (i != except)
            loadRow(i);
}

void EntryDialog::takeText(int row)
{
    if (syncing_ || row < 0)
        return;
    QWidget* w = input(row);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        form_->setText(row, line->text());
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        KeepTypedTextWithin(memo, memoLimits_.value(row, allowedLength(maxLengthOf(row), form_->text(row))));
        form_->setText(row, memo->toPlainText());
    }
}

void EntryDialog::focusRow(int row)
{
    QWidget* w = input(row);
    if (!w)
        return;
    w->setFocus(Qt::OtherFocusReason);
    if (EntryPageWidget* page = currentPage())
        page->ensureWidgetVisible(rowPanel(row), 0, 0);
}

void EntryDialog::moveOn(int from)
{
    for (int i = from + 1; i < form_->count(); ++i)
        if (!form_->isReadOnly(i)) {
            focusRow(i);
            return;
        }
    save_->setFocus(Qt::OtherFocusReason);
}

bool EntryDialog::runExitCheck(int row)
{
    if (checking_ || form_->field(row).check == lists::EntryCheck::None || form_->isReadOnly(row))
        return true;
    checking_ = true;
    const lists::ExitCheck result = form_->leave(row, program_.state.ReportingYear);
    loadRow(row);
    if (!result.ok) {
        program_.notify(result.message);
        focusRow(row);
    }
    checking_ = false;
    return result.ok;
}

// --- commands ------------------------------------------------------------------------------

void EntryDialog::saveChanges()
{
    if (!form_)
        return;
    // The field being typed has not been left yet: its check runs here, as do those of every
    // other field, so nothing refused can be accepted.
    for (int i = 0; i < form_->count(); ++i)
        if (!runExitCheck(i))
            return;
    for (const lists::EntryForm::Acceptance& acceptance : {form_->accept(), form_->checkWidths(maxLengths_)})
        if (!acceptance.ok()) {
            program_.notify(acceptance.message());
            focusRow(acceptance.first);
            return;
        }
    accepted_ = true;
    done(QDialog::Accepted);
}

void EntryDialog::discardChanges() { reject(); }

void EntryDialog::reject()
{
    if (!accepted_) {
        if (!program_.ask(S("Czy na pewno chcesz pominąć wprowadzone zmiany?"), kDiscardQuestion))
            return;
        accepted_ = true;
    }
    QDialog::reject();
}

LongTextWindow* EntryDialog::longTextEditor()
{
    if (!longText_)
        longText_ = new LongTextWindow(program_.state, this);
    return longText_;
}

void EntryDialog::editLongText(int row)
{
    auto* memo = qobject_cast<QPlainTextEdit*>(input(row));
    if (!memo || form_->isReadOnly(row))
        return;
    LongTextWindow* editor = longTextEditor();
    editor->setHeading(form_->field(row).caption);
    // As in the field itself, a stored text longer than the field is kept whole; only typing is held back.
    editor->setMaxLength(memoLimits_.value(row, allowedLength(maxLengthOf(row), form_->text(row))));
    editor->setText(form_->text(row));
    if (editor->editText()) {
        form_->setText(row, editor->text());
        loadRow(row);
    }
    activateWindow();
    memo->moveCursor(QTextCursor::Start);
    memo->setFocus(Qt::OtherFocusReason);
}

QMenu* EntryDialog::contextMenuFor(QWidget* field)
{
    auto* menu = new QMenu(this);
    auto* line = qobject_cast<QLineEdit*>(field);
    auto* memo = qobject_cast<QPlainTextEdit*>(field);
    const bool readOnly = line ? line->isReadOnly() : memo && memo->isReadOnly();
    const bool selected = line ? line->hasSelectedText() : memo && memo->textCursor().hasSelection();
    QAction* cut = menu->addAction(S("Wytnij"), field, [line, memo] {
        if (line)
            line->cut();
        else if (memo)
            memo->cut();
    });
    QAction* copy = menu->addAction(S("Kopiuj"), field, [line, memo] {
        if (line)
            line->copy();
        else if (memo)
            memo->copy();
    });
    QAction* paste = menu->addAction(S("Wklej"), field, [line, memo] {
        if (line)
            line->paste();
        else if (memo)
            memo->paste();
    });
    QAction* remove = menu->addAction(S("Usuń"), field, [line, memo] {
        if (line && line->hasSelectedText())
            line->del();
        else if (memo)
            memo->textCursor().removeSelectedText();
    });
    cut->setEnabled(selected && !readOnly);
    copy->setEnabled(selected);
    paste->setEnabled(!readOnly);
    remove->setEnabled(selected && !readOnly);
    return menu;
}

// --- publications --------------------------------------------------------------------------

void EntryDialog::identifyJournal()
{
    const int journal = form_->indexOfRole(EntryRole::Journal);
    const QString typed = form_->text(journal);
    if (!journals_ || !journals_->isOpen() || numbers::IsBlank(typed)) {
        moveOn(journal);
        return;
    }
    if (identifyByIssn())
        return;
    if (const auto found = journals_->identifyInDialog(typed))
        applyJournal(*found);
    else
        openJournalSearch();
}

bool EntryDialog::identifyByIssn()
{
    const int issnRow = form_->indexOfRole(EntryRole::Issn);
    const int journal = form_->indexOfRole(EntryRole::Journal);
    if (issnRow < 0 || journal < 0 || !journals_ || !journals_->isOpen())
        return false;
    const QString issn = lists::issnCell(form_->text(issnRow));
    if (issn.isEmpty())
        return false;
    const lists::JournalMatch match = journals_->match(form_->text(journal), issn);
    if (match.kind != lists::MatchKind::Issn)
        return false;
    const lists::Journal found = journals_->journalOfRecord(match.journals.front());
    form_->setText(issnRow, issn);
    // A journal named by its ISSN alone gives the row its title.
    if (numbers::IsBlank(form_->text(journal)))
        form_->setText(journal, found.name);
    applyJournal(found);
    return true;
}

void EntryDialog::identifyFromIssnField()
{
    const int issnRow = form_->indexOfRole(EntryRole::Issn);
    if (!identifyByIssn())
        moveOn(issnRow);
}

void EntryDialog::openJournalSearch()
{
    if (!journals_ || !search_ || !journals_->isOpen() || !isVisible())
        return;
    const int journal = form_->indexOfRole(EntryRole::Journal);
    const int listed = form_->indexOfRole(EntryRole::ListedJournal);
    if (journal < 0 || listed < 0)
        return;
    if (const auto chosen = search_->chooseForEntry(form_->text(listed), form_->text(journal), kind_))
        applyJournal(*chosen);
}

void EntryDialog::applyJournal(const lists::Journal& journal)
{
    form_->setListedJournal(journal);
    loadAll();
    focusRow(form_->indexOfField(QStringLiteral("Tytul")));
}

// --- keyboard and mouse --------------------------------------------------------------------

bool EntryDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (!form_)
        return QDialog::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    QWidget* owner = widget;
    // A memo's viewport and an editable drop-down's line edit stand for their input.
    if (widget && widget->parentWidget()
        && (qobject_cast<QPlainTextEdit*>(widget->parentWidget()) || qobject_cast<QComboBox*>(widget->parentWidget())))
        owner = widget->parentWidget();
    const int row = rowOfInput(owner);
    if (row < 0)
        return QDialog::eventFilter(watched, event);
    const EntryRole role = form_->field(row).role;

    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            break;
        if (auto* combo = qobject_cast<QComboBox*>(owner); combo && combo->view()->isVisible())
            break;
        if (role == EntryRole::Journal)
            identifyJournal();
        else if (role == EntryRole::Issn)
            identifyFromIssnField();
        else
            moveOn(row);
        return true;
    }
    case QEvent::FocusOut:
        if (watched == owner && userMove(static_cast<QFocusEvent*>(event)->reason()) && isVisible())
            runExitCheck(row);
        break;
    case QEvent::FocusIn:
        if (role == EntryRole::ListedJournal && watched == owner) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason)
                QTimer::singleShot(0, this, &EntryDialog::openJournalSearch);
        }
        break;
    case QEvent::MouseButtonPress:
        if (role == EntryRole::ListedJournal && owner->hasFocus())
            QTimer::singleShot(0, this, &EntryDialog::openJournalSearch);
        break;
    case QEvent::MouseButtonDblClick:
        if (form_->field(row).input == EntryInput::Memo && role != EntryRole::ListedJournal) {
            editLongText(row);
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vestrum
