#include "import/spreadsheet_reader_internal.h"

#include "base/number_format.h"

#include <QDir>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>

// The .ods reader: the tables of content.xml, those hidden by their style, repeated rows and cells, the
// paragraphs of a text cell.
namespace vestrum::importing::workbook {
namespace {

const QString kTableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kOfficeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString kTextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString kStyleNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");

class OdsReader {
public:
    OdsReader(ZipContainer& zip, const QString& path, int columns)
        : zip_(zip)
        , path_(path)
        , columns_(columns)
    {
    }

    Spreadsheet read(std::optional<int> chosen)
    {
        refuseEncryptedContent();
        Spreadsheet out;
        SheetCells cells(path_, columns_);
        QSet<QString> hiddenStyles;
        std::optional<int> sheet = chosen;
        QXmlStreamReader xml(zip_.require(QStringLiteral("content.xml")));
        while (!xml.atEnd()) {
            xml.readNext();
            refuseDtd(xml, path_);
            if (!xml.isStartElement())
                continue;
            // The table styles come before the tables; a sheet hidden by its style is not shown.
            if (xml.name() == QLatin1String("style") && xml.namespaceUri() == kStyleNs) {
                readTableStyle(xml, hiddenStyles);
                continue;
            }
            if (xml.name() != QLatin1String("table") || xml.namespaceUri() != kTableNs)
                continue;
            const auto attributes = xml.attributes();
            const bool hidden = hiddenStyles.contains(attributes.value(kTableNs, QLatin1String("style-name")).toString());
            if (!sheet && !hidden)
                sheet = static_cast<int>(out.sheetNames.size());
            const bool wanted = sheet == out.sheetNames.size();
            out.sheetNames << attributes.value(kTableNs, QLatin1String("name")).toString();
            out.hidden.push_back(hidden);
            if (wanted)
                readTable(xml, cells);
            else
                xml.skipCurrentElement();
        }
        checkXml(xml, path_, QStringLiteral("content.xml"));
        // Every sheet hidden: the first one, as when it is asked for.
        if (!sheet && !out.sheetNames.isEmpty())
            return read(0);
        if (!sheet || *sheet < 0 || *sheet >= out.sheetNames.size())
            throw Error(S("Plik %1 nie ma arkusza nr %2 (arkuszy w pliku: %3).")
                            .arg(QDir::toNativeSeparators(path_))
                            .arg(sheet.value_or(0) + 1)
                            .arg(out.sheetNames.size()));
        out.sheet = *sheet;
        out.rows = std::move(cells).rows();
        return out;
    }

private:
    // A document saved with a password keeps its parts encrypted and says so in its manifest.
    void refuseEncryptedContent()
    {
        const std::optional<QByteArray> manifest = zip_.read(QStringLiteral("META-INF/manifest.xml"));
        if (manifest && manifest->contains("encryption-data"))
            throw Refusal::of(Refusal::Encrypted, path_);
    }

    // A "style:style" of the table family whose table properties say display="false"; reads to its end.
    static void readTableStyle(QXmlStreamReader& xml, QSet<QString>& hiddenStyles)
    {
        const auto attributes = xml.attributes();
        const QString name = attributes.value(kStyleNs, QLatin1String("name")).toString();
        const bool table = attributes.value(kStyleNs, QLatin1String("family")) == QLatin1String("table");
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == QLatin1String("style"))
                return;
            if (table && xml.isStartElement() && xml.name() == QLatin1String("table-properties")
                && xml.attributes().value(kTableNs, QLatin1String("display")) == QLatin1String("false"))
                hiddenStyles.insert(name);
        }
    }

    static qint64 repeat(const QXmlStreamAttributes& attributes, const char* name)
    {
        const qint64 count = attributes.value(kTableNs, QLatin1String(name)).toLongLong();
        return std::clamp<qint64>(count, 1, 1 << 24);
    }

    // Rows may sit in header-row, row-group and rows elements; a sheet inside a cell is not read.
    void readTable(QXmlStreamReader& xml, SheetCells& cells)
    {
        qint64 row = 0;
        int depth = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement()) {
                if (depth-- == 0)
                    return;
                continue;
            }
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("table-row")) {
                const qint64 repeated = repeat(xml.attributes(), "number-rows-repeated");
                const QStringList values = readRow(xml, row);
                if (!values.isEmpty()) {
                    cells.charge(repeated * values.size());
                    for (qint64 k = 0; k < repeated; ++k)
                        for (qsizetype c = 0; c < values.size(); ++c)
                            cells.set(row + k, c, values[c]);
                }
                row += repeated;
            } else if (xml.name() == QLatin1String("table-header-rows")
                || xml.name() == QLatin1String("table-row-group") || xml.name() == QLatin1String("table-rows")) {
                ++depth;
            } else {
                xml.skipCurrentElement();
            }
        }
    }

    // The values of one row up to the columns asked, empty at the end dropped.
    QStringList readRow(QXmlStreamReader& xml, qint64 row)
    {
        QStringList values;
        qint64 column = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == QLatin1String("table-row"))
                break;
            if (!xml.isStartElement())
                continue;
            const bool covered = xml.name() == QLatin1String("covered-table-cell");
            if (!covered && xml.name() != QLatin1String("table-cell")) {
                xml.skipCurrentElement();
                continue;
            }
            const qint64 repeated = repeat(xml.attributes(), "number-columns-repeated");
            if (!covered && column < columns_ && isFormulaWithoutResult(xml.attributes()))
                throw Error(FormulaWithoutResultMessage(cellReference(row, column)));
            QString value = cellValue(xml);
            if (covered)
                value.clear();
            for (qint64 k = 0; k < repeated && column + k < columns_; ++k) {
                if (values.size() <= column + k)
                    values.resize(column + k + 1);
                values[column + k] = value;
            }
            column += repeated;
        }
        while (!values.isEmpty() && numbers::IsBlank(values.back()))
            values.removeLast();
        return values;
    }

    // A formula's result is kept as the cell's value type and value; a cell with a formula and neither was
    // written by a program that never computed it.
    static bool isFormulaWithoutResult(const QXmlStreamAttributes& attributes)
    {
        return attributes.hasAttribute(kTableNs, QLatin1String("formula"))
            && attributes.value(kOfficeNs, QLatin1String("value-type")).isEmpty();
    }

    // Reads a cell to its end: the typed value, or for text its paragraphs joined by line breaks.
    QString cellValue(QXmlStreamReader& xml)
    {
        const auto attributes = xml.attributes();
        const QStringView type = attributes.value(kOfficeNs, QLatin1String("value-type"));
        QString typed;
        if (type == QLatin1String("float") || type == QLatin1String("percentage")
            || type == QLatin1String("currency")) {
            const std::optional<double> number
                = parseNumber(attributes.value(kOfficeNs, QLatin1String("value")).toString());
            typed = number ? FormatCellNumber(*number) : QString();
        } else if (type == QLatin1String("date")) {
            typed = isoDate(attributes.value(kOfficeNs, QLatin1String("date-value")).toString());
        } else if (type == QLatin1String("boolean")) {
            typed = booleanText(attributes.value(kOfficeNs, QLatin1String("boolean-value")) == QLatin1String("true"));
        } else if (type == QLatin1String("string")
            && attributes.hasAttribute(kOfficeNs, QLatin1String("string-value"))) {
            typed = attributes.value(kOfficeNs, QLatin1String("string-value")).toString();
        }
        const QString text = paragraphs(xml);
        const bool typedValue = !type.isEmpty() && type != QLatin1String("string") && type != QLatin1String("time");
        return typedValue || !typed.isEmpty() ? typed : text;
    }

    // The "text:p" children of a cell, without its comments; reads to the cell's end.
    QString paragraphs(QXmlStreamReader& xml)
    {
        QStringList lines;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement())
                return lines.join(u'\n');
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("p") || xml.name() == QLatin1String("h"))
                lines << paragraphText(xml);
            else
                xml.skipCurrentElement(); // comments ("annotation") and drawings
        }
        return lines.join(u'\n');
    }

    // Text of a paragraph: spans and links read through, "s" as its count of blanks, "tab", "line-break".
    QString paragraphText(QXmlStreamReader& xml)
    {
        QString text;
        int depth = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isCharacters()) {
                text += xml.text();
            } else if (xml.isStartElement()) {
                if (xml.name() == QLatin1String("s")) {
                    const qint64 count = xml.attributes().value(kTextNs, QLatin1String("c")).toLongLong();
                    text += QString(std::clamp<qint64>(count, 1, 1000), u' ');
                    xml.skipCurrentElement();
                } else if (xml.name() == QLatin1String("tab")) {
                    text += u'\t';
                    xml.skipCurrentElement();
                } else if (xml.name() == QLatin1String("line-break")) {
                    text += u'\n';
                    xml.skipCurrentElement();
                } else if (xml.name() == QLatin1String("annotation") || xml.name() == QLatin1String("note")) {
                    xml.skipCurrentElement();
                } else {
                    ++depth;
                }
            } else if (xml.isEndElement()) {
                if (depth-- == 0)
                    break;
            }
        }
        return text;
    }

    ZipContainer& zip_;
    QString path_;
    int columns_;
};

} // namespace

Spreadsheet ReadOds(ZipContainer& zip, const QString& path, std::optional<int> sheet, int columns)
{
    OdsReader reader(zip, path, columns);
    return reader.read(sheet);
}

} // namespace vestrum::importing::workbook
