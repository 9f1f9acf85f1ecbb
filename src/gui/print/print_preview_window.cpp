#include "gui/print/print_preview_window.h"

#include "gui/print/print_range_window.h"
#include "print/paged_document.h"
#include "program/program.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vestrum {

// The area the page is shown on: grey, with the page where the placement puts it.
class PrintPreviewWindow::PageCanvas : public QWidget {
public:
    explicit PageCanvas(PrintPreviewWindow& window) : window_(window) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(128, 128, 128));
        const QRect page = window_.placement_.page();
        painter.fillRect(page.translated(3, 3), QColor(70, 70, 70));
        painter.fillRect(page, Qt::white);
        if (window_.pages_.isEmpty() || window_.pageSize_.isEmpty())
            return;
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setClipRect(page);
        painter.translate(page.topLeft());
        playPage(painter, window_.pages_.at(window_.current_ - 1), double(page.width()) / window_.pageSize_.width());
    }

private:
    PrintPreviewWindow& window_;
};

PrintPreviewWindow::PrintPreviewWindow(Program& program, QList<QPicture> pages, QSize pageSize,
                                       PrinterAccess printers, QWidget* parent)
    : QDialog(parent, Qt::Window), program_(&program), pages_(std::move(pages)), pageSize_(pageSize),
      printers_(std::move(printers)), placement_(pageSize), printerList_(new QComboBox(this)),
      printButton_(new QToolButton(this)), scroll_(new QScrollArea(this)), canvas_(new PageCanvas(*this)),
      status_(new QLabel(this)), rangeWindow_(new PrintRangeWindow(this))
{
    setWindowTitle(QStringLiteral("Podgląd wydruku"));
    buildMenu();
    buildToolBar();

    scroll_->setWidget(canvas_);
    scroll_->setWidgetResizable(false);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->installEventFilter(this);
    placement_.setScrollBarExtent(scroll_->verticalScrollBar()->sizeHint().width());

    auto* statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);
    status_->setAlignment(Qt::AlignCenter);
    statusBar->addWidget(status_, 1);

    auto* layout = qobject_cast<QVBoxLayout*>(this->layout());
    layout->addWidget(scroll_, 1);
    layout->addWidget(statusBar);
    fillPrinters();
    resize(900, 700);
    placement_.open(viewSize());
    refresh();
}

void PrintPreviewWindow::buildMenu()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* menu = new QMenuBar(this);
    layout->setMenuBar(menu);

    const auto action = [this](const QString& text, const QString& hint, QKeySequence key, auto slot) {
        auto* a = new QAction(text, this);
        a->setToolTip(hint);
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        return a;
    };
    print_ = action(QStringLiteral("Drukuj"), QStringLiteral("drukuj"), {}, [this] { print(); });
    zoomIn_ = action(QStringLiteral("Powiększ"), QStringLiteral("powiększ"), {}, [this] { zoomIn(); });
    fit_ = action(QStringLiteral("Dopasuj do strony"), QStringLiteral("dopasuj do okna"), {}, [this] { fitPage(); });
    zoomOut_ = action(QStringLiteral("Pomniejsz"), QStringLiteral("pomniejsz"), {}, [this] { zoomOut(); });
    first_ = action(QStringLiteral("Pierwsza"), QStringLiteral("pierwsza strona"), QKeySequence(Qt::Key_Home),
                    [this] { goToPage(1); });
    previous_ = action(QStringLiteral("Poprzednia"), QStringLiteral("poprzednia strona"),
                       QKeySequence(Qt::Key_PageUp), [this] { goToPage(current_ - 1); });
    next_ = action(QStringLiteral("Następna"), QStringLiteral("następna strona"), QKeySequence(Qt::Key_PageDown),
                   [this] { goToPage(current_ + 1); });
    last_ = action(QStringLiteral("Ostatnia"), QStringLiteral("ostatnia strona"), QKeySequence(Qt::Key_End),
                   [this] { goToPage(pageCount()); });
    close_ = action(QStringLiteral("Zamknij"), QString(), {}, [this] { accept(); });

    zoomIn_->setIcon(printToolIcon(QStringLiteral("zoomIn")));
    fit_->setIcon(printToolIcon(QStringLiteral("fit")));
    zoomOut_->setIcon(printToolIcon(QStringLiteral("zoomOut")));
    first_->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
    previous_->setIcon(style()->standardIcon(QStyle::SP_MediaSeekBackward));
    next_->setIcon(style()->standardIcon(QStyle::SP_MediaSeekForward));
    last_->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));

    menu->addAction(print_);
    QMenu* view = menu->addMenu(QStringLiteral("Widok"));
    view->addActions({zoomIn_, fit_, zoomOut_});
    QMenu* page = menu->addMenu(QStringLiteral("Strona"));
    page->addActions({first_, previous_, next_, last_});
    menu->addAction(close_);
}

void PrintPreviewWindow::buildToolBar()
{
    auto* bar = new QToolBar(this);
    bar->setIconSize(QSize(22, 22));
    printerList_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    printerList_->setMinimumContentsLength(20);
    bar->addWidget(printerList_);
    printButton_->setIcon(printToolIcon(QStringLiteral("print")));
    printButton_->setToolTip(QStringLiteral("drukuj"));
    printButton_->setAutoRaise(true);
    connect(printButton_, &QToolButton::clicked, this, [this] { print(); });
    bar->addWidget(printButton_);
    bar->addSeparator();
    bar->addActions({zoomIn_, fit_, zoomOut_});
    bar->addSeparator();
    bar->addActions({first_, previous_, next_, last_});
    layout()->addWidget(bar);
}

void PrintPreviewWindow::fillPrinters()
{
    const QStringList names = printers_.names ? printers_.names() : QStringList();
    printerList_->addItems(names);
    const int chosen = names.indexOf(printers_.defaultName ? printers_.defaultName() : QString());
    printerList_->setCurrentIndex(names.isEmpty() ? -1 : std::max(0, chosen));
    // Without a printer only the PDF route is left; the disabled command says so on hovering.
    const bool printable = !names.isEmpty();
    const QString hint = printable ? QStringLiteral("drukuj")
                                   : QStringLiteral("Brak drukarki - użyj »Zapisz jako PDF…«");
    for (QObject* command : {static_cast<QObject*>(printButton_), static_cast<QObject*>(print_)}) {
        if (auto* button = qobject_cast<QToolButton*>(command)) {
            button->setEnabled(printable);
            button->setToolTip(hint);
        } else if (auto* action = qobject_cast<QAction*>(command)) {
            action->setEnabled(printable);
            action->setToolTip(hint);
        }
    }
}

QSize PrintPreviewWindow::viewSize() const { return scroll_->maximumViewportSize(); }

QString PrintPreviewWindow::statusText() const
{
    return QStringLiteral("strona %1/%2").arg(current_).arg(pageCount());
}

void PrintPreviewWindow::showPreview()
{
    setWindowState(windowState() | Qt::WindowMaximized);
    opening_ = true;
    current_ = 1;
    placement_.open(viewSize());
    refresh();
    exec();
}

void PrintPreviewWindow::refresh()
{
    canvas_->resize(placement_.canvas(viewSize()));
    canvas_->update();
    status_->setText(statusText());
    first_->setEnabled(current_ > 1);
    previous_->setEnabled(current_ > 1);
    next_->setEnabled(current_ < pageCount());
    last_->setEnabled(current_ < pageCount());
}

void PrintPreviewWindow::goToPage(int page)
{
    current_ = std::clamp(page, 1, std::max(1, pageCount()));
    refresh();
}

void PrintPreviewWindow::zoomIn()
{
    opening_ = false;
    placement_.zoomIn(viewSize());
    refresh();
}

void PrintPreviewWindow::zoomOut()
{
    opening_ = false;
    placement_.zoomOut(viewSize());
    refresh();
}

void PrintPreviewWindow::fitPage()
{
    opening_ = false;
    placement_.fit(viewSize());
    refresh();
}

bool PrintPreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scroll_ && event->type() == QEvent::Resize) {
        // Until the user zooms, the page keeps the size it opens with, whatever size the
        // window reaches while it is being maximized.
        if (opening_)
            placement_.open(viewSize());
        else
            placement_.resized(viewSize());
        refresh();
    }
    return QDialog::eventFilter(watched, event);
}

void PrintPreviewWindow::print()
{
    if (printerList_->count() == 0) {
        program_->ProgramMessage(noPrinterInstalledMessage(), MessageKind::Error);
        return;
    }
    if (const auto range = rangeWindow_->chooseRange(pageCount()))
        printPages(*range);
}

bool PrintPreviewWindow::printPages(const PrintRange& range)
{
    if (range.isEmpty()) {
        program_->ProgramMessage(QStringLiteral("Podany zakres nie obejmuje żadnej strony - wydruk nie jest możliwy"),
                                 MessageKind::Error);
        return false;
    }
    const QString name = printerList_->currentText();
    std::unique_ptr<QPagedPaintDevice> device = printers_.open ? printers_.open(name) : nullptr;
    QPainter painter;
    if (device)
        setPrintJobTitle(*device, QStringLiteral("Tytul"));
    if (!device || !painter.begin(device.get())) {
        program_->ProgramMessage(
            QStringLiteral("W systemie nie została zainstalowana żadna drukarka - wydruk nie jest możliwy"),
            MessageKind::Error);
        return false;
    }
    // The recorded page is replayed at the printer's size, less one pixel at each edge.
    const double scale = double(device->width()) / pageSize_.width();
    const QRect inner(1, 1, device->width() - 2, device->height() - 2);
    const QList<int> pages = range.pages();
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            device->newPage();
        painter.save();
        painter.setClipRect(inner);
        playPage(painter, pages_.at(pages[i] - 1), scale);
        painter.restore();
        if (printJobAborted(*device))
            return false;
    }
    return painter.end();
}

} // namespace vestrum
