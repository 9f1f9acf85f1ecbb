#pragma once

// Workbooks written by hand from their XML and packed with libzip, as a spreadsheet program would
// leave them, for the tests of the spreadsheet import.

#include <QByteArray>
#include <QString>
#include <QStringList>

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

} // namespace vestrum::testing
