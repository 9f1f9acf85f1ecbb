#pragma once

#include "print/page_layout.h"
#include "print/report_builder.h"

#include <QFont>
#include <memory>

class QTextDocument;

namespace vestrum::report {

// The report's runs as a rich-text document: every run in `bodyFont` at the report's body size,
// in its style; each "\r\n" ends a paragraph.
std::unique_ptr<QTextDocument> ReportTextDocument(const ReportDocument& report, const QFont& bodyFont);
// The same, written into an existing document after clearing it (the print window's own).
void FillReportDocument(QTextDocument& document, const ReportDocument& report, const QFont& bodyFont);

// The report's page set-up in the print engine's terms.
PageLayout ReportPageLayout(const ReportPageSetup& setup);

} // namespace vestrum::report
