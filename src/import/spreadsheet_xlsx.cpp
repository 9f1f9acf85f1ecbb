#include "import/spreadsheet_reader_internal.h"

#include <QDir>
#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>

// The .xlsx reader: the package's relations, the workbook's sheets, shared strings and date styles, one sheet's
// cells with their merges.
namespace vestrum::importing::workbook {
namespace {

// The first sheet the workbook shows; the first of all when every one is hidden.
int firstShown(const std::vector<bool>& hidden)
{
    const auto shown = std::find(hidden.cbegin(), hidden.cend(), false);
    return shown == hidden.cend() ? 0 : static_cast<int>(shown - hidden.cbegin());
}

// "AB12" → column 27 (from 0) and row 11 (from 0).
bool parseCellReference(QStringView ref, qint64& row, qint64& column)
{
    qsizetype i = 0;
    qint64 c = 0;
    while (i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 0x80) {
        c = c * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
        if (c > 16384)
            return false;
        ++i;
    }
    if (i == 0 || i == ref.size())
        return false;
    bool ok = false;
    const qint64 r = ref.sliced(i).toLongLong(&ok);
    if (!ok || r < 1)
        return false;
    row = r - 1;
    column = c - 1;
    return true;
}

// The text of a shared or inline string: its "t" elements, without the phonetic runs ("rPh").
QString readStringItem(QXmlStreamReader& xml)
{
    QString text;
    int phonetic = 0;
    const QStringView item = xml.name();
    const QString itemName = item.toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (xml.name() == QLatin1String("t") && phonetic == 0)
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("rPh"))
                --phonetic;
            else if (xml.name() == itemName)
                break;
        }
    }
    return text;
}

// Built-in number formats that show a date (time-only formats are not dates).
bool isBuiltInDateFormat(int id)
{
    return (id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58);
}

// A format code shows a date when it has a day or a year outside quoted text, escapes and [..].
bool isDateFormatCode(const QString& code)
{
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (quoted) {
            quoted = c != u'"';
            continue;
        }
        if (bracket) {
            bracket = c != u']';
            continue;
        }
        if (c == u'"')
            quoted = true;
        else if (c == u'[')
            bracket = true;
        else if (c == u'\\' || c == u'_' || c == u'*')
            ++i;
        else if (c == u'd' || c == u'D' || c == u'y' || c == u'Y')
            return true;
    }
    return false;
}

class XlsxReader {
public:
    XlsxReader(ZipContainer& zip, const QString& path, int columns)
        : zip_(zip)
        , path_(path)
        , columns_(columns)
    {
    }

    Spreadsheet read(std::optional<int> chosen)
    {
        const QString workbook = officeDocument();
        const QString base = workbook.left(workbook.lastIndexOf(u'/') + 1);
        const QHash<QString, Relation> relations = relationsIn(relationsOf(workbook), base);
        std::vector<QString> sheetTargets;
        Spreadsheet out;
        readWorkbook(zip_.require(workbook), relations, out, sheetTargets);
        const int sheet = chosen.value_or(firstShown(out.hidden));
        if (sheet < 0 || sheet >= out.sheetNames.size())
            throw missingSheet(sheet, out.sheetNames.size());
        for (const Relation& r : relations) {
            if (r.type.endsWith(QLatin1String("/sharedStrings")))
                readSharedStrings(r.target);
            else if (r.type.endsWith(QLatin1String("/styles")))
                readStyles(r.target);
        }
        out.sheet = sheet;
        out.rows = readSheet(sheetTargets[static_cast<size_t>(sheet)]);
        return out;
    }

    Error missingSheet(int sheet, qsizetype count) const
    {
        return Error(S("Plik %1 nie ma arkusza nr %2 (arkuszy w pliku: %3).")
                         .arg(QDir::toNativeSeparators(path_))
                         .arg(sheet + 1)
                         .arg(count));
    }

private:
    struct Relation {
        QString type;
        QString target;
    };

    static QString relationsOf(const QString& member)
    {
        const qsizetype slash = member.lastIndexOf(u'/');
        return member.left(slash + 1) + QStringLiteral("_rels/") + member.mid(slash + 1) + QStringLiteral(".rels");
    }

    // The workbook part named by the package's relations, or where Excel puts it.
    QString officeDocument()
    {
        if (const auto rels = zip_.read(QStringLiteral("_rels/.rels"))) {
            for (const Relation& r : parseRelations(*rels, QString()))
                if (r.type.endsWith(QLatin1String("/officeDocument")))
                    return r.target;
        }
        return QStringLiteral("xl/workbook.xml");
    }

    QHash<QString, Relation> relationsIn(const QString& member, const QString& base)
    {
        const std::optional<QByteArray> bytes = zip_.read(member);
        return bytes ? parseRelations(*bytes, base) : QHash<QString, Relation> {};
    }

    QHash<QString, Relation> parseRelations(const QByteArray& bytes, const QString& base) const
    {
        QHash<QString, Relation> relations;
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            xml.readNext();
            refuseDtd(xml, path_);
            if (!xml.isStartElement() || xml.name() != QLatin1String("Relationship"))
                continue;
            const auto attributes = xml.attributes();
            if (attributes.value(QLatin1String("TargetMode")) == QLatin1String("External"))
                continue;
            const QString target = attributes.value(QLatin1String("Target")).toString();
            const QString resolved = target.startsWith(u'/') ? target.mid(1) : QDir::cleanPath(base + target);
            relations.insert(attributes.value(QLatin1String("Id")).toString(),
                { attributes.value(QLatin1String("Type")).toString(), resolved });
        }
        checkXml(xml, path_, QStringLiteral("_rels"));
        return relations;
    }

    void readWorkbook(const QByteArray& bytes, const QHash<QString, Relation>& relations, Spreadsheet& out,
        std::vector<QString>& targets)
    {
        QStringList& names = out.sheetNames;
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            xml.readNext();
            refuseDtd(xml, path_);
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("workbookPr")) {
                const QStringView flag = xml.attributes().value(QLatin1String("date1904"));
                from1904_ = flag == QLatin1String("1") || flag == QLatin1String("true");
            } else if (xml.name() == QLatin1String("sheet")) {
                QString id;
                for (const QXmlStreamAttribute& a : xml.attributes())
                    if (a.name() == QLatin1String("id") && !a.prefix().isEmpty())
                        id = a.value().toString();
                const auto relation = relations.constFind(id);
                if (relation == relations.cend())
                    throw zip_.damaged(S("arkusz bez części"));
                names << xml.attributes().value(QLatin1String("name")).toString();
                const QStringView state = xml.attributes().value(QLatin1String("state"));
                out.hidden.push_back(state == QLatin1String("hidden") || state == QLatin1String("veryHidden"));
                targets.push_back(relation->target);
            }
        }
        checkXml(xml, path_, QStringLiteral("workbook"));
        if (names.isEmpty())
            throw zip_.damaged(S("skoroszyt bez arkuszy"));
    }

    void readSharedStrings(const QString& member)
    {
        const std::optional<QByteArray> bytes = zip_.read(member);
        if (!bytes)
            return;
        QXmlStreamReader xml(*bytes);
        while (!xml.atEnd()) {
            xml.readNext();
            refuseDtd(xml, path_);
            if (xml.isStartElement() && xml.name() == QLatin1String("si"))
                shared_ << readStringItem(xml);
        }
        checkXml(xml, path_, member);
    }

    void readStyles(const QString& member)
    {
        const std::optional<QByteArray> bytes = zip_.read(member);
        if (!bytes)
            return;
        QHash<int, bool> customDates;
        bool inCellFormats = false;
        QXmlStreamReader xml(*bytes);
        while (!xml.atEnd()) {
            xml.readNext();
            refuseDtd(xml, path_);
            if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs"))
                inCellFormats = false;
            if (!xml.isStartElement())
                continue;
            const auto attributes = xml.attributes();
            if (xml.name() == QLatin1String("numFmt")) {
                customDates.insert(attributes.value(QLatin1String("numFmtId")).toInt(),
                    isDateFormatCode(attributes.value(QLatin1String("formatCode")).toString()));
            } else if (xml.name() == QLatin1String("cellXfs")) {
                inCellFormats = true;
            } else if (inCellFormats && xml.name() == QLatin1String("xf")) {
                const int id = attributes.value(QLatin1String("numFmtId")).toInt();
                dateStyles_.push_back(customDates.contains(id) ? customDates.value(id) : isBuiltInDateFormat(id));
            }
        }
        checkXml(xml, path_, member);
    }

    bool isDateStyle(int style) const
    {
        return style >= 0 && style < static_cast<int>(dateStyles_.size()) && dateStyles_[static_cast<size_t>(style)];
    }

    QString cellText(const QString& type, int style, const QString& value, const QString& inlineText) const
    {
        if (type == QLatin1String("inlineStr"))
            return inlineText;
        if (value.isEmpty())
            return QString();
        if (type == QLatin1String("s")) {
            bool ok = false;
            const int index = value.toInt(&ok);
            return ok && index >= 0 && index < shared_.size() ? shared_.at(index) : QString();
        }
        if (type == QLatin1String("str") || type == QLatin1String("e"))
            return value;
        if (type == QLatin1String("b"))
            return booleanText(value == QLatin1String("1"));
        if (type == QLatin1String("d"))
            return isoDate(value);
        const std::optional<double> number = parseNumber(value);
        if (!number)
            return value;
        return isDateStyle(style) ? serialDate(*number, from1904_) : FormatCellNumber(*number);
    }

    std::vector<QStringList> readSheet(const QString& member)
    {
        SheetCells cells(path_, columns_);
        QXmlStreamReader xml(zip_.require(member));
        qint64 row = -1;
        qint64 column = -1;
        while (!xml.atEnd()) {
            xml.readNext();
            refuseDtd(xml, path_);
            if (!xml.isStartElement())
                continue;
            const auto attributes = xml.attributes();
            if (xml.name() == QLatin1String("row")) {
                bool ok = false;
                const qint64 number = attributes.value(QLatin1String("r")).toLongLong(&ok);
                row = ok && number >= 1 ? number - 1 : row + 1;
                column = -1;
            } else if (xml.name() == QLatin1String("c")) {
                qint64 r = row;
                qint64 c = column + 1;
                const QStringView ref = attributes.value(QLatin1String("r"));
                if (!ref.isEmpty() && !parseCellReference(ref, r, c))
                    throw zip_.damaged(S("komórka %1").arg(ref.toString()));
                row = std::max<qint64>(r, 0);
                column = c;
                const QString type = attributes.value(QLatin1String("t")).toString();
                const int style = attributes.value(QLatin1String("s")).toInt();
                CellContent content;
                readCellContent(xml, content);
                // An empty result is stored only for a formula giving text; any other is no result at all.
                if (content.formula && column < columns_
                    && (!content.hasValue || (content.value.isEmpty() && type != QLatin1String("str"))))
                    throw Error(FormulaWithoutResultMessage(cellReference(row, column)));
                cells.set(row, column, cellText(type, style, content.value, content.inlineText));
            } else if (xml.name() == QLatin1String("mergeCell")) {
                clearCovered(cells, attributes.value(QLatin1String("ref")));
            }
        }
        checkXml(xml, path_, member);
        return std::move(cells).rows();
    }

    struct CellContent {
        QString value;
        bool hasValue = false;
        QString inlineText;
        bool formula = false;
    };

    // The cached value "v" (a formula's last result), an inline string "is" and whether the cell has a
    // formula; the formula itself is not read.
    void readCellContent(QXmlStreamReader& xml, CellContent& content)
    {
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == QLatin1String("c"))
                return;
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("v")) {
                content.value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                content.hasValue = true;
            } else if (xml.name() == QLatin1String("is")) {
                content.inlineText = readStringItem(xml);
            } else {
                content.formula = content.formula || xml.name() == QLatin1String("f");
                xml.skipCurrentElement();
            }
        }
    }

    // Every cell of "A1:C2" but the first is covered by the merge and stays empty.
    void clearCovered(SheetCells& cells, QStringView range) const
    {
        const qsizetype colon = range.indexOf(u':');
        qint64 r1 = 0, c1 = 0, r2 = 0, c2 = 0;
        if (colon < 0 || !parseCellReference(range.left(colon), r1, c1)
            || !parseCellReference(range.sliced(colon + 1), r2, c2))
            return;
        cells.clearCovered(r1, c1, r2, c2);
    }

    ZipContainer& zip_;
    QString path_;
    int columns_;
    QStringList shared_;
    std::vector<bool> dateStyles_;
    bool from1904_ = false;
};

} // namespace

Spreadsheet ReadXlsx(ZipContainer& zip, const QString& path, std::optional<int> sheet, int columns)
{
    XlsxReader reader(zip, path, columns);
    return reader.read(sheet);
}

} // namespace vestrum::importing::workbook
