#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

namespace vestrum {

// `vestrum-cli report ZBIÓR -o PLIK.pdf [--entries=0,5,11,…]`: writes the survey report of a data
// file or survey database as a PDF, for batch printing and archiving. Without --entries every
// entry is printed; "--entries=" with no number gives the header and footer only. A parent entry
// (0, 11, 22, 31) ticks its parts. Needs a QGuiApplication (fonts). Returns 0 when written, 1
// when ZBIÓR cannot be read or the PDF cannot be written (message on `err`), 2 for a wrong
// command line. The report is in the font the program's settings name (programSettingsPath), as
// the program prints it.
int runReportCommand(const QStringList& args, QTextStream& out, QTextStream& err);
int runReportCommand(const QStringList& args, QTextStream& out, QTextStream& err, const QString& settingsPath);

// "ankieta.ini" of the data folder of the executable's program folder (program/data_home.h).
QString programSettingsPath();

} // namespace vestrum
