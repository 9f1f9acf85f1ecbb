#pragma once

#include "lists/entry_pages.h"

#include <QMap>
#include <QScrollArea>
#include <vector>

class QLabel;

namespace vestrum {

// The bar under a field row of the entry dialog: dragging it makes the row above taller or shorter.
class RowGripWidget : public QWidget {
    Q_OBJECT
public:
    RowGripWidget(QWidget* row, QWidget* parent);
    QWidget* row() const { return row_; }
    QSize sizeHint() const override;

signals:
    // The user dragged the row to this height (pixels).
    void dragged(int height);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* row_;
    int pressY_ = -1;
    int startHeight_ = 0;
};

// One page of the entry dialog: a scrolled stack of field rows, each a panel ("Panel<n>") with
// its caption above its input ("e<n>") and a grip below. Rows of the page's other kinds exist
// too and are hidden by the dialog.
class EntryPageWidget : public QScrollArea {
    Q_OBJECT
public:
    struct Row {
        lists::EntryField field; // as defined for the page (all kinds)
        QWidget* panel = nullptr;
        QLabel* caption = nullptr;
        QWidget* input = nullptr;
        RowGripWidget* grip = nullptr;
    };

    EntryPageWidget(const lists::EntryPage& page, QWidget* parent = nullptr);

    std::vector<Row>& rows() { return rows_; }
    const std::vector<Row>& rows() const { return rows_; }
    Row* rowOfPanel(int panel);

    // Shows only the rows given (panel numbers) and sizes every shown row: the user's height from
    // `heights` when there is one, otherwise a default for its input; never less than the caption
    // and the input need at the page's width.
    void showRows(const std::vector<int>& panels, const QMap<QString, int>& heights);
    // Sizes the shown rows again (after a font change or a resize).
    void resizeRows(const QMap<QString, int>& heights);
    int defaultHeight(const Row& row) const;
    int minimumRowHeight(const Row& row) const;

signals:
    void rowDragged(const QString& panelName, int height);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    bool resizing_ = false;
    std::vector<Row> rows_;
    QMap<QString, int> lastHeights_;
};

} // namespace vestrum
