#pragma once

// Workbooks written by hand from their XML and packed with libzip, as a spreadsheet program would
// leave them, for the tests of the spreadsheet import.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <zip.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace vestrum::testing {

using ZipMembers = std::vector<std::pair<QString, QByteArray>>;

// Packs the members (deflated) into a new zip file; the bytes must live until the file is closed,
// which happens here.
inline void WriteZip(const QString& path, const ZipMembers& members)
{
    int code = 0;
    zip_t* archive = zip_open(path.toLocal8Bit().constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive == nullptr)
        throw std::runtime_error("zip_open");
    for (const auto& [name, bytes] : members) {
        zip_source_t* source
            = zip_source_buffer(archive, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            throw std::runtime_error("zip_file_add");
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("zip_close");
}

// An .xlsx: one worksheet per entry of `sheets` (its <sheetData> and what follows it, such as
// <mergeCells>), the shared strings (<si> items) and the cell styles: 0 general, 1 built-in date (14),
// 2 custom date "dd/mm/yyyy", 3 "#,##0.00", 4 time "h:mm".
inline ZipMembers XlsxMembers(
    const std::vector<std::pair<QString, QByteArray>>& sheets, const QByteArray& sharedItems, bool from1904 = false)
{
    const QByteArray main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    QByteArray workbookSheets, workbookRels, contentTypes;
    ZipMembers members;
    for (size_t i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(static_cast<int>(i) + 1);
        workbookSheets
            += "<sheet name=\"" + sheets[i].first.toUtf8() + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        workbookRels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel + "/worksheet\" Target=\"worksheets/sheet" + n
            + ".xml\"/>";
        contentTypes += "<Override PartName=\"/xl/worksheets/sheet" + n
            + ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
        members.push_back({ QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"" + main
                + "\" xmlns:r=\"" + rel + "\"><sheetData>" + sheets[i].second + "</worksheet>" });
    }
    workbookRels += "<Relationship Id=\"rIdS\" Type=\"" + rel
        + "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
          "<Relationship Id=\"rIdT\" Type=\""
        + rel + "/styles\" Target=\"styles.xml\"/>";
    members.push_back({ QStringLiteral("[Content_Types].xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            + contentTypes + "</Types>" });
    members.push_back({ QStringLiteral("_rels/.rels"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\""
            + rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>" });
    members.push_back({ QStringLiteral("xl/workbook.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel + "\"><workbookPr"
            + (from1904 ? " date1904=\"1\"" : "") + "/><sheets>" + workbookSheets + "</sheets></workbook>" });
    members.push_back({ QStringLiteral("xl/_rels/workbook.xml.rels"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            + workbookRels + "</Relationships>" });
    members.push_back({ QStringLiteral("xl/sharedStrings.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst xmlns=\"" + main + "\">" + sharedItems + "</sst>" });
    members.push_back({ QStringLiteral("xl/styles.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet xmlns=\"" + main
            + "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy\"/></numFmts>"
              "<cellStyleXfs count=\"1\"><xf numFmtId=\"14\"/></cellStyleXfs>"
              "<cellXfs count=\"5\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\" applyNumberFormat=\"1\"/>"
              "<xf numFmtId=\"164\"/><xf numFmtId=\"4\"/><xf numFmtId=\"20\"/></cellXfs></styleSheet>" });
    return members;
}

// An .xlsx whose sheets are marked by `states` ("", "hidden", "veryHidden"), in the workbook's order.
inline ZipMembers XlsxMembersWithStates(const std::vector<std::pair<QString, QByteArray>>& sheets,
    const std::vector<QByteArray>& states, const QByteArray& sharedItems)
{
    ZipMembers members = XlsxMembers(sheets, sharedItems);
    for (auto& [name, bytes] : members) {
        if (name != QLatin1String("xl/workbook.xml"))
            continue;
        for (size_t i = 0; i < sheets.size(); ++i)
            if (!states[i].isEmpty()) {
                const QByteArray id = "sheetId=\"" + QByteArray::number(static_cast<int>(i) + 1) + "\"";
                bytes.replace(id, QByteArray(id + " state=\"" + states[i] + "\""));
            }
    }
    return members;
}

// A compound file (the OLE container of old Excel workbooks and of Excel's password-protected ones) with
// the given streams, laid out as Excel lays it: a header, one FAT sector, one directory sector, then each
// stream in whole sectors, at least 4096 bytes so none goes to the mini stream. At most three streams.
inline QByteArray OleContainer(const std::vector<std::pair<QString, QByteArray>>& streams)
{
    constexpr quint32 kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSector = 0xFFFFFFFD, kNoStream = 0xFFFFFFFF;
    const auto put32 = [](QByteArray& b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); };
    const auto put16 = [](QByteArray& b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); };
    QByteArray header(512, '\0');
    header.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    put16(header, 24, 0x3E);
    put16(header, 26, 3);
    put16(header, 28, 0xFFFE);
    put16(header, 30, 9);
    put16(header, 32, 6);
    put32(header, 44, 1); // FAT sectors
    put32(header, 48, 1); // the directory's sector
    put32(header, 56, 4096);
    put32(header, 60, kEnd);
    put32(header, 68, kEnd);
    put32(header, 76, 0); // the FAT is sector 0
    for (int i = 1; i < 109; ++i)
        put32(header, 76 + 4 * i, kFree);

    QByteArray fat(512, '\xFF');
    put32(fat, 0, kFatSector);
    put32(fat, 4, kEnd);
    QByteArray directory(512, '\0');
    QByteArray data;
    quint32 sector = 2;
    const auto entry = [&](int index, const QString& name, quint8 type, quint32 child, quint32 right, quint32 start,
                           quint32 size) {
        const int at = index * 128;
        for (int c = 0; c < name.size(); ++c)
            put16(directory, at + 2 * c, name[c].unicode());
        put16(directory, at + 64, static_cast<quint16>(2 * (name.size() + 1)));
        directory[at + 66] = static_cast<char>(type);
        directory[at + 67] = 1; // black
        put32(directory, at + 68, kNoStream);
        put32(directory, at + 72, right);
        put32(directory, at + 76, child);
        put32(directory, at + 116, start);
        put32(directory, at + 120, size);
    };
    entry(0, QStringLiteral("Root Entry"), 5, streams.empty() ? kNoStream : 1, kNoStream, kEnd, 0);
    for (size_t i = 0; i < streams.size(); ++i) {
        QByteArray bytes = streams[i].second;
        if (bytes.size() < 4096)
            bytes.append(QByteArray(4096 - bytes.size(), '\0'));
        const quint32 sectors = static_cast<quint32>((bytes.size() + 511) / 512);
        bytes.append(QByteArray(static_cast<int>(sectors * 512) - bytes.size(), '\0'));
        for (quint32 k = 0; k < sectors; ++k)
            put32(fat, static_cast<int>(4 * (sector + k)), k + 1 < sectors ? sector + k + 1 : kEnd);
        const quint32 right = i + 1 < streams.size() ? static_cast<quint32>(i + 2) : kNoStream;
        entry(static_cast<int>(i + 1), streams[i].first, 2, kNoStream, right, sector,
            static_cast<quint32>(streams[i].second.size()));
        data += bytes;
        sector += sectors;
    }
    for (int index = static_cast<int>(streams.size()) + 1; index < 4; ++index) {
        put32(directory, index * 128 + 68, kNoStream);
        put32(directory, index * 128 + 72, kNoStream);
        put32(directory, index * 128 + 76, kNoStream);
    }
    return header + fat + directory + data;
}

// The "Workbook" stream of an old binary workbook: its first record (BOF of the workbook globals, BIFF8)
// and its last (EOF).
inline QByteArray Biff8Workbook()
{
    return QByteArray("\x09\x08\x10\x00\x00\x06\x05\x00\xBB\x0D\xCC\x07\xC9\xC0\x00\x00\x06\x03\x00\x00"
                      "\x0A\x00\x00\x00",
        24);
}

// An .ods: its mimetype, manifest and content.xml holding the given <table:table> elements.
inline ZipMembers OdsMembers(const QByteArray& tables, const QByteArray& manifestExtra = {})
{
    return {
        { QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet" },
        { QStringLiteral("META-INF/manifest.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest "
            "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\"><manifest:file-entry "
            "manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\">"
                + manifestExtra + "</manifest:file-entry></manifest:manifest>" },
        { QStringLiteral("content.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
            "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\"><office:body><office:spreadsheet>"
                + tables + "</office:spreadsheet></office:body></office:document-content>" },
    };
}

// An .ods whose content.xml has the given automatic styles before its body, as LibreOffice writes them (a
// hidden sheet is a table style with table:display="false").
inline ZipMembers OdsMembersWithStyles(const QByteArray& automaticStyles, const QByteArray& tables)
{
    ZipMembers members = OdsMembers(tables);
    for (auto& [name, bytes] : members)
        if (name == QLatin1String("content.xml")) {
            bytes.replace("<office:body>",
                QByteArray("<office:automatic-styles>" + automaticStyles + "</office:automatic-styles><office:body>"));
            bytes.replace("xmlns:of=", "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" xmlns:of=");
        }
    return members;
}

} // namespace vestrum::testing
