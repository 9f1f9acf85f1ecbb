#pragma once

#include <QIcon>
#include <QPagedPaintDevice>
#include <QStringList>

#include <functional>
#include <memory>

namespace vestrum {

// The printers of the platform (CUPS here): their names, the default one, and a print job on one
// of them. Tests put a PDF file in the printer's place.
struct PrinterAccess {
    std::function<QStringList()> names;
    std::function<QString()> defaultName;
    // A device on the named printer in portrait orientation, or null when the printer refuses it.
    std::function<std::unique_ptr<QPagedPaintDevice>(const QString& name)> open;

    static PrinterAccess system();
};

// The check that comes before every print or preview made on a printer.
QString noPrinterInstalledMessage();

// Simple drawn icons for the print tool bars: "print", "preview", "pdf", "zoomIn", "zoomOut", "fit".
QIcon printToolIcon(const QString& kind);

// True when the device is a printer job the user has cancelled.
bool printJobAborted(const QPagedPaintDevice& device);

// Names the print job where the device is a printer.
void setPrintJobTitle(QPagedPaintDevice& device, const QString& title);

} // namespace vestrum
