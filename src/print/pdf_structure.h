#pragma once

#include "print/paged_document.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace vestrum {

// Gives a PDF that Qt has written its document information (title, author, subject, creator) and
// its outline: one bookmark per item, nested by depth, each opening the top of its page. Only the
// document information, the outline and the catalogue's pointers to them change; every page and
// its content streams are copied byte for byte. Throws Error with the library's words when the
// PDF cannot be read or written.
QByteArray addPdfStructure(const QByteArray& pdf, const PdfInfo& info, const QString& creator,
                           const std::vector<OutlineItem>& outline);

} // namespace vestrum
