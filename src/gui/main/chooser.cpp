#include "gui/main/chooser.h"

#include "base/grid_rules.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vestrum {
namespace {

// Each catalogue row keeps, after its code and name, the code as it sorts: some classification
// codes begin with a no-break space, which must not move them out of code order.
constexpr int kCodeSortKey = 2;

QString codeSortKey(const QString& code)
{
    QString key = code;
    key.remove(QChar(0x00A0));
    return key;
}

// The column a header click sorts by: the code's sort key for the code column.
int sortKeyColumn(int column) { return column == 0 ? kCodeSortKey : column; }

// The chosen list draws its own lines: 4 px from the left, a selected line white on the menu
// highlight, the others black, or grey text when the list is disabled.
class ChosenLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        const bool enabled = option.state & QStyle::State_Enabled;
        if (selected)
            painter->fillRect(option.rect, option.palette.color(QPalette::Active, QPalette::Highlight));
        QColor ink = Qt::black;
        if (selected)
            ink = Qt::white;
        else if (!enabled)
            ink = option.palette.color(QPalette::Disabled, QPalette::Text);
        painter->setPen(ink);
        painter->setFont(option.font);
        const QRect r = option.rect.adjusted(4, 0, 0, 0);
        painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
        painter->restore();
    }
};

// The catalogue keeps its sideways position when a row becomes current: a name wider than the
// view would otherwise scroll its column to the left edge on a click and hide the codes.
class CatalogueTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

    void scrollTo(const QModelIndex& index, ScrollHint hint) override
    {
        const int across = horizontalScrollBar()->value();
        QTreeWidget::scrollTo(index, hint);
        horizontalScrollBar()->setValue(across);
    }
};

const form::Control* controlOfKind(const form::Row& row, form::ControlKind kind, int nth = 0)
{
    for (const form::Control& c : row.controls)
        if (c.kind == kind && nth-- == 0)
            return &c;
    return nullptr;
}

} // namespace

CodeChooserWidget::CodeChooserWidget(const form::Row& row, QString notFound, QWidget* parent)
    : QWidget(parent), notFound_(std::move(notFound))
{
    const form::Control* cat = controlOfKind(row, form::ControlKind::CatalogueList);
    const form::Control* chosen = controlOfKind(row, form::ControlKind::ChosenList);
    const form::Control* field = controlOfKind(row, form::ControlKind::SearchField);
    const form::Control* find = controlOfKind(row, form::ControlKind::Button, 0);
    const form::Control* add = controlOfKind(row, form::ControlKind::Button, 1);
    const form::Control* remove = controlOfKind(row, form::ControlKind::Button, 2);

    headers_ = cat->caption.split(QLatin1Char('|'));
    catalogue_ = new CatalogueTree(this);
    catalogue_->setObjectName(cat->name);
    catalogue_->setRootIsDecorated(false);
    catalogue_->setColumnCount(2);
    catalogue_->setSelectionMode(QAbstractItemView::SingleSelection);
    catalogue_->setUniformRowHeights(true);
    catalogue_->header()->setSectionsClickable(true);
    catalogue_->header()->setStretchLastSection(true);
    catalogue_->setHeaderLabels(headers_);

    chosen_ = new QListWidget(this);
    chosen_->setObjectName(chosen->name);
    chosen_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    chosen_->setItemDelegate(new ChosenLineDelegate(chosen_));

    auto* label = new QLabel(row.label, this);
    label->setTextFormat(Qt::PlainText);
    search_ = new QLineEdit(this);
    search_->setObjectName(field->name);
    find_ = new QPushButton(find->caption, this);
    find_->setObjectName(find->name);
    add_ = new QPushButton(QStringLiteral(">"), this);
    add_->setObjectName(add->name);
    add_->setToolTip(add->caption);
    remove_ = new QPushButton(QStringLiteral("<"), this);
    remove_->setObjectName(remove->name);
    remove_->setToolTip(remove->caption);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(label);
    searchRow->addWidget(search_, 1);
    searchRow->addWidget(find_);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch();
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addStretch();
    auto* lists = new QHBoxLayout;
    lists->addWidget(catalogue_, 3);
    lists->addLayout(buttons);
    lists->addWidget(chosen_, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(searchRow);
    layout->addLayout(lists, 1);

    catalogue_->installEventFilter(this);
    connect(catalogue_->header(), &QHeaderView::sectionClicked, this, &CodeChooserWidget::sortByColumn);
    connect(catalogue_, &QTreeWidget::itemDoubleClicked, this, [this] { addSelected(); });
    connect(add_, &QPushButton::clicked, this, [this] { addSelected(); });
    connect(remove_, &QPushButton::clicked, this, &CodeChooserWidget::removeSelected);
    connect(find_, &QPushButton::clicked, this, [this] { search(); });
    connect(search_, &QLineEdit::returnPressed, this, [this] { search(); });
}

bool CodeChooserWidget::eventFilter(QObject* watched, QEvent* event)
{
    // The code column follows the font, so no code is cut short.
    if (watched == catalogue_ && event->type() == QEvent::FontChange)
        catalogue_->resizeColumnToContents(0);
    return QWidget::eventFilter(watched, event);
}

void CodeChooserWidget::setCatalogue(const QVector<CodeName>& rows)
{
    rows_.clear();
    for (const CodeName& r : rows)
        rows_.push_back({r.code, r.name, codeSortKey(r.code)});
    grid::SortRows(rows_, sortKeyColumn(sortColumn_), grid::CaseFold::Ascii);
    fill();
    for (int c = 0; c < 2; ++c)
        catalogue_->resizeColumnToContents(c);
}

void CodeChooserWidget::sortByColumn(int column)
{
    if (column == sortColumn_ || column < 0 || column > 1)
        return;
    sortColumn_ = column;
    grid::MarkSortColumn(headers_, column);
    catalogue_->setHeaderLabels(headers_);
    grid::SortRows(rows_, sortKeyColumn(column), grid::CaseFold::Ascii);
    fill();
}

void CodeChooserWidget::fill()
{
    catalogue_->clear();
    QList<QTreeWidgetItem*> items;
    for (const QStringList& r : rows_)
        items << new QTreeWidgetItem(r.mid(0, 2));
    catalogue_->addTopLevelItems(items);
}

bool CodeChooserWidget::addSelected()
{
    const int row = selectedCatalogueRow();
    if (row < 0)
        return false;
    const QString line = rows_[row].value(0) + QStringLiteral(" - ") + rows_[row].value(1);
    if (chosenLines().contains(line))
        return false;
    chosen_->addItem(line);
    return true;
}

void CodeChooserWidget::removeSelected()
{
    const auto selected = chosen_->selectedItems();
    for (QListWidgetItem* item : selected)
        delete item;
}

bool CodeChooserWidget::search()
{
    const int row = grid::FindFirstContaining(rows_, 1, search_->text());
    if (row < 0) {
        if (notify)
            notify(notFound_);
        return false;
    }
    selectCatalogueRow(row);
    return true;
}

void CodeChooserWidget::setSearchText(const QString& text) { search_->setText(text); }

QStringList CodeChooserWidget::chosenLines() const
{
    QStringList out;
    for (int i = 0; i < chosen_->count(); ++i)
        out << chosen_->item(i)->text();
    return out;
}

void CodeChooserWidget::setChosenLines(const QStringList& lines)
{
    chosen_->clear();
    chosen_->addItems(lines);
}

void CodeChooserWidget::selectCatalogueRow(int row)
{
    QTreeWidgetItem* item = catalogue_->topLevelItem(row);
    if (!item)
        return;
    catalogue_->setCurrentItem(item);
    item->setSelected(true);
    catalogue_->scrollToItem(item);
}

int CodeChooserWidget::selectedCatalogueRow() const
{
    const auto selected = catalogue_->selectedItems();
    return selected.isEmpty() ? -1 : catalogue_->indexOfTopLevelItem(selected.first());
}

QString CodeChooserWidget::catalogueName(int row) const
{
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].value(1) : QString();
}

QStringList CodeChooserWidget::catalogueHeaders() const { return headers_; }

} // namespace vestrum
