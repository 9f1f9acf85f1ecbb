#pragma once

#include "print/paged_document.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

namespace vestrum {

// Gives a PDF that Qt has written as PDF/A-1b what an archive and a viewer look for, and keeps it
// PDF/A-1b: the document information (title, author, subject, creator, and `written` as both
// creation and modification date) and the XMP metadata stream rewritten to say the same; the
// outline, one bookmark per item, nested by depth, each opening the top of its page; the language
// (Polish) and the viewer's showing the title instead of the file name. The file stays PDF 1.4
// with a cross-reference table and a trailer /ID, no object streams. The XMP claims the PDF/A
// part and conformance only when Qt's own metadata did. Every page and its content streams are
// copied byte for byte. Throws Error with the library's words when the PDF cannot be read or
// written.
QByteArray addPdfStructure(const QByteArray& pdf, const PdfInfo& info, const QString& creator,
                           const std::vector<OutlineItem>& outline,
                           const QDateTime& written = QDateTime::currentDateTime());

} // namespace vestrum
