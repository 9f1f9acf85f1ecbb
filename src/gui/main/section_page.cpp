#include "gui/main/section_page.h"

#include "gui/main/chooser.h"
#include "gui/common/user_font.h"
#include "survey/reference_tables.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/accessible_names.h"
#include "gui/common/keyboard_rules.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vestrum {
namespace {

using form::ControlKind;
using form::RowLayout;

constexpr char kMarkerProperty[] = "marker";
constexpr char kSumProperty[] = "sum";
constexpr char kButtonTagProperty[] = "buttonTag";

QLabel* makeLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

void setBackground(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, colour);
        p.setColor(group, QPalette::Button, colour);
    }
    // Disabled text stays dark enough to read: view mode is for reading the answers.
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(64, 64, 64));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(64, 64, 64));
    w->setPalette(p);
}

int numberFieldWidth(const QFont& font)
{
    return QFontMetrics(font).horizontalAdvance(QStringLiteral("999999999,99")) + 10;
}

bool isInput(const QWidget* w)
{
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w)
        || qobject_cast<const QComboBox*>(w) || qobject_cast<const QListWidget*>(w)
        || qobject_cast<const QTreeWidget*>(w) || qobject_cast<const ListGridView*>(w);
}

} // namespace

SectionPageWidget::SectionPageWidget(const form::Section& section, const form::Page& page, QWidget* parent)
    : QWidget(parent), section_(&section), page_(&page)
{
    InstallKeyboardRules();
    setAccessibleName(page.title.isEmpty() ? section.chooserText : page.title); // names its unlabelled grids
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    if (page.editable())
        buildButtonBar();
    if (bar_)
        layout->addWidget(bar_);

    const bool fills = page.kind == form::PageKind::Grid || page.kind == form::PageKind::Text
        || page.kind == form::PageKind::Chooser;
    QWidget* content = new QWidget;
    auto* rows = new QVBoxLayout(content);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(6);
    bool stretchingRow = false;
    for (const form::Row& row : page.rows) {
        RowEntry entry{&row, nullptr, {}};
        QWidget* panel = buildRow(row, entry);
        entry.panel = panel;
        const bool grows = row.layout == RowLayout::Grid || row.layout == RowLayout::Chooser
            || (row.layout == RowLayout::TallText && fills);
        rows->addWidget(panel, grows ? 1 : 0);
        stretchingRow = stretchingRow || grows;
        rowPanels_.push_back(panel);
        rows_.push_back(std::move(entry));
    }
    if (!stretchingRow)
        rows->addStretch(1);
    if (fills) {
        layout->addWidget(content, 1);
    } else {
        auto* scroll = new QScrollArea(this);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(content);
        scroll->viewport()->setAutoFillBackground(false);
        content->setAutoFillBackground(false);
        layout->addWidget(scroll, 1);
    }
    if (page.editable() && page.kind != form::PageKind::Grid)
        leaveEditMode();
}

void SectionPageWidget::buildButtonBar()
{
    bar_ = new QWidget(this);
    edit_ = new QPushButton(page_->editCaption, bar_);
    save_ = new QPushButton(form::SaveCaption(), bar_);
    discard_ = new QPushButton(form::DiscardCaption(), bar_);
    edit_->setObjectName(QStringLiteral("bEdit%1").arg(page_->tag));
    save_->setObjectName(QStringLiteral("bSave%1").arg(page_->tag));
    discard_->setObjectName(QStringLiteral("bDiscard%1").arg(page_->tag));
    for (QPushButton* b : {edit_, save_, discard_})
        b->setProperty(kTagProperty, page_->tag);
    save_->hide();
    discard_->hide();
    connect(edit_, &QPushButton::clicked, this, [this] { emit editClicked(this); });
    connect(save_, &QPushButton::clicked, this, [this] { emit saveClicked(this); });
    connect(discard_, &QPushButton::clicked, this, [this] { emit discardClicked(this); });
    bar_->installEventFilter(this);
    layOutButtonBar();
}

void SectionPageWidget::layOutButtonBar()
{
    if (!bar_)
        return;
    for (QPushButton* b : {edit_, save_, discard_})
        if (b->width() < b->sizeHint().width() && b->minimumWidth() != b->maximumWidth())
            b->resize(b->sizeHint());
    const int h = std::max({edit_->height(), save_->height(), discard_->height()});
    bar_->setFixedHeight(h + 8);
    const int x = (bar_->width() - edit_->width()) / 2;
    edit_->move(x, 4);
    save_->move(x - 8 - save_->width(), 4);
    discard_->move(x + edit_->width() + 8, 4);
}

QWidget* SectionPageWidget::buildControl(const form::Control& c, QWidget* parent)
{
    QWidget* w = nullptr;
    switch (c.kind) {
    case ControlKind::Text:
    case ControlKind::UnicodeText:
    case ControlKind::SearchField:
        w = new QLineEdit(parent);
        break;
    case ControlKind::WholeNumber:
    case ControlKind::Amount:
    case ControlKind::Sum: {
        auto* e = new QLineEdit(parent);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setProperty(kNumberFieldProperty, true);
        e->setFixedWidth(numberFieldWidth(font()));
        if (c.kind == ControlKind::Sum) {
            e->setReadOnly(true);
            e->setProperty(kSumProperty, true);
            setBackground(e, SumColour());
        }
        w = e;
        break;
    }
    case ControlKind::DropDown: {
        auto* combo = new QComboBox(parent);
        combo->addItems(c.items);
        w = combo;
        break;
    }
    case ControlKind::MultiLine:
        w = new QPlainTextEdit(parent);
        break;
    case ControlKind::ListButton: {
        auto* b = new QPushButton(c.caption, parent);
        b->setProperty(kButtonTagProperty, c.buttonTag);
        const int tag = c.buttonTag;
        connect(b, &QPushButton::clicked, this, [this, tag] { emit listButtonClicked(this, tag); });
        w = b;
        break;
    }
    case ControlKind::Grid: {
        grid_ = new ListGridView(parent);
        QStringList headers;
        for (const form::GridColumn& col : c.columns)
            headers << col.header;
        grid_->setHeaders(headers);
        grid_->clearData();
        setBackground(grid_, ViewModeColour());
        connect(grid_, &ListGridView::dataRowDoubleClicked, this, [this] { emit gridDoubleClicked(this); });
        w = grid_;
        break;
    }
    case ControlKind::Radio: {
        auto* r = new QRadioButton(c.caption, parent);
        r->setChecked(c.checked);
        w = r;
        break;
    }
    case ControlKind::Button:
        w = new QPushButton(c.caption, parent);
        break;
    case ControlKind::ChosenList:
    case ControlKind::CatalogueList:
        break; // built by the chooser
    }
    if (!w)
        return nullptr;
    w->setObjectName(c.name);
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint& pos) {
            QMenu* menu = createFieldMenu(w, this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(w->mapToGlobal(pos));
        });
    }
    // Enter moves on from fields and drop-downs alike (the search field has its own Enter).
    if ((qobject_cast<QLineEdit*>(w) && c.kind != ControlKind::SearchField) || qobject_cast<QComboBox*>(w))
        w->installEventFilter(this);
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && (page_->tag == 101 || page_->tag == 102))
        MoveOnAfterListChoice(combo, [this, combo] { focusNextFrom(combo); });
    return w;
}

QWidget* SectionPageWidget::buildRow(const form::Row& row, RowEntry& entry)
{
    auto* panel = new QWidget;
    panel->setProperty(kMarkerProperty, static_cast<int>(row.marker));
    auto addInputs = [&](QWidget* w) {
        if (w && !qobject_cast<QPushButton*>(w))
            entry.inputs.push_back(w);
    };

    switch (row.layout) {
    case RowLayout::Heading: {
        auto* h = new QHBoxLayout(panel);
        h->setContentsMargins(0, row.marker == form::NoteRow ? 0 : 4, 4, 0);
        h->setSpacing(8);
        QLabel* label = makeLabel(row.label, panel);
        QFont f = label->font();
        f.setBold(row.controls.empty());
        f.setItalic(row.marker == form::NoteRow);
        label->setFont(f);
        label->setWordWrap(row.controls.empty());
        h->addWidget(label, row.controls.empty() ? 1 : 0);
        if (!row.controls.empty()) {
            auto* group = new QButtonGroup(panel);
            for (const form::Control& c : row.controls) {
                QWidget* w = buildControl(c, panel);
                if (auto* r = qobject_cast<QRadioButton*>(w))
                    group->addButton(r);
                h->addWidget(w);
                addInputs(w);
            }
            h->addStretch(1);
        }
        break;
    }
    case RowLayout::LabelAbove: {
        auto* v = new QVBoxLayout(panel);
        v->setContentsMargins(0, 0, 4, 0);
        v->setSpacing(4);
        v->addWidget(makeLabel(row.label, panel));
        for (const form::Control& c : row.controls) {
            QWidget* w = buildControl(c, panel);
            if (qobject_cast<QLineEdit*>(w) && c.isNumber()) {
                // The citation count: a number field as wide as the row like the others here.
                w->setProperty(kNumberFieldProperty, false);
                w->setMinimumWidth(0);
                w->setMaximumWidth(QWIDGETSIZE_MAX);
            }
            v->addWidget(w);
            addInputs(w);
        }
        break;
    }
    case RowLayout::FieldsRight:
    case RowLayout::ListButton: {
        auto* h = new QHBoxLayout(panel);
        h->setContentsMargins(0, 0, 4, 0);
        h->setSpacing(4);
        h->addWidget(makeLabel(row.label, panel), 1);
        for (const form::Control& c : row.controls) {
            QWidget* w = buildControl(c, panel);
            if (auto* button = qobject_cast<QPushButton*>(w); button && c.kind == ControlKind::ListButton)
                SpeakWithPoint(button, row.label); // the captions of the points' lists are all alike
            h->addWidget(w, 0, Qt::AlignVCenter);
            addInputs(w);
        }
        break;
    }
    case RowLayout::Captions: {
        auto* h = new QHBoxLayout(panel);
        h->setContentsMargins(0, 0, 4, 0);
        h->setSpacing(4);
        h->addStretch(1);
        for (const QString& text : row.captions) {
            QLabel* label = makeLabel(text, panel);
            label->setAlignment(Qt::AlignRight | Qt::AlignBottom);
            captionLabels_.push_back(label);
            h->addWidget(label, 0, Qt::AlignBottom);
        }
        break;
    }
    case RowLayout::TallText: {
        auto* v = new QVBoxLayout(panel);
        v->setContentsMargins(0, 0, 4, 0);
        v->setSpacing(4);
        if (!row.label.isEmpty())
            v->addWidget(makeLabel(row.label, panel));
        for (const form::Control& c : row.controls) {
            QWidget* w = buildControl(c, panel);
            if (page_->kind != form::PageKind::Text)
                w->setMinimumHeight(QFontMetrics(font()).lineSpacing() * 8);
            v->addWidget(w, 1);
            addInputs(w);
        }
        break;
    }
    case RowLayout::Chooser: {
        auto* v = new QVBoxLayout(panel);
        v->setContentsMargins(0, 0, 0, 0);
        const bool disciplines = page_->tag == 103;
        chooser_ = new CodeChooserWidget(
            row,
            disciplines ? QString::fromUtf8("Nie znaleziono dyscypliny zawierającej podany ciąg znaków")
                        : QString::fromUtf8("Nie znaleziono opisu działalności zawierającej podany ciąg znaków"),
            panel);
        chooser_->sortByColumn(disciplines ? 1 : 0);
        chooser_->setCatalogue(disciplines ? DisciplineTable() : Pkd2007Table());
        v->addWidget(chooser_);
        break;
    }
    case RowLayout::Grid: {
        auto* v = new QVBoxLayout(panel);
        v->setContentsMargins(0, 0, 0, 0);
        for (const form::Control& c : row.controls)
            v->addWidget(buildControl(c, panel));
        break;
    }
    }
    return panel;
}

QWidget* SectionPageWidget::control(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    return findChild<QWidget*>(name);
}

void SectionPageWidget::setEditable(bool editable)
{
    for (QWidget* panel : rowPanels_) {
        if (panel->property(kMarkerProperty).toInt() == form::LeftAloneRow)
            continue;
        const auto children = panel->findChildren<QWidget*>();
        for (QWidget* w : children) {
            if (w->property(kSumProperty).toBool()) {
                w->setEnabled(editable);
            } else if (isInput(w)) {
                setBackground(w, editable ? QColor(Qt::white) : ViewModeColour());
                w->setEnabled(editable);
            } else if (qobject_cast<QPushButton*>(w) || qobject_cast<QRadioButton*>(w)) {
                w->setEnabled(editable);
            }
        }
    }
}

void SectionPageWidget::enterEditMode()
{
    setEditable(true);
    // The edit button goes first: hiding it while it holds the focus would pass the focus on.
    const bool editHadFocus = edit_ && edit_->hasFocus();
    if (edit_) {
        save_->show();
        discard_->show();
        if (editHadFocus)
            setFocus(Qt::OtherFocusReason); // the page holds it until a field takes it
        edit_->hide();
    }
    if (QWidget* first = firstEditControl())
        first->setFocus(Qt::OtherFocusReason);
    editMode_ = true;
}

QWidget* SectionPageWidget::firstEditControl() const
{
    for (const RowEntry& entry : rows_) {
        // A note or a group heading holds nothing to type into: the focus goes on to the row below.
        const bool heading = entry.row->layout == RowLayout::Heading && entry.row->controls.empty();
        if (entry.row->marker == form::NoteRow || heading)
            continue;
        // Otherwise only the first row counts; a caption row leaves the focus where it was.
        for (const form::Control& c : entry.row->controls) {
            QWidget* w = control(c.name);
            if (w && w->isEnabled() && w->focusPolicy() != Qt::NoFocus && !w->property(kSumProperty).toBool())
                return w;
        }
        return nullptr;
    }
    return nullptr;
}

void SectionPageWidget::leaveEditMode()
{
    setEditable(false);
    if (edit_) {
        edit_->show();
        save_->hide();
        discard_->hide();
    }
    editMode_ = false;
}

QMenu* SectionPageWidget::createFieldMenu(QWidget* field, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QAction* cut = menu->addAction(QStringLiteral("Wytnij"));
    QAction* copy = menu->addAction(QStringLiteral("Kopiuj"));
    QAction* paste = menu->addAction(QStringLiteral("Wklej"));
    QAction* del = menu->addAction(QString::fromUtf8("Usuń"));
    if (auto* e = qobject_cast<QLineEdit*>(field)) {
        connect(cut, &QAction::triggered, e, &QLineEdit::cut);
        connect(copy, &QAction::triggered, e, &QLineEdit::copy);
        connect(paste, &QAction::triggered, e, &QLineEdit::paste);
        connect(del, &QAction::triggered, e, [e] {
            if (e->hasSelectedText() && !e->isReadOnly())
                e->del();
        });
    } else if (auto* t = qobject_cast<QPlainTextEdit*>(field)) {
        connect(cut, &QAction::triggered, t, &QPlainTextEdit::cut);
        connect(copy, &QAction::triggered, t, &QPlainTextEdit::copy);
        connect(paste, &QAction::triggered, t, &QPlainTextEdit::paste);
        connect(del, &QAction::triggered, t, [t] {
            if (!t->isReadOnly())
                t->textCursor().removeSelectedText();
        });
    }
    return menu;
}

void SectionPageWidget::focusNextFrom(QWidget* field)
{
    for (size_t r = 0; r < rows_.size(); ++r) {
        const auto& inputs = rows_[r].inputs;
        const auto it = std::find(inputs.begin(), inputs.end(), field);
        if (it == inputs.end())
            continue;
        const size_t index = static_cast<size_t>(it - inputs.begin());
        // Across the row: the first three columns of the section 3 table, "Wszyscy" of section 7.
        const bool acrossRow = (page_->tag == 3 && inputs.size() == 4 && index < 3)
            || (page_->tag == 7 && inputs.size() == 2 && index == 0);
        if (acrossRow) {
            inputs[index + 1]->setFocus();
            return;
        }
        if (!focusRow(r + 1) && save_)
            save_->setFocus();
        return;
    }
}

bool SectionPageWidget::focusRow(size_t index)
{
    for (size_t r = index; r < rows_.size(); ++r) {
        const auto& inputs = rows_[r].inputs;
        if (inputs.empty())
            continue; // headings and caption rows hold nothing to type into
        QWidget* first = inputs.front();
        if (first->property(kSumProperty).toBool() || !first->isEnabled())
            continue;
        first->setFocus();
        return true;
    }
    return false;
}

bool SectionPageWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == bar_ && event->type() == QEvent::Resize)
        layOutButtonBar();
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* combo = qobject_cast<QComboBox*>(watched);
        const bool movesOn = qobject_cast<QLineEdit*>(watched) || (combo && !combo->view()->isVisible());
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && movesOn) {
            focusNextFrom(static_cast<QWidget*>(watched));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SectionPageWidget::syncCaptionWidths()
{
    if (captionLabels_.empty())
        return;
    int width = numberFieldWidth(font());
    for (QLineEdit* e : findChildren<QLineEdit*>())
        if (e->property(kNumberFieldProperty).toBool()) {
            width = e->width();
            break;
        }
    for (QLabel* label : captionLabels_)
        label->setFixedWidth(width);
}

void SectionPageWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    syncCaptionWidths();
    layOutButtonBar();
}

void SectionPageWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    syncCaptionWidths();
    layOutButtonBar();
}

} // namespace vestrum
