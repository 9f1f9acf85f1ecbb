#include "print/pdf_structure.h"

#include "base/error.h"

// The library's own smart pointers are std::shared_ptr throughout (its latest transition step).
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <exception>
#include <memory>

namespace vestrum {
namespace {

QPDFObjectHandle pdfText(const QString& text) { return QPDFObjectHandle::newUnicodeString(text.toStdString()); }

void setInfoEntry(QPDFObjectHandle& info, const char* key, const QString& value)
{
    if (value.isEmpty())
        info.removeKey(key);
    else
        info.replaceKey(key, pdfText(value));
}

void writeInfo(QPDF& pdf, const PdfInfo& given, const QString& creator)
{
    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
        info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        trailer.replaceKey("/Info", info);
    }
    setInfoEntry(info, "/Title", given.title);
    setInfoEntry(info, "/Author", given.author);
    setInfoEntry(info, "/Subject", given.subject);
    setInfoEntry(info, "/Creator", creator);
}

// A bookmark and where it hangs: the outline's root is -1.
struct Bookmark {
    QPDFObjectHandle dictionary;
    int parent = -1;
    std::vector<int> children;
};

// Every bookmark below `children` is open, so each counts all its descendants.
int countVisible(std::vector<Bookmark>& bookmarks, const std::vector<int>& children)
{
    int count = 0;
    for (int child : children) {
        const int below = countVisible(bookmarks, bookmarks[size_t(child)].children);
        if (below > 0)
            bookmarks[size_t(child)].dictionary.replaceKey("/Count", QPDFObjectHandle::newInteger(below));
        count += 1 + below;
    }
    return count;
}

// Links siblings and parents as the outline's tree wants them: /Parent, /Prev, /Next, /First, /Last.
void linkChildren(std::vector<Bookmark>& bookmarks, QPDFObjectHandle parent, const std::vector<int>& children)
{
    for (size_t i = 0; i < children.size(); ++i) {
        QPDFObjectHandle item = bookmarks[size_t(children[i])].dictionary;
        item.replaceKey("/Parent", parent);
        if (i > 0)
            item.replaceKey("/Prev", bookmarks[size_t(children[i - 1])].dictionary);
        if (i + 1 < children.size())
            item.replaceKey("/Next", bookmarks[size_t(children[i + 1])].dictionary);
        linkChildren(bookmarks, item, bookmarks[size_t(children[i])].children);
    }
    if (!children.empty()) {
        parent.replaceKey("/First", bookmarks[size_t(children.front())].dictionary);
        parent.replaceKey("/Last", bookmarks[size_t(children.back())].dictionary);
    }
}

QPDFObjectHandle destination(QPDFPageObjectHelper& page)
{
    QPDFObjectHandle box = page.getMediaBox();
    const double top = box.isArray() && box.getArrayNItems() == 4 ? box.getArrayItem(3).getNumericValue() : 0.0;
    return QPDFObjectHandle::newArray({page.getObjectHandle(), QPDFObjectHandle::newName("/XYZ"),
                                       QPDFObjectHandle::newInteger(0), QPDFObjectHandle::newReal(top, 2),
                                       QPDFObjectHandle::newNull()});
}

void writeOutline(QPDF& pdf, const std::vector<OutlineItem>& outline)
{
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.empty())
        return;
    std::vector<Bookmark> bookmarks;
    std::vector<int> topLevel;
    std::vector<int> openAtDepth; // the last bookmark of each depth, for the deeper ones to hang from
    for (const OutlineItem& item : outline) {
        const int depth = std::clamp(item.depth, 0, int(openAtDepth.size()));
        openAtDepth.resize(size_t(depth));
        Bookmark bookmark;
        bookmark.dictionary = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        bookmark.dictionary.replaceKey("/Title", pdfText(item.title));
        QPDFPageObjectHelper& page = pages[size_t(std::clamp(item.page, 1, int(pages.size())) - 1)];
        bookmark.dictionary.replaceKey("/Dest", destination(page));
        bookmark.parent = depth == 0 ? -1 : openAtDepth.back();
        const int index = int(bookmarks.size());
        bookmarks.push_back(bookmark);
        if (bookmark.parent < 0)
            topLevel.push_back(index);
        else
            bookmarks[size_t(bookmark.parent)].children.push_back(index);
        openAtDepth.push_back(index);
    }
    QPDFObjectHandle root = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Outlines >>"));
    linkChildren(bookmarks, root, topLevel);
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(countVisible(bookmarks, topLevel)));
    QPDFObjectHandle catalogue = pdf.getRoot();
    catalogue.replaceKey("/Outlines", root);
    catalogue.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
}

} // namespace

QByteArray addPdfStructure(const QByteArray& staged, const PdfInfo& info, const QString& creator,
                           const std::vector<OutlineItem>& outline)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("wydruk.pdf", staged.constData(), size_t(staged.size()));
        writeInfo(pdf, info, creator);
        if (!outline.empty())
            writeOutline(pdf, outline);
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        // Streams go out as they came in: no page content is decoded, recompressed or rewritten.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.setObjectStreamMode(qpdf_o_preserve);
        writer.write();
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char*>(written->getBuffer()), qsizetype(written->getSize()));
    } catch (const std::exception& failure) {
        throw Error(QString::fromLocal8Bit(failure.what()));
    }
}

} // namespace vestrum
