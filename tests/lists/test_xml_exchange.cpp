#include "lists/xml_exchange.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_grid.h"
#include "lists/xml_exchange_scan.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

using namespace vestrum;
using lists::listXml;
using lists::readListXml;

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

std::vector<QStringList> readBytes(const QByteArray& bytes, int columns)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readListXml(buffer, columns);
}

// The message of the error reading `bytes` raises, or "<none>".
QString readError(const QByteArray& bytes, int columns = 3)
{
    try {
        readBytes(bytes, columns);
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("<none>");
}

QByteArray document(const QByteArray& records)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<eksport>\r\n" + records + "</eksport>\r\n";
}

// Rows of a kind's width with the texts a list really holds: Polish letters, several lines,
// characters XML escapes, an empty cell, blanks at the ends and the CDATA terminator.
std::vector<QStringList> sampleRows(int columns)
{
    const QStringList texts
        = { S("Żółć gęślą jaźń"), S("pierwszy wiersz\ndrugi wiersz\n\ntrzeci"), S("a < b && c > \"d\" 'e'"), QString(),
              S("  z blankami  "), S("koniec ]]> sekcji ]]]]> i ]]"), S("12,50"), S("\tz tabulatorem") };
    std::vector<QStringList> rows;
    for (int r = 0; r < 3; ++r) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row.append(texts[(r * 3 + c) % texts.size()]);
        rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST(XmlExchange, WritesTheFormatByteForByte)
{
    const QByteArray bytes = listXml({ { S("Zjazd Fizyków"), QString() }, { S("dwa\nwiersze"), S("x]]>y") } });
    EXPECT_EQ(bytes,
        QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                   "<eksport>\r\n"
                   "<rekord>\r\n"
                   " <kolumna_1><![CDATA[Zjazd Fizyk\xC3\xB3w]]></kolumna_1>\r\n"
                   " <kolumna_2><![CDATA[]]></kolumna_2>\r\n"
                   "</rekord>\r\n"
                   "<rekord>\r\n"
                   " <kolumna_1><![CDATA[dwa\nwiersze]]></kolumna_1>\r\n"
                   " <kolumna_2><![CDATA[x]]]]><![CDATA[>y]]></kolumna_2>\r\n"
                   "</rekord>\r\n"
                   "</eksport>\r\n"));
    // Column numbers are decimal past 9, and an empty list file is the frame alone.
    QStringList eleven;
    eleven.resize(11);
    EXPECT_TRUE(listXml({ eleven }).contains(" <kolumna_11><![CDATA[]]></kolumna_11>\r\n"));
    EXPECT_EQ(listXml({}), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<eksport>\r\n</eksport>\r\n"));
}

TEST(XmlExchange, EveryKindReadsBackTheRowsItWrote)
{
    QTemporaryDir dir;
    for (int kind = 0; kind < lists::ListKindCount; ++kind) {
        const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
        lists::ListGrid grid(info.headers());
        grid.setRows(sampleRows(grid.columnCount()));
        const QString path = dir.filePath(QStringLiteral("wykaz_%1.xml").arg(kind));
        lists::writeListXml(path, grid);
        EXPECT_EQ(readListXml(path, grid.columnCount()), grid.rows()) << "kind " << kind;
    }
}

TEST(XmlExchange, ACellsOwnLineBreaksAreWrittenAsTheyAreAndReadBackAsLineFeeds)
{
    // The editor's cells hold line feeds: written unchanged, they come back unchanged.
    const QString cell = S("pierwszy\ndrugi\n\nczwarty");
    EXPECT_TRUE(listXml({ { cell } }).contains("<![CDATA[pierwszy\ndrugi\n\nczwarty]]>"));
    EXPECT_EQ(readBytes(listXml({ { cell } }), 1), (std::vector<QStringList> { { cell } }));
    // A cell loaded from an older survey may hold CR LF or a lone CR: written as they are, the reader turns
    // them into the editor's line feed.
    EXPECT_TRUE(listXml({ { S("a\r\nb\rc") } }).contains("<![CDATA[a\r\nb\rc]]>"));
    EXPECT_EQ(readBytes(listXml({ { S("a\r\nb\rc\nd") } }), 1), (std::vector<QStringList> { { S("a\nb\nc\nd") } }));
}

TEST(XmlExchange, CharactersXmlCannotHoldAreDroppedSoTheFileReadsBack)
{
    const QString cell = S("a\x01"
                           "b\x0B\x0C\x1F"
                           "c")
        + QChar(0xFFFE) + QChar(0xD800) + S("d") + QChar(0xDC00) + S("\xF0\x9F\x98\x80") + S("]]\x02>");
    const auto rows = readBytes(listXml({ { cell } }), 1);
    ASSERT_EQ(rows.size(), 1u);
    // The dropped character between "]]" and ">" must not leave a bare CDATA end behind.
    EXPECT_EQ(rows[0][0], S("abcd\xF0\x9F\x98\x80]]>"));
}

TEST(XmlExchange, ReadsRecordsByColumnNumberWhateverTheElementNames)
{
    const QByteArray bytes = "<?xml version=\"1.0\"?>\n<cokolwiek>\n"
                             // columns in another order, another prefix, a number outside the kind
                             "<r><kolumna_3>trzy</kolumna_3><x_1>jeden</x_1><kolumna_9>poza</kolumna_9>"
                             "<kolumna_0>zero</kolumna_0></r>\n"
                             // a letter-named column stops the record; what came before it stays
                             "<rekord><kolumna_2>dwa</kolumna_2><kolumna_b>b</kolumna_b><kolumna_1>nie</kolumna_1>"
                             "</rekord>\n"
                             // text, comments and instructions between records are not records
                             "tekst <!-- uwaga --> <?pi x?>\n"
                             // a name without "_", text and CDATA pieces joined, entities resolved
                             "<rekord><kolumna1>nie</kolumna1></rekord>\n"
                             "<rekord><k_1>a &amp; <![CDATA[<b>]]> c</k_1><k_2><![CDATA[x]]]]><![CDATA[>y]]></k_2>"
                             // an element holding elements has no text of its own
                             "<k_3>przed<i>w</i>po</k_3></rekord>\n"
                             "<rekord/>\n"
                             "</cokolwiek>";
    const auto rows = readBytes(bytes, 3);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], QStringList({ S("jeden"), QString(), S("trzy") }));
    EXPECT_EQ(rows[1], QStringList({ QString(), S("dwa"), QString() }));
    EXPECT_EQ(rows[2], QStringList({ QString(), QString(), QString() }));
    EXPECT_EQ(rows[3], QStringList({ S("a & <b> c"), S("x]]>y"), QString() }));
    EXPECT_EQ(rows[4], QStringList({ QString(), QString(), QString() }));

    // A root without children gives no rows (the editor keeps its one blank row).
    EXPECT_TRUE(readBytes(document(""), 3).empty());
    EXPECT_TRUE(readBytes("<eksport/>", 3).empty());
}

TEST(XmlExchange, RefusesMalformedFilesWithLineAndColumn)
{
    EXPECT_EQ(readError(document("<rekord>\r\n <kolumna_1>a</kolumna_2>\r\n</rekord>\r\n")).toStdString(),
        S("Plik nie jest prawidłowym dokumentem XML: błąd w wierszu 4, w kolumnie 25.").toStdString());
    for (const QByteArray& bad : { QByteArray(), QByteArray("<eksport>"), QByteArray("<a/><b/>"),
             QByteArray("<a>&nieznana;</a>"), QByteArray("<a>\x01</a>") })
        EXPECT_TRUE(readError(bad).contains(S("nie jest prawidłowym dokumentem XML"))) << bad.toStdString();
}

TEST(XmlExchange, RefusesEveryDocumentTypeDeclarationWithoutExpandingIt)
{
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n";
    for (int i = 2; i <= 9; ++i)
        laughs += QStringLiteral("<!ENTITY lol%1 \"%2\">\n")
                      .arg(i)
                      .arg(QStringLiteral("&lol%1;").arg(i - 1).repeated(10))
                      .toUtf8();
    laughs += "]>\n<eksport><rekord><k_1>&lol9;</k_1></rekord></eksport>";
    const QByteArray external = "<?xml version=\"1.0\"?>\n<!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
                                "<e><r><k_1>&x;</k_1></r></e>";
    for (const QByteArray& bytes : { laughs, external, QByteArray("<!DOCTYPE eksport><eksport/>") })
        EXPECT_EQ(readError(bytes),
            S("Plik zawiera deklarację typu dokumentu (DOCTYPE). Program nie wczytuje takich plików."));
}

namespace {

// A record whose one column element carries `count` attributes, each `valueBytes` long.
QByteArray recordWithAttributes(int count, int valueBytes = 1)
{
    QByteArray tag = "<kolumna_1";
    for (int i = 0; i < count; ++i)
        tag += " a" + QByteArray::number(i) + "=\"" + QByteArray(valueBytes, 'v') + "\"";
    return "<rekord>\r\n" + tag + ">tekst</kolumna_1>\r\n</rekord>\r\n";
}

QByteArray utf16(const QByteArray& utf8, bool bigEndian)
{
    const QString text = QString::fromUtf8(utf8).replace(S("encoding=\"UTF-8\""), S("encoding=\"UTF-16\""));
    QByteArray out = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8), low = static_cast<char>(c.unicode() & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

const char* const kTooLarge = "Plik nie jest plikiem wykazu: element w wierszu %1 jest zbyt duży.";

} // namespace

TEST(XmlExchange, AStartTagTooLargeForAnyListIsRefusedBeforeTheParserSeesIt)
{
    // The flood that took the parser seconds: refused, naming the line of the element.
    EXPECT_EQ(readError(document(recordWithAttributes(40000))), S(kTooLarge).arg(4));
    EXPECT_EQ(readError(document(recordWithAttributes(257))), S(kTooLarge).arg(4));
    // One attribute, but a tag longer than 64 KiB.
    EXPECT_EQ(readError(document("<rekord>\n" + recordWithAttributes(1, 70 * 1024))), S(kTooLarge).arg(5));
    // The flood in a UTF-16 file is found as well.
    for (bool bigEndian : { false, true })
        EXPECT_EQ(readError(utf16(document(recordWithAttributes(300)), bigEndian)), S(kTooLarge).arg(4));
    // From a file, the message names it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zalew.xml"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(document(recordWithAttributes(20000)));
    file.close();
    try {
        readListXml(path, 1);
        FAIL() << "the flood was read";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), S("Plik %1 nie jest plikiem wykazu: element w wierszu 4 jest zbyt duży.").arg(path));
    }
}

TEST(XmlExchange, EveryWellFormedFileWithinTheBoundsStaysReadable)
{
    const std::vector<QStringList> one = { { S("tekst") } };
    // At the bounds: 256 attributes, and a tag of nearly 64 KiB.
    EXPECT_EQ(readBytes(document(recordWithAttributes(256)), 1), one);
    EXPECT_EQ(readBytes(document(recordWithAttributes(1, 64 * 1024 - 40)), 1), one);
    // What looks like attributes or tags inside quoted values, comments, CDATA and instructions is none.
    QByteArray quoted = "<kolumna_1 a='" + QByteArray(300, '=') + ">\"' b=\"" + QByteArray(300, '=') + "'>\">";
    QByteArray noise = "<!-- " + recordWithAttributes(400) + " -> -->\n<?pi " + QByteArray(400, '=')
        + " ? > ?>\n";
    const QByteArray cdata = "<![CDATA[<x " + QByteArray(400, '=') + "]] ]>]]>";
    const auto rows = readBytes(document(noise + "<rekord>" + quoted + cdata + "</kolumna_1></rekord>\n"), 1);
    EXPECT_EQ(rows, (std::vector<QStringList> { { QString::fromLatin1("<x " + QByteArray(400, '=') + "]] ]>") } }));
    // Namespaces: declarations and prefixes, one with "_" in it, play no part in the column numbers.
    EXPECT_EQ(readBytes("<e:eksport xmlns:e=\"urn:lista\" xmlns:moj_ns=\"urn:inna\"><e:rekord>"
                        "<e:kolumna_1>a</e:kolumna_1><moj_ns:kolumna_2 moj_ns:x=\"1\">b</moj_ns:kolumna_2>"
                        "</e:rekord></e:eksport>",
                  2),
        (std::vector<QStringList> { { S("a"), S("b") } }));
    // UTF-16 files, with a byte-order mark.
    for (bool bigEndian : { false, true })
        EXPECT_EQ(readBytes(utf16(document(recordWithAttributes(3)), bigEndian), 1), one) << bigEndian;
    // Tags that straddle the reader's 256 KiB steps: a padding cell puts them across the boundary.
    for (int shift : { 0, 40, 1000, 2100 }) {
        const QByteArray padding = "<rekord><k_1>" + QByteArray(256 * 1024 - 60 - shift, 'x') + "</k_1></rekord>\r\n";
        EXPECT_EQ(readBytes(document(padding + recordWithAttributes(200, 3)), 1).size(), 2u) << shift;
        EXPECT_EQ(readError(document(padding + recordWithAttributes(300, 3)), 1), S(kTooLarge).arg(5)) << shift;
    }
}

TEST(XmlExchange, AMonitorHearsOfTheBytesAndMayStopTheRead)
{
    struct Monitor final : lists::ReadMonitor {
        qint64 stopAfter;
        qint64 lastDone = 0, lastTotal = 0;
        explicit Monitor(qint64 bytes) : stopAfter(bytes) { }
        bool proceed(qint64 done, qint64 total) override
        {
            lastDone = done;
            lastTotal = total;
            return done < stopAfter;
        }
    };
    std::vector<QStringList> rows(20000, QStringList { S("Zjazd Fizyków\nw Łodzi") });
    QByteArray bytes = listXml(rows);
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    Monitor whole(bytes.size() + 1);
    EXPECT_EQ(readListXml(buffer, 1, &whole), rows);
    EXPECT_EQ(whole.lastTotal, bytes.size());
    EXPECT_EQ(whole.lastDone, bytes.size());

    buffer.seek(0);
    Monitor stopping(300 * 1024);
    EXPECT_THROW(readListXml(buffer, 1, &stopping), lists::ReadStopped);
    EXPECT_LT(stopping.lastDone, bytes.size());
}

TEST(XmlExchange, FileMessagesNameTheFile)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("brak.xml"));
    try {
        readListXml(missing, 1);
        FAIL() << "a missing file was read";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), S("Nie można otworzyć pliku %1.").arg(missing));
    }
    // A folder stands where the file should go: the export fails and says which file.
    const QString blocked = dir.filePath(QStringLiteral("zajete.xml"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("zajete.xml")));
    try {
        lists::writeListXml(blocked, lists::ListGrid({ S("a") }));
        FAIL() << "the export wrote over a folder";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), S("Nie można zapisać pliku %1. Eksport nie został wykonany.").arg(blocked));
    }
    // An existing file is replaced whole.
    const QString existing = dir.filePath(QStringLiteral("stary.xml"));
    QFile old(existing);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();
    lists::ListGrid grid({ S("a") });
    grid.setRows({ { S("nowy") } });
    lists::writeListXml(existing, grid);
    QFile written(existing);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), listXml({ { S("nowy") } }));
    written.close();

    // A file marked read-only stays as it is, also when root runs the export.
    ASSERT_TRUE(QFile::setPermissions(existing, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    grid.setRows({ { S("inny") } });
    try {
        lists::writeListXml(existing, grid);
        FAIL() << "a read-only file was replaced";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), readOnlyTargetMessage());
    }
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), listXml({ { S("nowy") } }));
}

TEST(XmlExchange, ExportFileNameTakesTheFolderAndTheExtension)
{
    const QString folder = QStringLiteral("/home/ala/wykazy");
    EXPECT_EQ(lists::exportFilePath(folder, S("eksport.xml")), S("/home/ala/wykazy/eksport.xml"));
    EXPECT_EQ(lists::exportFilePath(folder, S("publikacje")), S("/home/ala/wykazy/publikacje.xml"));
    EXPECT_EQ(lists::exportFilePath(folder, S("publikacje.2009.txt")), S("/home/ala/wykazy/publikacje.xml"));
    EXPECT_EQ(lists::exportFilePath(folder, S("/home/ala/wykazy/lista")), S("/home/ala/wykazy/lista.xml"));
    // Dots in folder names are not the file's extension.
    EXPECT_EQ(lists::exportFilePath(S("/home/ala/dane.2009"), S("lista")), S("/home/ala/dane.2009/lista.xml"));
    EXPECT_EQ(lists::exportFilePath(S("/"), S("lista.txt")), S("/lista.xml"));
}

TEST(XmlExchange, ImportedPublicationsKeepTheirJournalOrAreIdentified)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    db::Connection::create(path, schema::databasePassword());
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    connection.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                                      "rodzaj INTEGER)"));
    connection.execute(
        QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, ?)"), { S("Physics Letters"), 30, 1 });
    lists::JournalList journals(connection);
    journals.open();

    std::vector<QStringList> rows = {
        { S("  physics letters "), S("t1"), S("a"), S("r"), QString(), QString() },
        { S("Physics Letters"), S("t2"), S("a"), S("r"), S("Inne Czasopismo"), S("12,00") },
        { S("Nieznane"), S("t3"), S("a"), S("r"), S("  "), S("7") },
        { S("Physics Letters") },
    };
    lists::identifyImportedJournals(journals, rows);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].mid(4), QStringList({ S("Physics Letters"), S("30,00"), QString() }));
    EXPECT_EQ(rows[0].value(0), S("  physics letters ")); // the typed title stays as typed
    EXPECT_EQ(rows[1].mid(4), QStringList({ S("Inne Czasopismo"), S("12,00"), QString() }));
    EXPECT_EQ(rows[2].mid(4), QStringList({ QString(), S("0,00"), QString() }));
    EXPECT_EQ(rows[3].mid(4), QStringList({ S("Physics Letters"), S("30,00"), QString() }));
    EXPECT_TRUE(lists::identifiesJournals(3) && lists::identifiesJournals(6));
    EXPECT_FALSE(lists::identifiesJournals(2) || lists::identifiesJournals(7));
}

TEST(XmlExchange, PublicationsReadTheIssnOfColumnSevenToIdentifyAndKeepIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    db::Connection::create(path, schema::databasePassword());
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    connection.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                                      "rodzaj INTEGER, issn VARCHAR(9), eissn VARCHAR(9))"));
    connection.execute(QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, ?, ?, ?)"),
        { S("Physics Letters"), 30, 1, S("0031-9163"), S("1873-2445") });
    lists::JournalList journals(connection);
    journals.open();

    const int kind = 4;
    const int columns = static_cast<int>(lists::ListKindInfoOf(kind).columns.size());
    QByteArray file = "<eksport><rekord><kolumna_1>Phys. Lett.</kolumna_1><kolumna_7>0031-9163</kolumna_7></rekord>"
                      "<rekord><kolumna_1>Phys. Lett.</kolumna_1><kolumna_7>1873-244X</kolumna_7></rekord>"
                      "<rekord><kolumna_7>1873-2445</kolumna_7><kolumna_1>X</kolumna_1></rekord></eksport>";
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    std::vector<QStringList> rows = lists::readListXml(buffer, lists::xmlColumnsToRead(kind, columns));
    lists::identifyImportedJournals(journals, rows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].mid(4), QStringList({ S("Physics Letters"), S("30,00"), S("0031-9163") }));
    EXPECT_EQ(rows[1].mid(4), QStringList({ QString(), S("0,00"), S("1873-244X") })); // an ISSN of no listed journal
    // The e-ISSN, element order aside.
    EXPECT_EQ(rows[2].mid(4), QStringList({ S("Physics Letters"), S("30,00"), S("1873-2445") }));
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), columns); // the ISSN is the list's seventh column, exported as kolumna_7
    // Other kinds keep ignoring the element: it is outside their columns.
    EXPECT_EQ(lists::xmlColumnsToRead(7, 3), 3);
}
