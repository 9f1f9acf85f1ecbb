#pragma once

#include "gui/print/printers.h"
#include "print/page_layout.h"

#include <QTextEdit>

class QPagedPaintDevice;

namespace vestrum {

class Program;

// A read-only rich-text document with a page layout: header and footer lines with their fonts,
// bands and rules, and margins. It prints itself page by page and shows the same pages in the
// preview; both lay the document out for the target device, through the core's PagedDocument.
class PagedTextEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit PagedTextEdit(Program& program, QWidget* parent = nullptr);

    PageLayout& pageLayout() { return layout_; }
    const PageLayout& pageLayout() const { return layout_; }
    // The fonts are copied, never shared with the caller.
    void setHeaderFont(const QFont& font) { layout_.header_Font = font; }
    void setFooterFont(const QFont& font) { layout_.footer_Font = font; }

    void setPrinters(PrinterAccess printers) { printers_ = std::move(printers); }
    const PrinterAccess& printers() const { return printers_; }

    // Prints every page on the device, the job titled "Tytul". With no printer installed it shows
    // the printer check's message and prints nothing. False when nothing or not all was printed.
    bool Print(QPagedPaintDevice& printer);

    // The printer check, then a preview laid out for the default printer.
    void Preview();
    // A preview laid out for the page of `device` (a printer, or a PDF page when there is none).
    void Preview(QPagedPaintDevice& device);

    // Records every page laid out for `device`, counting them in the progress window. Empty
    // (after the message) when the page layout leaves no room for text.
    QList<QPicture> recordPages(QPagedPaintDevice& device);

private:
    bool printerCheck();

    Program* program_;
    PageLayout layout_;
    PrinterAccess printers_;
};

} // namespace vestrum
