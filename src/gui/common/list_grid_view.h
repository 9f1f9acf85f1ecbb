#pragma once

#include "lists/list_grid.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>
#include <memory>
#include <utility>
#include <vector>

namespace vestrum {

class GridHeaderView;
class GridTextMeasure;

// The rows of a ListGrid as a table model: model row r is data row r of the list, the headers are
// the horizontal header. The model reads the list in place, nothing is copied per cell.
class ListGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListGridModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    const lists::ListGrid& list() const { return list_; }
    lists::ListGrid& list() { return list_; }
    void setList(lists::ListGrid list);
    // Tells the views that list() was changed in place (rows added, removed, reordered, headers).
    void listReset();
    void setCell(int column, int dataRow, const QString& text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    lists::ListGrid list_;
};

// The program's Unicode string grid. It follows the grid rules of every list of the program: row 0
// holds the column headers (the fixed header row, drawn bold and centred), data rows start at row
// 1, an empty list is one blank data row, and a press of either mouse button on a header (not on a
// column border) sorts the rows by that column in the Polish order, marks its header with "* " and
// selects row 1. Every cell is drawn word-wrapped inside the cell less 4 pixels left and right and
// 2 top and bottom. Users may drag column and row borders; FitGridColumns sets them again.
//
// Rows are addressed as the grid's own Cells[column, row] (row 0 the headers) by cell/setCell, and
// as data rows (0 the first entry) everywhere else. Code that fills a grid in bulk changes list()
// and calls listReset(); setCell, setDataRows and setHeaders do that themselves.
class ListGridView : public QTableView {
    Q_OBJECT
public:
    explicit ListGridView(QWidget* parent = nullptr);
    ~ListGridView() override;

    const lists::ListGrid& list() const { return model_->list(); }
    lists::ListGrid& list() { return model_->list(); }
    void setList(lists::ListGrid list);
    // Shows list() again after it was changed in place; the next fit measures it anew.
    void listReset();
    ListGridModel* listModel() const { return model_; }

    void setHeaders(const QStringList& headers); // keeps the rows, padded or cut to the new width
    QStringList headers() const { return list().headers(); }

    // Cells addressed as Cells[column, row]; row 0 is the header row.
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);

    int rowCount() const { return 1 + list().rowCount(); } // grid rows, the header row included
    int columnCount() const { return list().columnCount(); }
    int dataRowCount() const { return list().rowCount(); }
    std::vector<QStringList> dataRows() const { return list().rows(); }
    // Replaces the data rows; no rows gives one blank data row.
    void setDataRows(const std::vector<QStringList>& rows);
    // Header row plus one blank data row.
    void clearData();

    // Sorts by a column as a header press does.
    void sortByColumn(int column);

    // Selection in data rows: the selected rows in order, the current row (-1 for none), and
    // selecting one row (made current and scrolled into view).
    std::vector<int> selectedDataRows() const;
    int currentDataRow() const;
    void selectDataRow(int row);

    // Where a data cell's text is drawn inside the cell's visual rectangle (which leaves out the
    // grid line at its right and bottom): 4 pixels in from the column's left and right edges and 2
    // from the row's top and bottom, so a column `widest text + 8` wide never wraps its widest text.
    QRect cellTextRect(const QRect& cell) const;

    // The font the header row is drawn and measured in: the grid's own, bold.
    QFont headerFont() const;
    int headerHeight() const;

    // Gives the rows now in view their word-wrapped height, if the last fit has not yet done so.
    // Runs by itself when the grid scrolls, is resized or paints.
    void layOutVisibleRows();

signals:
    void sorted(int column);
    void dataRowDoubleClicked(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend void FitGridColumns(ListGridView* grid);
    void fit();
    void refitIfShown();
    void columnsChanged();
    void layOutRow(int row);
    GridTextMeasure& measure(const QFont& font);
    const std::vector<int>& widestCells();

    ListGridModel* model_;
    GridHeaderView* header_;
    std::vector<std::unique_ptr<GridTextMeasure>> measures_; // per font, dropped when the font changes
    std::vector<int> widestCells_;                             // per column, data rows only; empty: not measured
    QFont widestFont_;                                         // the font widestCells_ was measured in
    std::vector<unsigned char> laidOut_;                       // per data row, since the last fit
    bool fitted_ = false;
    bool fitting_ = false;
};

// Fits the columns of a grid to their texts (the column-fitting routine of the program): see
// grid::FitColumnWidths for the widths, each text measured in the font it is drawn in. The header
// row becomes as tall as its tallest word-wrapped header plus 4 pixels, and so does each data
// row with its cells, as it comes into view.
void FitGridColumns(ListGridView* grid);

} // namespace vestrum
