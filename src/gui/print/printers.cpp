#include "gui/print/printers.h"

#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>

namespace vestrum {

PrinterAccess PrinterAccess::system()
{
    PrinterAccess access;
    access.names = [] { return QPrinterInfo::availablePrinterNames(); };
    access.defaultName = [] { return QPrinterInfo::defaultPrinterName(); };
    access.open = [](const QString& name) -> std::unique_ptr<QPagedPaintDevice> {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setPrinterName(name);
        if (!printer->isValid() || !printer->setPageOrientation(QPageLayout::Portrait))
            return nullptr;
        return printer;
    };
    return access;
}

QString noPrinterInstalledMessage()
{
    return QStringLiteral("Przygotowanie podglądu wydruku oraz wydruk nie sa możliwe.\n"
                          "W systemie nie została zainstalowana żadna drukarka");
}

namespace {

void drawMagnifier(QPainter& painter, bool plus)
{
    painter.drawEllipse(QRectF(3, 3, 12, 12));
    painter.drawLine(QPointF(13.5, 13.5), QPointF(20, 20));
    painter.drawLine(QPointF(6, 9), QPointF(12, 9));
    if (plus)
        painter.drawLine(QPointF(9, 6), QPointF(9, 12));
}

void drawSheet(QPainter& painter)
{
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(5, 2, 13, 18));
    painter.setBrush(Qt::NoBrush);
    for (int y = 6; y <= 15; y += 3)
        painter.drawLine(QPointF(8, y), QPointF(15, y));
}

void drawPrinter(QPainter& painter)
{
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(6, 2, 10, 7));
    painter.setBrush(QColor(150, 150, 150));
    painter.drawRoundedRect(QRectF(2, 8, 18, 8), 2, 2);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(6, 13, 10, 7));
}

} // namespace

QIcon printToolIcon(const QString& kind)
{
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 1.6));
    if (kind == QLatin1String("zoomIn") || kind == QLatin1String("zoomOut")) {
        drawMagnifier(painter, kind == QLatin1String("zoomIn"));
    } else if (kind == QLatin1String("print")) {
        drawPrinter(painter);
    } else {
        drawSheet(painter);
        if (kind == QLatin1String("preview"))
            drawMagnifier(painter, false);
        if (kind == QLatin1String("pdf")) {
            QFont small = painter.font();
            small.setPixelSize(7);
            small.setBold(true);
            painter.setFont(small);
            painter.fillRect(QRectF(1, 13, 20, 8), Qt::white);
            painter.setPen(QColor(190, 0, 0));
            painter.drawText(QRectF(0, 13, 22, 8), Qt::AlignCenter, QStringLiteral("PDF"));
        }
        if (kind == QLatin1String("fit"))
            painter.drawRect(QRectF(1, 1, 20, 20));
    }
    return QIcon(pixmap);
}

bool printJobAborted(const QPagedPaintDevice& device)
{
    const auto* printer = dynamic_cast<const QPrinter*>(&device);
    return printer && printer->printerState() == QPrinter::Aborted;
}

void setPrintJobTitle(QPagedPaintDevice& device, const QString& title)
{
    if (auto* printer = dynamic_cast<QPrinter*>(&device))
        printer->setDocName(title);
}

} // namespace vestrum
