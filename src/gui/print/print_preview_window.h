#pragma once

#include "gui/print/printers.h"
#include "print/preview_placement.h"
#include "print/print_range.h"

#include <QDialog>
#include <QList>
#include <QPicture>

class QAction;
class QComboBox;
class QLabel;
class QScrollArea;
class QToolButton;

namespace vestrum {

class Program;
class PrintRangeWindow;

// "Podgląd wydruku": the recorded pages of a document, one at a time on a grey background,
// zoomed and paged with the tool bar, the menu or the keys, and printed in a page range.
class PrintPreviewWindow : public QDialog {
    Q_OBJECT
public:
    // `pages` were recorded on a page of `pageSize` device pixels.
    PrintPreviewWindow(Program& program, QList<QPicture> pages, QSize pageSize, PrinterAccess printers,
                       QWidget* parent = nullptr);

    // Opens maximized on page 1 and returns when the user closes the window.
    void showPreview();

    int currentPage() const { return current_; } // from 1
    int pageCount() const { return int(pages_.size()); }
    QString statusText() const;
    QRect pageRect() const { return placement_.page(); } // where the page is drawn in the view
    QSize viewSize() const;

    void goToPage(int page);
    void zoomIn();
    void zoomOut();
    void fitPage();

    // Sends the pages of the range to the printer chosen in the list; an empty range starts
    // no job. True when every page of the range went out.
    bool printPages(const PrintRange& range);

    QComboBox* printerList() const { return printerList_; }
    QToolButton* printButton() const { return printButton_; }
    QAction* firstAction() const { return first_; }
    QAction* previousAction() const { return previous_; }
    QAction* nextAction() const { return next_; }
    QAction* lastAction() const { return last_; }
    QAction* printAction() const { return print_; }
    QScrollArea* view() const { return scroll_; }
    PrintRangeWindow* rangeWindow() const { return rangeWindow_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class PageCanvas;

    void buildMenu();
    void buildToolBar();
    void fillPrinters();
    void print();
    void refresh();

    Program* program_;
    QList<QPicture> pages_;
    QSize pageSize_;
    PrinterAccess printers_;
    PreviewPlacement placement_;
    int current_ = 1;
    bool opening_ = true;

    QComboBox* printerList_;
    QToolButton* printButton_;
    QScrollArea* scroll_;
    PageCanvas* canvas_;
    QLabel* status_;
    PrintRangeWindow* rangeWindow_;
    QAction* print_;
    QAction* zoomIn_;
    QAction* fit_;
    QAction* zoomOut_;
    QAction* first_;
    QAction* previous_;
    QAction* next_;
    QAction* last_;
    QAction* close_;
};

} // namespace vestrum
