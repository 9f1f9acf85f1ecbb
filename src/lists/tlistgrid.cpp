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

void FitGridColumns(QTableWidget* grid)
{
    if (!grid || grid->columnCount() == 0)
        return;
    const bool wasVisible = grid->isVisible();
    grid->setUpdatesEnabled(false);
    std::vector<int> widest(static_cast<size_t>(grid->columnCount()), 0);
    std::vector<int> headers(widest.size(), 0);
    for (int c = 0; c < grid->columnCount(); ++c)
        for (int r = 0; r < grid->rowCount(); ++r) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it)
                continue;
            // An item's own font only overrides what it sets (the header's bold); the rest is the grid's.
            const int w = QFontMetrics(it->font().resolve(grid->font())).horizontalAdvance(it->text());
            widest[c] = std::max(widest[c], w);
            if (r == 0)
                headers[c] = w;
        }
    const std::vector<int> widths =
        grid::FitColumnWidths(widest, headers, grid->width(), grid->viewport()->width());
    for (int c = 0; c < grid->columnCount(); ++c)
        grid->setColumnWidth(c, widths[c]);
    for (int r = 0; r < grid->rowCount(); ++r) {
        int tallest = QFontMetrics(grid->font()).height();
        for (int c = 0; c < grid->columnCount(); ++c) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it || it->text().isEmpty())
                continue;
            const QRect box = QFontMetrics(it->font().resolve(grid->font())).boundingRect(QRect(0, 0, std::max(1, widths[c] - 8), 100000),
                                                                     Qt::TextWordWrap, it->text());
            tallest = std::max(tallest, box.height());
        }
        grid->setRowHeight(r, tallest + 4);
    }
    grid->setUpdatesEnabled(true);
    if (wasVisible)
        grid->viewport()->update();
}

} // namespace vestrum
