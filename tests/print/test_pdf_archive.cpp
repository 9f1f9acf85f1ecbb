#include "print/paged_document.h"
#include "print/pdf_structure.h"
#include "support/pdf_reading.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace vestrum;
using namespace vestrum::testing;

namespace {

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

PageLayout plainLayout()
{
    PageLayout layout;
    layout.header_text = S("Vestrum za rok 2008");
    layout.header_height = 15;
    layout.header_Font = QFont(S("Liberation Serif"), 9, QFont::Bold);
    layout.footer_text = S("strona &p");
    layout.footer_height = 15;
    layout.footer_Font = QFont(S("Liberation Serif"), 8);
    layout.Margin_left = layout.Margin_right = layout.Margin_top = layout.Margin_bottom = 20;
    return layout;
}

std::unique_ptr<QTextDocument> linesIn(const QFont& font, const QStringList& lines)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(font);
    QTextCursor cursor(document.get());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            cursor.insertBlock();
        QTextCharFormat style;
        style.setFontWeight(i % 3 == 1 ? QFont::Bold : QFont::Normal);
        style.setFontItalic(i % 3 == 2);
        cursor.insertText(lines.at(i), style);
    }
    return document;
}

// Words a font with ligatures draws as "ﬁ", "ﬂ", "ﬀ", "ﬃ" and "ﬄ".
const QStringList LigatureWords = {S("Polska Klasyfikacja Działalności"), S("fizyka, flota i afiliacja"),
                                   S("efficient waffle office stuff"), S("Profil office"), S("Filia konfliktu")};

QStringList nonEmptyLines(const QString& text)
{
    QStringList lines;
    for (const QString& line : text.split(u'\n'))
        if (!line.trimmed().isEmpty())
            lines.append(line.simplified());
    return lines;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

// What a PDF/A-1b validator checks first, read back from the file the report path writes.
TEST(ArchivalPdf, TheWrittenFileIsPdfA1bWithOneStoryInInfoAndXmp)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(S("archiwum.pdf"));
    auto document = linesIn(QFont(S("DejaVu Sans"), 11), LigatureWords);
    setPdfInfo(*document, {S("Ankieta „Instytutu” <Łączności> & spółki za rok 2008"), S("Instytut Łączności"),
                           S("Ankieta jednostki naukowej za rok 2008")});
    addOutlineItem(document->begin(), S("1. Informacje"), 0);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    ASSERT_EQ(writePdf(*document, plainLayout(), path), 1);
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);

    const QByteArray bytes = fileBytes(path);
    EXPECT_TRUE(bytes.startsWith("%PDF-1.4\n")) << bytes.left(12).toStdString();
    EXPECT_TRUE(bytes.contains("\nxref\n")); // a cross-reference table,
    EXPECT_FALSE(bytes.contains("/ObjStm")); // no object streams
    EXPECT_FALSE(bytes.contains("/XRef"));   // nor a cross-reference stream

    const auto read = readPdfObjects(path);
    const auto fonts = pdfFonts(path);
    const auto check = pdfToolOutput(S("qpdf"), {S("--check"), path});
    if (!read || !fonts || !check)
        GTEST_SKIP() << "qpdf or poppler-utils is not installed";
    EXPECT_TRUE(check->contains("No syntax or stream encoding errors")) << check->toStdString();
    EXPECT_EQ(read->version, S("1.4"));
    EXPECT_EQ(read->trailer.value(S("/ID")).toArray().size(), 2);
    EXPECT_FALSE(read->trailer.contains(S("/Encrypt")));

    const QJsonObject catalogue = read->catalogue();
    EXPECT_EQ(pdfText(catalogue.value(S("/Lang"))), S("pl-PL"));
    EXPECT_EQ(catalogue.value(S("/ViewerPreferences"))[S("/DisplayDocTitle")], QJsonValue(true));
    EXPECT_TRUE(catalogue.contains(S("/Outlines")));
    const QJsonArray intents = catalogue.value(S("/OutputIntents")).toArray();
    ASSERT_EQ(intents.size(), 1);
    const QJsonObject intent = read->value(intents.at(0));
    EXPECT_EQ(intent.value(S("/S")).toString(), S("/GTS_PDFA1"));
    EXPECT_FALSE(read->streamData(intent.value(S("/DestOutputProfile"))).isEmpty()); // the ICC profile

    ASSERT_FALSE(fonts->isEmpty());
    for (const PdfFont& font : *fonts)
        EXPECT_TRUE(font.embedded) << font.name.toStdString();

    const QJsonValue metadata = catalogue.value(S("/Metadata"));
    const QJsonObject metadataDictionary = read->streamDictionary(metadata);
    EXPECT_EQ(metadataDictionary.value(S("/Subtype")).toString(), S("/XML"));
    EXPECT_FALSE(metadataDictionary.contains(S("/Filter"))); // readable without decoding
    const QMap<QString, QString> xmp = xmpProperties(read->streamData(metadata));
    EXPECT_FALSE(xmp.contains(S("error"))) << xmp.value(S("error")).toStdString();
    EXPECT_EQ(xmp.value(S("pdfaid:part")), S("1"));
    EXPECT_EQ(xmp.value(S("pdfaid:conformance")), S("B"));

    const QJsonObject info = read->info();
    EXPECT_EQ(pdfText(info.value(S("/Title"))), S("Ankieta „Instytutu” <Łączności> & spółki za rok 2008"));
    EXPECT_EQ(xmp.value(S("dc:title")), pdfText(info.value(S("/Title"))));
    EXPECT_EQ(xmp.value(S("dc:creator")), pdfText(info.value(S("/Author"))));
    EXPECT_EQ(xmp.value(S("dc:description")), pdfText(info.value(S("/Subject"))));
    EXPECT_TRUE(pdfText(info.value(S("/Creator"))).startsWith(S("Vestrum ")));
    EXPECT_EQ(xmp.value(S("xmp:CreatorTool")), pdfText(info.value(S("/Creator"))));
    EXPECT_FALSE(pdfText(info.value(S("/Producer"))).isEmpty());
    EXPECT_EQ(xmp.value(S("pdf:Producer")), pdfText(info.value(S("/Producer"))));
    const QDateTime created = pdfDateTime(pdfText(info.value(S("/CreationDate"))));
    ASSERT_TRUE(created.isValid()) << pdfText(info.value(S("/CreationDate"))).toStdString();
    EXPECT_TRUE(created >= before && created <= after) << created.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(pdfDateTime(pdfText(info.value(S("/ModDate")))), created);
    EXPECT_EQ(pdfDateTime(xmp.value(S("xmp:CreateDate"))), created);
    EXPECT_EQ(pdfDateTime(xmp.value(S("xmp:ModifyDate"))), created);
}

// The structure step on its own: it takes the moment it is given, leaves out what the information
// leaves out, and claims no PDF/A conformance that Qt did not write.
TEST(ArchivalPdf, TheStructureStepSaysOnlyWhatIsTrue)
{
    QBuffer plain;
    plain.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&plain); // Qt's ordinary PDF, not PDF/A
        QPainter painter(&writer);
        painter.drawText(100, 100, S("strona"));
    }
    const QDateTime written(QDate(2008, 3, 1), QTime(12, 0), QTimeZone(3600));
    const QByteArray finished = addPdfStructure(plain.data(), {S("Ankieta za rok 2008"), QString(), QString()},
                                                S("Vestrum 1.0.0.0"), {}, written);
    QTemporaryDir dir;
    const QString path = dir.filePath(S("zwykly.pdf"));
    writeFile(path, finished);
    const auto read = readPdfObjects(path);
    if (!read)
        GTEST_SKIP() << "qpdf is not installed";
    const QJsonObject info = read->info();
    EXPECT_EQ(pdfText(info.value(S("/CreationDate"))), S("D:20080301110000Z"));
    EXPECT_EQ(pdfText(info.value(S("/ModDate"))), S("D:20080301110000Z"));
    EXPECT_FALSE(info.contains(S("/Author")));
    EXPECT_FALSE(info.contains(S("/Subject")));
    const QMap<QString, QString> xmp = xmpProperties(read->streamData(read->catalogue().value(S("/Metadata"))));
    EXPECT_EQ(xmp.value(S("dc:title")), S("Ankieta za rok 2008"));
    EXPECT_EQ(xmp.value(S("xmp:CreateDate")), S("2008-03-01T11:00:00Z"));
    EXPECT_FALSE(xmp.contains(S("dc:creator")));
    EXPECT_FALSE(xmp.contains(S("dc:description")));
    EXPECT_FALSE(xmp.contains(S("pdfaid:part")));
    EXPECT_EQ(pdfText(read->catalogue().value(S("/Lang"))), S("pl-PL"));
}

// Searching and copying find the words as typed, whatever font the user chose. DejaVu Sans draws
// "fi" as one glyph that, left to itself, comes out of the PDF as "ﬁ": shown first, so that the
// check below is known to catch it.
TEST(PdfText, EveryInstalledFontGivesTheLettersAsTyped)
{
    QTemporaryDir dir;
    const QString shaped = dir.filePath(S("ligatury.pdf"));
    {
        QPdfWriter writer(shaped);
        QPainter painter(&writer);
        painter.setFont(QFont(S("DejaVu Sans"), 11));
        painter.drawText(200, 400, LigatureWords.front());
    }
    const auto control = pdfPageTexts(shaped);
    if (!control)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    ASSERT_TRUE(QFontDatabase::families().contains(S("DejaVu Sans"))) << "fonts-dejavu-core is not installed";
    ASSERT_FALSE(ligaturesIn(control->join(QString())).isEmpty()) << control->join(QString()).toStdString();

    const QStringList expected = QStringList{S("Vestrum za rok 2008")} + LigatureWords + QStringList{S("strona 1")};
    for (const QString& family : QFontDatabase::families()) {
        const QString path = dir.filePath(family + S(".pdf"));
        writePdf(*linesIn(QFont(family, 11), LigatureWords), plainLayout(), path);
        const auto pages = pdfPageTexts(path);
        ASSERT_TRUE(pages && pages->size() == 1) << family.toStdString();
        const QString found = nonEmptyLines(pages->front()).join(u'|');
        EXPECT_TRUE(ligaturesIn(found).isEmpty()) << family.toStdString() << ": " << found.toStdString();
        // A symbol font draws its own signs for the letters, and Qt takes no other font for the
        // "ł" or "ś" it lacks.
        if (!QFontDatabase::writingSystems(family).contains(QFontDatabase::Symbol)) {
            EXPECT_EQ(found, expected.join(u'|')) << family.toStdString() << ": " << found.toStdString();
        }
    }
}
