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

#include <QRegularExpression>

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

// A date as the document information writes it, and as XMP writes the same moment. Both in UTC,
// so that a validator comparing them never meets two time zones.
QString pdfDate(const QDateTime& moment) { return moment.toUTC().toString(QStringLiteral("'D:'yyyyMMddHHmmss'Z'")); }
QString xmpDate(const QDateTime& moment) { return moment.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")); }

QPDFObjectHandle infoDictionary(QPDF& pdf)
{
    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
        info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        trailer.replaceKey("/Info", info);
    }
    return info;
}

void writeInfo(QPDFObjectHandle info, const PdfInfo& given, const QString& creator, const QDateTime& written)
{
    setInfoEntry(info, "/Title", given.title);
    setInfoEntry(info, "/Author", given.author);
    setInfoEntry(info, "/Subject", given.subject);
    setInfoEntry(info, "/Creator", creator);
    setInfoEntry(info, "/CreationDate", pdfDate(written));
    setInfoEntry(info, "/ModDate", pdfDate(written));
}

QString infoText(QPDFObjectHandle info, const char* key)
{
    QPDFObjectHandle value = info.getKey(key);
    return value.isString() ? QString::fromStdString(value.getUTF8Value()) : QString();
}

// The PDF/A identification Qt's own metadata gave, kept as it was: "" when there is none.
struct PdfAIdentification {
    QString part;
    QString conformance;
};

PdfAIdentification pdfAIdentification(QPDFObjectHandle metadata)
{
    if (!metadata.isStream())
        return {};
    const std::shared_ptr<Buffer> data = metadata.getStreamData(qpdf_dl_generalized);
    const QString xmp = QString::fromUtf8(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
    // Qt writes them as attributes; an element form is read as well.
    static const QRegularExpression part(QStringLiteral("pdfaid:part(?:\\s*=\\s*[\"']|>)\\s*(\\d+)"));
    static const QRegularExpression conformance(QStringLiteral("pdfaid:conformance(?:\\s*=\\s*[\"']|>)\\s*([A-Za-z])"));
    return {part.match(xmp).captured(1), conformance.match(xmp).captured(1)};
}

// An element for a value the document information holds; nothing for one it leaves out.
QString xmpElement(const QString& name, const QString& value)
{
    if (value.isEmpty())
        return {};
    return QStringLiteral("   <%1>%2</%1>\n").arg(name, value.toHtmlEscaped());
}

QString xmpAlternative(const QString& name, const QString& value)
{
    return QStringLiteral("   <%1><rdf:Alt><rdf:li xml:lang=\"x-default\">%2</rdf:li></rdf:Alt></%1>\n")
        .arg(name, value.toHtmlEscaped());
}

QString xmpDescription(const QString& prefix, const QString& uri, const QString& elements)
{
    return QStringLiteral("  <rdf:Description rdf:about=\"\" xmlns:%1=\"%2\">\n%3  </rdf:Description>\n")
        .arg(prefix, uri, elements);
}

// The XMP packet of the document information, entry for entry as PDF/A-1 pairs them: Title with
// dc:title, Author with dc:creator, Subject with dc:description, Creator with xmp:CreatorTool,
// Producer with pdf:Producer, the dates with xmp:CreateDate and xmp:ModifyDate.
QByteArray xmpPacket(QPDFObjectHandle info, const PdfAIdentification& pdfA, const QDateTime& written)
{
    QString dc = xmpElement(QStringLiteral("dc:format"), QStringLiteral("application/pdf"));
    if (const QString title = infoText(info, "/Title"); !title.isEmpty())
        dc += xmpAlternative(QStringLiteral("dc:title"), title);
    if (const QString author = infoText(info, "/Author"); !author.isEmpty())
        dc += QStringLiteral("   <dc:creator><rdf:Seq><rdf:li>%1</rdf:li></rdf:Seq></dc:creator>\n").arg(author.toHtmlEscaped());
    if (const QString subject = infoText(info, "/Subject"); !subject.isEmpty())
        dc += xmpAlternative(QStringLiteral("dc:description"), subject);
    QString xmp = xmpElement(QStringLiteral("xmp:CreatorTool"), infoText(info, "/Creator"));
    for (const char* name : {"xmp:CreateDate", "xmp:ModifyDate", "xmp:MetadataDate"})
        xmp += xmpElement(QString::fromLatin1(name), xmpDate(written));
    QString text = QStringLiteral("<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                                  "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                                  " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n");
    text += xmpDescription(QStringLiteral("dc"), QStringLiteral("http://purl.org/dc/elements/1.1/"), dc);
    text += xmpDescription(QStringLiteral("xmp"), QStringLiteral("http://ns.adobe.com/xap/1.0/"), xmp);
    text += xmpDescription(QStringLiteral("pdf"), QStringLiteral("http://ns.adobe.com/pdf/1.3/"),
                           xmpElement(QStringLiteral("pdf:Producer"), infoText(info, "/Producer")));
    if (!pdfA.part.isEmpty() && !pdfA.conformance.isEmpty())
        text += xmpDescription(QStringLiteral("pdfaid"), QStringLiteral("http://www.aiim.org/pdfa/ns/id/"),
                               xmpElement(QStringLiteral("pdfaid:part"), pdfA.part)
                                   + xmpElement(QStringLiteral("pdfaid:conformance"), pdfA.conformance));
    text += QStringLiteral(" </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>");
    return text.toUtf8();
}

// The catalogue's metadata stream says again what the document information says. PDF/A wants it
// unfiltered, so that a reader finds it without decoding.
void writeMetadata(QPDF& pdf, QPDFObjectHandle info, const QDateTime& written)
{
    QPDFObjectHandle catalogue = pdf.getRoot();
    QPDFObjectHandle metadata = catalogue.getKey("/Metadata");
    const QByteArray packet = xmpPacket(info, pdfAIdentification(metadata), written);
    if (!metadata.isStream()) {
        metadata = pdf.newStream();
        catalogue.replaceKey("/Metadata", metadata);
    }
    metadata.replaceStreamData(packet.toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    QPDFObjectHandle dictionary = metadata.getDict();
    dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/Metadata"));
    dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/XML"));
}

// A screen reader reads the report with a Polish voice; a viewer shows its title, not the file name.
void writeReadingHints(QPDF& pdf)
{
    QPDFObjectHandle catalogue = pdf.getRoot();
    catalogue.replaceKey("/Lang", QPDFObjectHandle::newString("pl-PL"));
    QPDFObjectHandle preferences = catalogue.getKey("/ViewerPreferences");
    if (!preferences.isDictionary()) {
        preferences = QPDFObjectHandle::newDictionary();
        catalogue.replaceKey("/ViewerPreferences", preferences);
    }
    preferences.replaceKey("/DisplayDocTitle", QPDFObjectHandle::newBool(true));
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
                           const std::vector<OutlineItem>& outline, const QDateTime& written)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("wydruk.pdf", staged.constData(), size_t(staged.size()));
        QPDFObjectHandle information = infoDictionary(pdf);
        writeInfo(information, info, creator, written);
        writeMetadata(pdf, information, written);
        writeReadingHints(pdf);
        if (!outline.empty())
            writeOutline(pdf, outline);
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        // Streams go out as they came in: no page content is decoded, recompressed or rewritten.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        // PDF/A-1 is PDF 1.4: no object streams, a cross-reference table, not a stream.
        writer.setObjectStreamMode(qpdf_o_disable);
        writer.write();
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char*>(written->getBuffer()), qsizetype(written->getSize()));
    } catch (const std::exception& failure) {
        throw Error(QString::fromLocal8Bit(failure.what()));
    }
}

} // namespace vestrum
