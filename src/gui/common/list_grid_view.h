#pragma once

#include <QStringList>
#include <QTableWidget>
#include <vector>

namespace vestrum {

// The program's Unicode string grid: row 0 holds the column headers, data rows start at row 1,
// and an empty list is one blank data row. Clicking a header cell sorts the rows by that column
// (ascending, case-insensitive, stable), marks its header with "* " and selects row 1.
class ListGridView : public QTableWidget {
    Q_OBJECT
public:
    explicit ListGridView(QWidget* parent = nullptr);

    void setHeaders(const QStringList& headers);
    QStringList headers() const;

    // Cells addressed as the grid's own Cells[column, row]; row 0 is the header row.
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);

    int dataRowCount() const { return rowCount() - 1; }
    std::vector<QStringList> dataRows() const;
    // Replaces the data rows; no rows gives one blank data row.
    void setDataRows(const std::vector<QStringList>& rows);
    // Header row plus one blank data row.
    void clearData();

    // Sorts by a column as a header click does.
    void sortByColumn(int column);

signals:
    void sorted(int column);

private:
    void styleHeaderRow();
};

// Fits the columns of a grid to their texts (the column-fitting routine of the program): see
// grid::FitColumnWidths for the widths; each row then becomes as tall as its tallest word-wrapped
// cell plus 4 pixels.
void FitGridColumns(QTableWidget* grid);

} // namespace vestrum
