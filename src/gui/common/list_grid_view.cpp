#include "gui/common/list_grid_view.h"

#include "base/grid_rules.h"

#include "gui/common/keyboard_rules.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QRawFont>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vestrum {

// --- The model ------------------------------------------------------------------------------

void ListGridModel::setList(lists::ListGrid list)
{
    beginResetModel();
    list_ = std::move(list);
    endResetModel();
}

void ListGridModel::listReset()
{
    beginResetModel();
    endResetModel();
}

void ListGridModel::setCell(int column, int dataRow, const QString& text)
{
    if (dataRow < 0 || dataRow >= list_.rowCount() || column < 0 || column >= list_.columnCount())
        return;
    list_.setCell(column, dataRow, text);
    const QModelIndex at = index(dataRow, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

int ListGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.rowCount(); }

int ListGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.columnCount(); }

QVariant ListGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= list_.rowCount())
        return {};
    return list_.cell(index.column(), index.row());
}

QVariant ListGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    return list_.headers().value(section);
}

// --- Measuring text -------------------------------------------------------------------------

namespace {

constexpr int kCellMarginX = 4; // left and right, so a column is its text + 8
constexpr int kCellMarginY = 2; // top and bottom, so a row is its text + 4
constexpr int kRowHandleWidth = 10;
constexpr int kNoRoomLimit = 100000;
constexpr int kRowsFreedLater = 1000;

bool breaksLine(char16_t ch) { return ch == u'\n' || ch == u'\r' || ch == 0x2028 || ch == 0x2029; }

} // namespace

// What fitting a grid measures, for one font. Lists repeat their texts and their letters, so the
// width a text needs is found from the advances of its letters and of its letter pairs (which
// carry the font's kerning and two-letter ligatures), each shaped once; only texts that might be
// the widest of their column are then shaped whole. A text whose letters are not plain (line
// breaks, tabs, combining marks, letters from a fallback font) is always shaped whole.
class GridTextMeasure {
public:
    explicit GridTextMeasure(const QFont& font)
        : font_(font), metrics_(font), primary_(QRawFont::fromFont(font)),
          overhangLimit_(std::abs(std::min<qreal>(0, metrics_.minRightBearing()))),
          lineHeight_(QFontMetrics(font).height()), slot_(kSlotRange, kUnknown),
          steps_(static_cast<size_t>(kMaxSlots) * kMaxSlots, std::numeric_limits<float>::quiet_NaN())
    {
    }

    const QFont& font() const { return font_; }
    int lineHeight() const { return lineHeight_; }

    // The width, in whole pixels, in which every line of `text` is drawn word-wrapped without
    // breaking: its advance plus what its last letter overhangs to the right.
    int width(const QString& text)
    {
        auto it = widths_.constFind(text);
        if (it == widths_.constEnd())
            it = widths_.insert(text, shapedWidth(text));
        return *it;
    }

    // The width `text` needs, to within kTolerance pixels, or -1 when it must be shaped whole.
    float estimate(const QString& text)
    {
        const auto* letters = reinterpret_cast<const char16_t*>(text.utf16());
        const qsizetype size = text.size();
        float sum = 0;
        unsigned previous = kStart;
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t ch = letters[i];
            if (ch >= kSlotRange)
                return -1;
            unsigned s = slot_[ch];
            if (s >= kNotPlain && (s == kNotPlain || (s = addSlot(ch)) == kNotPlain))
                return -1;
            float step = steps_[previous * kMaxSlots + s];
            if (step != step) // not shaped yet
                step = shapeStep(previous, s);
            sum += step;
            previous = s;
        }
        for (qsizetype i = size - 1; i >= 0; --i)
            if (letters[i] != u' ')
                return sum + overhangs_[slot_[letters[i]]];
        return sum;
    }

    // The widest width() of each column of `rows`, estimating first and shaping only the texts
    // that may beat the widest shaped so far.
    std::vector<int> widest(const std::vector<QStringList>& rows, int columns)
    {
        const size_t count = rows.size();
        std::vector<std::vector<float>> estimates(static_cast<size_t>(columns), std::vector<float>(count, -1));
        std::vector<int> best(static_cast<size_t>(columns), 0);
        std::vector<int> top(static_cast<size_t>(columns), -1);
        for (size_t r = 0; r < count; ++r) {
            const QStringList& row = rows[r];
            for (int c = 0; c < columns; ++c) {
                const QString& text = row.at(c);
                const float e = text.isEmpty() ? 0 : estimate(text);
                const auto column = static_cast<size_t>(c);
                if (e < 0) {
                    best[column] = std::max(best[column], width(text));
                    continue;
                }
                estimates[column][r] = e;
                if (top[column] < 0 || e > estimates[column][static_cast<size_t>(top[column])])
                    top[column] = static_cast<int>(r);
            }
        }
        for (size_t c = 0; c < best.size(); ++c) {
            if (top[c] < 0)
                continue;
            best[c] = std::max(best[c], width(rows[static_cast<size_t>(top[c])].at(static_cast<int>(c))));
            for (size_t r = 0; r < count; ++r)
                if (estimates[c][r] >= 0 && estimates[c][r] + kTolerance > best[c])
                    best[c] = std::max(best[c], width(rows[r].at(static_cast<int>(c))));
        }
        return best;
    }

    // The height of `text` laid out word-wrapped `room` pixels wide.
    int wrappedHeight(const QString& text, int room)
    {
        if (room >= width(text) && estimate(text) >= 0) {
            // One line of the font's own letters that fits its room: as high as any other such line.
            if (oneLine_ < 0)
                oneLine_ = layOut(text, room);
            return oneLine_;
        }
        const auto key = std::make_pair(text, room);
        auto it = wrapped_.constFind(key);
        if (it == wrapped_.constEnd())
            it = wrapped_.insert(key, layOut(text, room));
        return *it;
    }

private:
    static constexpr int kSlotRange = 0x2190; // letters above are always shaped whole
    static constexpr unsigned kMaxSlots = 128;
    static constexpr unsigned kStart = 0; // the slot before the first letter
    static constexpr unsigned kNotPlain = 254;
    static constexpr unsigned kUnknown = 255;
    static constexpr float kTolerance = 0.5f;

    int layOut(const QString& text, int room) const
    {
        return QFontMetrics(font_).boundingRect(QRect(0, 0, room, kNoRoomLimit), Qt::TextWordWrap, text).height();
    }

    int shapedWidth(const QString& text) const
    {
        qreal widest = 0;
        qsizetype start = 0;
        for (qsizetype i = 0; i <= text.size(); ++i) {
            if (i < text.size() && !breaksLine(text[i].unicode()))
                continue;
            const QStringView line = QStringView(text).mid(start, i - start);
            widest = std::max(widest, metrics_.horizontalAdvance(line.toString()) + overhangOf(line));
            if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
        return static_cast<int>(std::ceil(widest - 1e-6));
    }

    qreal overhangOf(QStringView line) const
    {
        for (qsizetype i = line.size() - 1; i >= 0; --i)
            if (!line[i].isSpace())
                return std::min(overhangLimit_, std::max<qreal>(0, -metrics_.rightBearing(line[i])));
        return 0;
    }

    static bool plainLetter(char16_t ch)
    {
        const QChar qc(ch);
        if (ch < 0x20 || (ch >= 0x7f && ch < 0xa0) || ch == 0xad || qc.isMark() || qc.isSurrogate()
            || qc.category() == QChar::Other_Format)
            return false;
        return ch < 0x0590 || (ch >= 0x1e00 && ch < 0x2000) || (ch >= 0x2010 && ch <= 0x2027)
            || (ch >= 0x2030 && ch <= 0x205e) || (ch >= 0x20a0 && ch <= 0x20cf) || (ch >= 0x2100 && ch < 0x2190);
    }

    // A letter met for the first time gets a slot, or is marked as one to shape whole.
    unsigned addSlot(char16_t ch)
    {
        unsigned char& s = slot_[ch];
        if (!plainLetter(ch) || !primary_.isValid() || !primary_.supportsCharacter(QChar(ch))
            || letters_.size() >= kMaxSlots) {
            s = kNotPlain;
            return s;
        }
        s = static_cast<unsigned char>(letters_.size());
        letters_.push_back(ch);
        advances_.push_back(metrics_.horizontalAdvance(QString(QChar(ch))));
        overhangs_.push_back(static_cast<float>(overhangOf(QStringView(&letters_.back(), 1))));
        return s;
    }

    // What letter `b` adds after letter `a`: its advance, with the kerning of the pair or the
    // ligature ("ff" and the like) the two form.
    float shapeStep(unsigned a, unsigned b)
    {
        qreal step = advances_[b];
        if (a != kStart) {
            const QString both = QString(QChar(letters_[a])) + QChar(letters_[b]);
            step = metrics_.horizontalAdvance(both) - advances_[a];
        }
        steps_[a * kMaxSlots + b] = static_cast<float>(step);
        return static_cast<float>(step);
    }

    QFont font_;
    QFontMetricsF metrics_;
    QRawFont primary_;
    qreal overhangLimit_;
    int lineHeight_;
    int oneLine_ = -1;
    std::vector<unsigned char> slot_;
    std::vector<char16_t> letters_{u'\0'}; // slot 0 is the start of a text
    std::vector<qreal> advances_{0};
    std::vector<float> overhangs_{0};
    std::vector<float> steps_;
    QHash<QString, int> widths_;
    QHash<std::pair<QString, int>, int> wrapped_;
};

// --- Header and cells -----------------------------------------------------------------------

// The header row: each header bold, centred and word-wrapped inside the cell less the margins, as
// tall as the last fit made it. The row header on the left is a narrow handle for dragging row
// borders. A press of either button on a header, away from a border, sorts.
class GridHeaderView : public QHeaderView {
public:
    GridHeaderView(Qt::Orientation orientation, ListGridView* grid) : QHeaderView(orientation, grid), grid_(grid)
    {
        setSectionResizeMode(QHeaderView::Interactive);
        setMinimumSectionSize(1);
        setHighlightSections(false);
        setSectionsClickable(orientation == Qt::Horizontal);
    }

    void setFittedHeight(int height)
    {
        if (height == fittedHeight_)
            return;
        fittedHeight_ = height;
        updateGeometry();
    }

    QSize sizeHint() const override
    {
        if (orientation() == Qt::Vertical)
            return {kRowHandleWidth, length()};
        const int height =
            fittedHeight_ > 0 ? fittedHeight_ : QFontMetrics(grid_->headerFont()).height() + 2 * kCellMarginY;
        return {length(), height};
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        if (!rect.isValid())
            return;
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = rect;
        option.section = logicalIndex;
        style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
        if (orientation() == Qt::Vertical)
            return;
        painter->save();
        painter->setFont(grid_->headerFont());
        painter->setPen(palette().color(QPalette::ButtonText));
        painter->drawText(rect.adjusted(kCellMarginX, kCellMarginY, -kCellMarginX, -kCellMarginY),
                          Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                          model() ? model()->headerData(logicalIndex, orientation()).toString() : QString());
        painter->restore();
    }

    // The base class sorts on the left button only; the right one sorts too, but not on a border.
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton && orientation() == Qt::Horizontal) {
            const int x = static_cast<int>(event->position().x());
            const int section = logicalIndexAt(x);
            const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
            const int start = sectionViewportPosition(section);
            if (section >= 0 && x - start > grip && start + sectionSize(section) - x > grip)
                emit sectionPressed(section);
            return;
        }
        QHeaderView::mousePressEvent(event);
    }

private:
    ListGridView* grid_;
    int fittedHeight_ = 0;
};

namespace {

// Cell texts word-wrapped inside the cell less the margins, left-aligned, "&" shown as it is.
class WrappedCellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        painter->save();
        painter->setFont(opt.font);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(QPalette::Normal, selected ? QPalette::HighlightedText : QPalette::Text));
        const auto* grid = qobject_cast<const ListGridView*>(widget);
        const QRect room = grid ? grid->cellTextRect(opt.rect)
                                : opt.rect.adjusted(kCellMarginX, kCellMarginY, -kCellMarginX, -kCellMarginY);
        painter->drawText(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        painter->restore();
    }
};

} // namespace

// --- The grid -------------------------------------------------------------------------------

ListGridView::ListGridView(QWidget* parent)
    : QTableView(parent), model_(new ListGridModel(this)), header_(new GridHeaderView(Qt::Horizontal, this))
{
    InstallKeyboardRules();
    setHorizontalHeader(header_);
    setVerticalHeader(new GridHeaderView(Qt::Vertical, this));
    setModel(model_);
    setItemDelegate(new WrappedCellDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(true);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 2 * kCellMarginY);

    connect(header_, &QHeaderView::sectionPressed, this, [this](int column) { sortByColumn(column); });
    connect(header_, &QHeaderView::sectionResized, this, [this] {
        if (!fitting_)
            columnsChanged(); // a column dragged by the user: rows wrap anew at its width
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit dataRowDoubleClicked(index.row());
    });
}

ListGridView::~ListGridView() = default;

void ListGridView::setList(lists::ListGrid list)
{
    // The rows shown before are freed once the new ones are on screen, not while they are opened.
    auto old = std::make_shared<lists::ListGrid>(std::move(model_->list()));
    model_->setList(std::move(list));
    if (old->rowCount() > kRowsFreedLater)
        QTimer::singleShot(0, this, [old] { old->clear(); });
    widestCells_.clear();
    laidOut_.assign(static_cast<size_t>(dataRowCount()), 0);
    refitIfShown();
}

void ListGridView::listReset()
{
    model_->listReset();
    widestCells_.clear();
    laidOut_.assign(static_cast<size_t>(dataRowCount()), 0);
    refitIfShown();
}

// A grid fitted before is fitted again when its rows or font change; a hidden one is fitted by
// whoever shows it, in the font it is shown in.
void ListGridView::refitIfShown()
{
    if (fitted_ && isVisible())
        fit();
}

void ListGridView::setHeaders(const QStringList& headers)
{
    list().setHeaders(headers);
    listReset();
}

QString ListGridView::cell(int column, int row) const
{
    if (row == 0)
        return list().headers().value(column);
    if (row < 0 || row > list().rowCount())
        return {};
    return list().cell(column, row - 1);
}

void ListGridView::setCell(int column, int row, const QString& text)
{
    if (row == 0) {
        QStringList h = headers();
        if (column < 0 || column >= h.size())
            return;
        h[column] = text;
        setHeaders(h);
        return;
    }
    model_->setCell(column, row - 1, text);
    widestCells_.clear();
    if (row - 1 < static_cast<int>(laidOut_.size()))
        laidOut_[static_cast<size_t>(row - 1)] = 0;
}

void ListGridView::setDataRows(const std::vector<QStringList>& rows)
{
    list().setRows(rows);
    listReset();
}

void ListGridView::clearData() { setDataRows({}); }

void ListGridView::sortByColumn(int column)
{
    if (column < 0 || column >= columnCount())
        return;
    list().sortBy(column);
    // The rows are only reordered: the widths of the column texts stay measured.
    std::vector<int> widest = std::move(widestCells_);
    model_->listReset();
    widestCells_ = std::move(widest);
    laidOut_.assign(static_cast<size_t>(dataRowCount()), 0);
    refitIfShown();
    selectDataRow(0);
    emit sorted(column);
}

std::vector<int> ListGridView::selectedDataRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int ListGridView::currentDataRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ListGridView::selectDataRow(int row)
{
    if (row < 0 || row >= dataRowCount())
        return;
    const QModelIndex index = model_->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // Rows get their wrapped height as they come into view, which may push the row out again.
    // The scroll range follows rows added since the last layout only once the geometry is updated.
    for (int tries = 0; tries < 4; ++tries) {
        updateGeometries();
        scrollTo(index);
        layOutVisibleRows();
        if (viewport()->rect().contains(visualRect(index)) || viewport()->height() <= 0)
            break;
    }
}

QRect ListGridView::cellTextRect(const QRect& cell) const
{
    const int line = showGrid() ? 1 : 0;
    return cell.adjusted(kCellMarginX, kCellMarginY, line - kCellMarginX, line - kCellMarginY);
}

QFont ListGridView::headerFont() const
{
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

int ListGridView::headerHeight() const { return header_->sizeHint().height(); }

GridTextMeasure& ListGridView::measure(const QFont& font)
{
    for (const std::unique_ptr<GridTextMeasure>& known : measures_)
        if (known->font() == font)
            return *known;
    measures_.push_back(std::make_unique<GridTextMeasure>(font));
    return *measures_.back();
}

namespace {

int longestWord(GridTextMeasure& measure, const QString& text)
{
    int longest = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text[i].isSpace())
            continue;
        if (i > start)
            longest = std::max(longest, measure.width(text.mid(start, i - start)));
        start = i + 1;
    }
    return longest;
}

} // namespace

const std::vector<int>& ListGridView::widestCells()
{
    if (static_cast<int>(widestCells_.size()) == columnCount() && widestFont_ == font())
        return widestCells_;
    widestFont_ = font();
    widestCells_ = measure(font()).widest(list().rows(), columnCount());
    return widestCells_;
}

void ListGridView::fit()
{
    const int columns = columnCount();
    GridTextMeasure& heads = measure(headerFont());
    std::vector<int> widest = widestCells();
    // Headers are drawn word-wrapped: a column narrowed to leave room for the scroll bar keeps room
    // for its header's longest word, and the header takes more lines.
    std::vector<int> headerWords(static_cast<size_t>(columns), 0);
    for (int c = 0; c < columns; ++c) {
        const QString& header = list().headers()[c];
        widest[static_cast<size_t>(c)] = std::max(widest[static_cast<size_t>(c)], heads.width(header));
        headerWords[static_cast<size_t>(c)] = longestWord(heads, header);
    }
    const std::vector<int> widths = grid::FitColumnWidths(widest, headerWords, viewport()->width());

    fitting_ = true;
    for (int c = 0; c < columns; ++c)
        setColumnWidth(c, widths[static_cast<size_t>(c)]);
    fitting_ = false;

    int tallest = heads.lineHeight();
    for (int c = 0; c < columns; ++c)
        tallest = std::max(tallest, heads.wrappedHeight(list().headers()[c],
                                                        std::max(1, widths[static_cast<size_t>(c)] - 2 * kCellMarginX)));
    header_->setFittedHeight(tallest + 2 * kCellMarginY);
    fitted_ = true;
    columnsChanged();
    updateGeometries();
}

// Row heights follow the column widths: every row goes back to one line and the rows in view are
// laid out again; the others are laid out when they come into view.
void ListGridView::columnsChanged()
{
    laidOut_.assign(static_cast<size_t>(dataRowCount()), 0);
    fitting_ = true;
    verticalHeader()->setDefaultSectionSize(measure(font()).lineHeight() + 2 * kCellMarginY);
    for (int r = 0; r < dataRowCount(); ++r)
        if (verticalHeader()->sectionSize(r) != verticalHeader()->defaultSectionSize())
            verticalHeader()->resizeSection(r, verticalHeader()->defaultSectionSize());
    fitting_ = false;
    layOutVisibleRows();
}

void ListGridView::layOutRow(int row)
{
    GridTextMeasure& cells = measure(font());
    int tallest = cells.lineHeight();
    const QStringList& texts = list().row(row);
    for (int c = 0; c < columnCount(); ++c)
        if (!texts[c].isEmpty())
            tallest = std::max(tallest, cells.wrappedHeight(texts[c], std::max(1, columnWidth(c) - 2 * kCellMarginX)));
    laidOut_[static_cast<size_t>(row)] = 1;
    verticalHeader()->resizeSection(row, tallest + 2 * kCellMarginY);
}

void ListGridView::layOutVisibleRows()
{
    if (!fitted_ || fitting_ || dataRowCount() == 0)
        return;
    if (laidOut_.size() != static_cast<size_t>(dataRowCount()))
        laidOut_.assign(static_cast<size_t>(dataRowCount()), 0);
    fitting_ = true;
    QHeaderView* rows = verticalHeader();
    const int bottom = std::max(viewport()->height(), 1);
    for (int r = std::max(0, rows->logicalIndexAt(0)); r < dataRowCount(); ++r) {
        if (rows->sectionViewportPosition(r) >= bottom)
            break;
        if (!laidOut_[static_cast<size_t>(r)])
            layOutRow(r);
    }
    fitting_ = false;
}

void ListGridView::paintEvent(QPaintEvent* event)
{
    layOutVisibleRows();
    QTableView::paintEvent(event);
}

void ListGridView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (dy != 0)
        layOutVisibleRows();
}

void ListGridView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    layOutVisibleRows();
}

// Text is measured in the font it is drawn in: a grid fitted before its font changed is fitted
// again once the font settles (a window's font walk may change it more than once in a row).
void ListGridView::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() != QEvent::FontChange || !fitted_)
        return;
    if (measures_.size() > 4)
        measures_.clear();
    QTimer::singleShot(0, this, [this] {
        if (widestFont_ != font())
            refitIfShown();
    });
}

void FitGridColumns(ListGridView* grid)
{
    if (!grid || grid->columnCount() == 0)
        return;
    grid->fit();
}

} // namespace vestrum
