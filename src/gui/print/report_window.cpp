#include "gui/print/report_window.h"

#include "base/error.h"
#include "gui/common/file_picker.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "gui/main/font_window.h"
#include "gui/print/paged_text_edit.h"
#include "gui/print/print_progress_window.h"
#include "print/paged_document.h"
#include "program/program.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QPageSize>
#include <QPdfWriter>
#include <QScreen>
#include <QTextCursor>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vestrum {

namespace {

const QString NoPrinterForPrint =
    QStringLiteral("W systemie nie została zainstalowana żadna drukarka - wydruk nie jest możliwy");
const QString NoChosenPrinterForPrint = QStringLiteral("Nie została wybrana żadna drukarka - wydruk nie jest możliwy");
const QString NoPrinterForPreview = QStringLiteral(
    "W systemie nie została zainstalowana żadna drukarka - wygenerowanie podglądu wydruku nie jest możliwe");
const QString NoChosenPrinterForPreview =
    QStringLiteral("Nie została wybrana żadna drukarka - wygenerowanie podglądu wydruku nie jest możliwe");

QToolButton* toolButton(QWidget* parent, const QString& icon, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setIcon(printToolIcon(icon));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    return button;
}

// The page a preview is laid out for when no printer exists: the A4 page of the PDF output.
std::unique_ptr<QPdfWriter> pdfPage(QBuffer& sink)
{
    sink.open(QIODevice::WriteOnly);
    auto writer = std::make_unique<QPdfWriter>(&sink);
    writer->setPageSize(QPageSize(QPageSize::A4));
    writer->setPageOrientation(QPageLayout::Portrait);
    writer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    return writer;
}

} // namespace

ReportWindow::ReportWindow(Program& program, QWidget* parent)
    : QDialog(parent, Qt::Window), program_(&program), Tekst(new PagedTextEdit(program, this)),
      printerList_(new QComboBox(this)), printButton_(toolButton(this, QStringLiteral("print"), QStringLiteral("drukuj"))),
      previewButton_(toolButton(this, QStringLiteral("preview"), QStringLiteral("podgląd wydruku"))), pdf_(nullptr)
{
    setWindowTitle(QStringLiteral("Dane szczegółowe"));
    setMinimumSize(200, 100);
    // The document control starts without header, footer or margins, in Tahoma 8 points; the
    // report builder sets its own values before every build.
    QFont tahoma(QStringLiteral("Tahoma"), 8);
    Tekst->setHeaderFont(tahoma);
    Tekst->setFooterFont(tahoma);
    // The document keeps the fonts the report was written in; only "czcionka" changes them.
    Tekst->setProperty(kTagProperty, kKeepFontTag);
    buildMenuAndToolBar();
    fillPrinters();
    new WindowMemoryKeeper(this, program.state.Windows[int(RememberedWindow::Podglad)]);
}

void ReportWindow::buildMenuAndToolBar()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* menu = new QMenuBar(this);
    layout->setMenuBar(menu);
    menu->addAction(QStringLiteral("Drukuj"), this, [this] { print(); });
    menu->addAction(QStringLiteral("Podgląd wydruku"), this, [this] { preview(); });
    pdf_ = menu->addAction(QStringLiteral("Zapisz jako PDF…"), this, [this] { saveAsPdf(); });
    QMenu* settings = menu->addMenu(QStringLiteral("Ustawienia"));
    settings->addAction(QStringLiteral("czcionka"), this, [this] { chooseFont(); });
    menu->addAction(QStringLiteral("Powrót"), this, [this] { close(); });

    auto* bar = new QToolBar(this);
    bar->setIconSize(QSize(22, 22));
    printerList_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    printerList_->setMinimumContentsLength(12);
    bar->addWidget(printerList_);
    bar->addWidget(printButton_);
    bar->addWidget(previewButton_);
    QToolButton* pdfButton = toolButton(this, QStringLiteral("pdf"), QStringLiteral("zapisz jako PDF"));
    bar->addWidget(pdfButton);
    connect(printButton_, &QToolButton::clicked, this, [this] { print(); });
    connect(previewButton_, &QToolButton::clicked, this, [this] { preview(); });
    connect(pdfButton, &QToolButton::clicked, this, [this] { saveAsPdf(); });
    layout->addWidget(bar);
    layout->addWidget(Tekst, 1);
    // Narrower than this the tool bar would lose its buttons.
    setMinimumWidth(std::max(200, bar->sizeHint().width()));
}

void ReportWindow::setPrinters(PrinterAccess printers)
{
    Tekst->setPrinters(std::move(printers));
    fillPrinters();
}

void ReportWindow::fillPrinters()
{
    const PrinterAccess& printers = Tekst->printers();
    const QStringList names = printers.names ? printers.names() : QStringList();
    printerList_->clear();
    printerList_->addItems(names);
    const int chosen = names.indexOf(printers.defaultName ? printers.defaultName() : QString());
    printerList_->setCurrentIndex(names.isEmpty() ? -1 : std::max(0, chosen));
    printButton_->setEnabled(!names.isEmpty());
    // Without a printer the preview is made on the PDF page, so it stays available.
    previewButton_->setEnabled(true);
}

void ReportWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_->state.UserFont);
    // Opened for the first time: every command of the menu bar and a whole page width in view,
    // as tall as the screen allows. Whatever size it was left at, no command hides behind "››".
    const int commands = layout() && layout()->menuBar() ? layout()->menuBar()->sizeHint().width() + 16 : 0;
    constexpr int kPageWidth = 840; // an A4 page at the screen's 96 dpi, with the frame and the scroll bar
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    placeOnFirstOpening(this, program_->state.Windows[int(RememberedWindow::Podglad)],
                        QSize(std::max(commands, kPageWidth), screen.height()));
    growToShow(this, QSize(commands, 0));
    QDialog::showEvent(event);
}

void ReportWindow::showReport()
{
    fillPrinters();
    exec();
}

std::unique_ptr<QPagedPaintDevice> ReportWindow::chosenPrinter(const QString& noneInstalled, const QString& noneChosen)
{
    if (printerList_->count() == 0) {
        program_->ProgramMessage(noneInstalled, MessageKind::Error);
        return nullptr;
    }
    if (printerList_->currentIndex() < 0) {
        program_->ProgramMessage(noneChosen, MessageKind::Error);
        return nullptr;
    }
    const PrinterAccess& printers = Tekst->printers();
    std::unique_ptr<QPagedPaintDevice> printer = printers.open ? printers.open(printerList_->currentText()) : nullptr;
    if (!printer)
        program_->ProgramMessage(noneInstalled, MessageKind::Error);
    return printer;
}

void ReportWindow::print()
{
    const std::unique_ptr<QPagedPaintDevice> printer = chosenPrinter(NoPrinterForPrint, NoChosenPrinterForPrint);
    if (printer && Tekst->Print(*printer))
        close();
}

void ReportWindow::preview()
{
    if (printerList_->count() == 0) {
        QBuffer sink;
        const std::unique_ptr<QPdfWriter> page = pdfPage(sink);
        Tekst->Preview(*page);
        return;
    }
    if (printerList_->currentIndex() < 0) {
        program_->ProgramMessage(NoChosenPrinterForPreview, MessageKind::Error);
        return;
    }
    const PrinterAccess& printers = Tekst->printers();
    const std::unique_ptr<QPagedPaintDevice> printer = printers.open ? printers.open(printerList_->currentText()) : nullptr;
    if (!printer) {
        program_->ProgramMessage(QStringLiteral("Dla tego systemu operacyjnego (z przyczyn technicznych) podgląd "
                                                "wydruk nie jest dostępny."),
                                 MessageKind::Error);
        return;
    }
    Tekst->Preview(*printer);
}

void ReportWindow::saveAsPdf()
{
    FilePicker picker(*program_, this);
    picker.configure(QStringLiteral("Zapisz jako PDF"), QStringLiteral("*.pdf"), QStringLiteral("zapisz"), true,
                     QStringLiteral("wydruk.pdf"));
    picker.setFolder(QDir::homePath());
    if (!picker.choose() || picker.fileName().trimmed().isEmpty())
        return;
    QString path = QDir(picker.folder()).filePath(picker.fileName().trimmed());
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    if (QFileInfo::exists(path)
        && !program_->ask(QStringLiteral("Plik %1 już istnieje.\nCzy chcesz go zastąpić?").arg(QDir::toNativeSeparators(path))))
        return;
    if (saveAsPdf(path))
        program_->notify(QStringLiteral("Wydruk zapisano w pliku %1").arg(QDir::toNativeSeparators(path)));
}

bool ReportWindow::saveAsPdf(const QString& path)
{
    PrintProgressWindow progress(this);
    progress.start(QStringLiteral("Zapisywanie wydruku w pliku PDF"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        writePdf(*Tekst->document(), Tekst->pageLayout(), path, [&progress](int page, int) {
            progress.showPage(page);
            return true;
        });
        QApplication::restoreOverrideCursor();
        return true;
    } catch (const Error& error) {
        QApplication::restoreOverrideCursor();
        progress.hide();
        program_->ProgramMessage(error.message(), MessageKind::Error);
        return false;
    }
}

void ReportWindow::chooseFont()
{
    // Preset with the font the report is set in, so "zastosuj" with no change keeps it.
    const QFont used = Tekst->document()->defaultFont();
    UserFontSpec chosen{used.family(), used.pointSize()};
    FontWindow fonts(chosen, this);
    if (fonts.chooseFont())
        applyDocumentFont(chosen.name, chosen.size);
}

void ReportWindow::applyDocumentFont(const QString& name, int size)
{
    QTextCursor all(Tekst->document());
    all.select(QTextCursor::Document);
    QTextCharFormat format;
    format.setFontFamilies({name});
    format.setFontPointSize(size);
    all.mergeCharFormat(format);
    QFont font = Tekst->font();
    font.setFamily(name);
    font.setPointSize(size);
    Tekst->setFont(font);
    Tekst->document()->setDefaultFont(font);
    Tekst->setTextCursor(QTextCursor(Tekst->document()));
    Tekst->viewport()->update();
}

} // namespace vestrum
