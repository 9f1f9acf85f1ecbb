#include "gui/print/paged_text_edit.h"

#include "base/error.h"
#include "gui/print/print_preview_window.h"
#include "gui/print/print_progress_window.h"
#include "print/paged_document.h"
#include "program/program.h"

#include <QApplication>
#include <QPainter>

namespace vestrum {

PagedTextEdit::PagedTextEdit(Program& program, QWidget* parent)
    : QTextEdit(parent), program_(&program), printers_(PrinterAccess::system())
{
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout_.header_Font = font();
    layout_.footer_Font = font();
}

bool PagedTextEdit::printerCheck()
{
    if (printers_.names && !printers_.names().isEmpty())
        return true;
    program_->ProgramMessage(noPrinterInstalledMessage(), MessageKind::Error);
    return false;
}

bool PagedTextEdit::Print(QPagedPaintDevice& printer)
{
    if (!printerCheck())
        return false;
    try {
        setPrintJobTitle(printer, QStringLiteral("Tytul"));
        const PagedDocument pages(*document(), layout_, printer);
        QPainter painter;
        if (!painter.begin(&printer))
            throw Error(QStringLiteral("Nie udało się rozpocząć wydruku."));
        for (int page = 1; page <= pages.pageCount(); ++page) {
            if (page > 1)
                printer.newPage();
            pages.paintPage(painter, page);
            if (printJobAborted(printer))
                return false;
        }
        return painter.end();
    } catch (const Error& error) {
        program_->ProgramMessage(error.message(), MessageKind::Error);
        return false;
    }
}

QList<QPicture> PagedTextEdit::recordPages(QPagedPaintDevice& device)
{
    QList<QPicture> recorded;
    try {
        const PagedDocument pages(*document(), layout_, device);
        PrintProgressWindow progress(window());
        progress.start(QStringLiteral("Generowanie podglądu wydruku"));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        for (int page = 1; page <= pages.pageCount(); ++page) {
            progress.showPage(page);
            recorded.append(pages.recordPage(page));
        }
        QApplication::restoreOverrideCursor();
    } catch (const Error& error) {
        program_->ProgramMessage(error.message(), MessageKind::Error);
    }
    return recorded;
}

void PagedTextEdit::Preview()
{
    if (!printerCheck() || !printers_.open)
        return;
    const QString name = printers_.defaultName ? printers_.defaultName() : QString();
    const std::unique_ptr<QPagedPaintDevice> printer = printers_.open(name.isEmpty() ? printers_.names().first() : name);
    if (!printer) {
        program_->ProgramMessage(QStringLiteral("Dla tego systemu operacyjnego (z przyczyn technicznych) podgląd "
                                                "wydruk nie jest dostępny."),
                                 MessageKind::Error);
        return;
    }
    Preview(*printer);
}

void PagedTextEdit::Preview(QPagedPaintDevice& device)
{
    QList<QPicture> pages = recordPages(device);
    if (pages.isEmpty())
        return;
    PrintPreviewWindow preview(*program_, std::move(pages), QSize(device.width(), device.height()), printers_,
                               window());
    preview.showPreview();
}

} // namespace vestrum
