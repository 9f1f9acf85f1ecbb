#pragma once

#include "print/page_layout.h"
#include "print/paged_document.h"
#include "print/report_builder.h"
#include "program/run_state.h"

#include <QFont>
#include <memory>

class QTextDocument;

namespace vestrum::report {

// The report's body font: the family of the user's font (its size is the report's own). A family
// that is not installed is the font the system puts in its place, as in the program's windows.
QFont ReportBodyFont(const UserFontSpec& userFont);

// The report's runs as a rich-text document: every run in `bodyFont` at the report's body size,
// in its style; each "\r\n" ends a paragraph. Headings are kept with the line after them, each
// printed entry opens a bookmark (its text without surrounding blanks; parts nested in their
// parent) and the document carries the PDF's title, author and subject.
std::unique_ptr<QTextDocument> ReportTextDocument(const ReportDocument& report, const QFont& bodyFont);
// The same, written into an existing document after clearing it (the print window's own).
void FillReportDocument(QTextDocument& document, const ReportDocument& report, const QFont& bodyFont);

// "Ankieta <unit> za rok <year>" with the unit's name as author, or "Ankieta za rok <year>" and
// no author when the unit has no name; "Ankieta jednostki naukowej za rok <year>" as subject.
PdfInfo ReportPdfInfo(const ReportDocument& report);

// The report's page set-up in the print engine's terms.
PageLayout ReportPageLayout(const ReportPageSetup& setup);

} // namespace vestrum::report
