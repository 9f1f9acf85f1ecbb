#include "lists/tlistgrid.h"

#include "lists/grid_rules.h"

#include <QFontMetrics>
#include <QHeaderView>

namespace vestrum {

TListGrid::TListGrid(QWidget* parent) : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(true);
    setColumnCount(1);
    setRowCount(2);
    connect(this, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (row == 0)
            sortByColumn(column);
    });
}

void TListGrid::setHeaders(const QStringList& headers)
{
    setColumnCount(static_cast<int>(headers.size()));
    if (rowCount() < 2)
        setRowCount(2);
    for (int c = 0; c < headers.size(); ++c)
        setCell(c, 0, headers[c]);
    styleHeaderRow();
}

QStringList TListGrid::headers() const
{
    QStringList out;
    for (int c = 0; c < columnCount(); ++c)
        out << cell(c, 0);
    return out;
}

QString TListGrid::cell(int column, int row) const
{
    const QTableWidgetItem* it = item(row, column);
    return it ? it->text() : QString();
}

void TListGrid::setCell(int column, int row, const QString& text)
{
    QTableWidgetItem* it = item(row, column);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, column, it);
    }
    it->setText(text);
}

std::vector<QStringList> TListGrid::dataRows() const
{
    std::vector<QStringList> rows;
    for (int r = 1; r < rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < columnCount(); ++c)
            row << cell(c, r);
        rows.push_back(row);
    }
    return rows;
}

void TListGrid::setDataRows(const std::vector<QStringList>& rows)
{
    setRowCount(1 + std::max<int>(1, static_cast<int>(rows.size())));
    for (int r = 1; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            setCell(c, r, r - 1 < static_cast<int>(rows.size()) ? rows[r - 1].value(c) : QString());
}

void TListGrid::clearData() { setDataRows({}); }

void TListGrid::sortByColumn(int column)
{
    if (column < 0 || column >= columnCount())
        return;
    QStringList h = headers();
    grid::MarkSortColumn(h, column);
    for (int c = 0; c < h.size(); ++c)
        setCell(c, 0, h[c]);
    std::vector<QStringList> rows = dataRows();
    grid::SortRows(rows, column);
    setDataRows(rows);
    if (rowCount() > 1) {
        setCurrentCell(1, 0);
        selectRow(1);
    }
    emit sorted(column);
}

void TListGrid::styleHeaderRow()
{
    QFont bold;
    bold.setBold(true); // only the weight: family and size follow the grid's font
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem* it = item(0, c);
        if (!it)
            continue;
        it->setFlags(Qt::ItemIsEnabled);
        it->setBackground(palette().button());
        it->setFont(bold);
    }
}

namespace {

// Metrics of the fonts a grid draws in: the grid's own and, for the header row, its bold twin.
// Building QFontMetrics per cell is what made fitting a long list slow.
class GridFontMetrics {
public:
    explicit GridFontMetrics(const QTableWidget* grid) : base_(grid->font()), baseMetrics_(base_) {}

    const QFontMetrics& of(const QTableWidgetItem* item)
    {
        const QFont font = item->font().resolve(base_);
        if (font == base_)
            return baseMetrics_;
        for (auto& [known, metrics] : others_)
            if (known == font)
                return metrics;
        others_.emplace_back(font, QFontMetrics(font));
        return others_.back().second;
    }

private:
    QFont base_;
    QFontMetrics baseMetrics_;
    std::vector<std::pair<QFont, QFontMetrics>> others_;
};

// Resizing rows one by one costs the header a pass over all its sections each time; most rows are
// one line high, so that becomes the default and only the taller rows are resized.
void applyRowHeights(QTableWidget* grid, const std::vector<int>& heights, int oneLine)
{
    QHeaderView* header = grid->verticalHeader();
    header->setMinimumSectionSize(std::min(header->minimumSectionSize(), oneLine));
    header->setDefaultSectionSize(oneLine);
    header->resizeSections(QHeaderView::Interactive);
    for (size_t r = 0; r < heights.size(); ++r) {
        if (heights[r] != oneLine || grid->rowHeight(static_cast<int>(r)) != oneLine)
            grid->setRowHeight(static_cast<int>(r), heights[r]);
    }
}

} // namespace

void FitGridColumns(QTableWidget* grid)
{
    if (!grid || grid->columnCount() == 0)
        return;
    const bool wasVisible = grid->isVisible();
    grid->setUpdatesEnabled(false);
    const int columns = grid->columnCount();
    const int rows = grid->rowCount();
    GridFontMetrics metrics(grid);
    std::vector<int> widest(static_cast<size_t>(columns), 0);
    std::vector<int> headers(widest.size(), 0);
    // One-line width of every cell, kept for the row heights below.
    std::vector<int> cellWidth(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0);
    auto cell = [&](int r, int c) -> int& { return cellWidth[static_cast<size_t>(r) * columns + c]; };
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it || it->text().isEmpty())
                continue;
            const int w = metrics.of(it).horizontalAdvance(it->text());
            cell(r, c) = w;
            widest[c] = std::max(widest[c], w);
            if (r == 0)
                headers[c] = w;
        }
    const std::vector<int> widths =
        grid::FitColumnWidths(widest, headers, grid->width(), grid->viewport()->width());
    for (int c = 0; c < columns; ++c)
        grid->setColumnWidth(c, widths[c]);
    std::vector<int> heights(static_cast<size_t>(rows), 0);
    const int lineHeight = QFontMetrics(grid->font()).height();
    for (int r = 0; r < rows; ++r) {
        int tallest = lineHeight;
        for (int c = 0; c < columns; ++c) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it || it->text().isEmpty())
                continue;
            const QFontMetrics& fm = metrics.of(it);
            const int room = std::max(1, widths[c] - 8);
            // Text that fits on one line needs no word-wrapped layout.
            if (cell(r, c) <= room && !it->text().contains(u'\n')) {
                tallest = std::max(tallest, fm.height());
                continue;
            }
            const QRect box = fm.boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, it->text());
            tallest = std::max(tallest, box.height());
        }
        heights[static_cast<size_t>(r)] = tallest + 4;
    }
    applyRowHeights(grid, heights, lineHeight + 4);
    grid->setUpdatesEnabled(true);
    if (wasVisible)
        grid->viewport()->update();
}

} // namespace vestrum
