#pragma once

#include "gui/print/printers.h"

#include <QDialog>

class QAction;
class QComboBox;
class QToolButton;

namespace vestrum {

class PagedTextEdit;
class Program;

// "Dane szczegółowe": the report's document with its printer list; prints it, previews it, saves
// it as PDF and changes its font. The report builder writes the document and its page layout
// into `document()` before showing the window.
class ReportWindow : public QDialog {
    Q_OBJECT
public:
    explicit ReportWindow(Program& program, QWidget* parent = nullptr);

    PagedTextEdit* document() const { return Tekst; }
    void setPrinters(PrinterAccess printers); // fills the printer list again

    // Shows the window modally where it was left (maximized when it was).
    void showReport();

    void print();   // "Drukuj": closes the window when the document went to the printer
    void preview(); // "Podgląd wydruku": on a PDF page when no printer is installed
    void saveAsPdf();                    // "Zapisz jako PDF…": asks for the file
    bool saveAsPdf(const QString& path); // writes the file, reporting a failure
    void chooseFont();                   // "czcionka"
    void applyDocumentFont(const QString& name, int size);

    QComboBox* printerList() const { return printerList_; }
    QToolButton* printButton() const { return printButton_; }
    QToolButton* previewButton() const { return previewButton_; }
    QAction* pdfAction() const { return pdf_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenuAndToolBar();
    void fillPrinters();
    // The chosen printer, opened in portrait; null after the message when there is none.
    std::unique_ptr<QPagedPaintDevice> chosenPrinter(const QString& noneInstalled, const QString& noneChosen);

    Program* program_;
    PagedTextEdit* Tekst;
    QComboBox* printerList_;
    QToolButton* printButton_;
    QToolButton* previewButton_;
    QAction* pdf_;
};

} // namespace vestrum
