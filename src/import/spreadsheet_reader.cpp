#include "import/spreadsheet_reader.h"

#include "base/error.h"
#include "base/number_format.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <zip.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

namespace vestrum::importing {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// The three refusals, each naming the file.
struct Refusal {
    enum Kind { TooBig, Encrypted, Damaged };
    static Error of(Kind kind, const QString& path, const QString& detail = {})
    {
        const QString shown = QDir::toNativeSeparators(path);
        QString message;
        switch (kind) {
        case TooBig:
            message = S("Plik %1 jest zbyt duży.").arg(shown);
            break;
        case Encrypted:
            message = S("Plik %1 jest zaszyfrowany - zapisz go bez hasła.").arg(shown);
            break;
        case Damaged:
            message = S("Plik %1 jest uszkodzony lub nie jest arkuszem .xlsx/.ods.").arg(shown);
            break;
        }
        if (!detail.isEmpty())
            message += S("\nSzczegóły: ") + detail;
        return Error(message);
    }
};

QByteArray firstBytes(const QString& path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(count);
}

bool isZip(const QByteArray& head)
{
    return head.startsWith(QByteArrayLiteral("PK\x03\x04"));
}

bool isOleContainer(const QByteArray& head)
{
    return head.startsWith(QByteArrayLiteral("\xD0\xCF\x11\xE0"));
}

bool hasWorkbookName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("xlsx") || suffix == QLatin1String("ods");
}

// --- the zip container ------------------------------------------------------------------------

// Members unpacked from one workbook, held to one budget for all of them together.
class ZipContainer {
public:
    explicit ZipContainer(const QString& path)
        : path_(path)
        , budget_(std::min(kMaxUnpackedBytes, kMaxUnpackRatio * std::max<qint64>(QFileInfo(path).size(), 1)))
    {
        int code = 0;
        archive_ = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
        if (archive_ == nullptr) {
            zip_error_t error;
            zip_error_init_with_code(&error, code);
            const QString detail = QString::fromLocal8Bit(zip_error_strerror(&error));
            zip_error_fini(&error);
            throw Refusal::of(Refusal::Damaged, path, detail);
        }
    }
    ~ZipContainer() { zip_discard(archive_); }
    ZipContainer(const ZipContainer&) = delete;
    ZipContainer& operator=(const ZipContainer&) = delete;

    bool has(const QString& name) const { return locate(name) >= 0; }

    // The member whole; nothing when the container has no such member.
    std::optional<QByteArray> read(const QString& name)
    {
        const zip_int64_t index = locate(name);
        if (index < 0)
            return std::nullopt;
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
            throw damaged();
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            throw Refusal::of(Refusal::Encrypted, path_);
        // The declared size is the first bound; the bytes really unpacked are the second.
        if ((stat.valid & ZIP_STAT_SIZE) && stat.size > static_cast<zip_uint64_t>(budget_))
            throw Refusal::of(Refusal::TooBig, path_);
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(
            zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0), zip_fclose);
        if (!file) {
            const int code = zip_error_code_zip(zip_get_error(archive_));
            if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_WRONGPASSWD)
                throw Refusal::of(Refusal::Encrypted, path_);
            throw damaged();
        }
        QByteArray bytes;
        std::array<char, 64 * 1024> chunk;
        for (;;) {
            const zip_int64_t n = zip_fread(file.get(), chunk.data(), chunk.size());
            if (n < 0)
                throw Refusal::of(Refusal::Damaged, path_, QString::fromLocal8Bit(zip_file_strerror(file.get())));
            if (n == 0)
                break;
            if (n > budget_)
                throw Refusal::of(Refusal::TooBig, path_);
            budget_ -= n;
            bytes.append(chunk.data(), static_cast<qsizetype>(n));
        }
        return bytes;
    }

    QByteArray require(const QString& name)
    {
        std::optional<QByteArray> bytes = read(name);
        if (!bytes)
            throw Refusal::of(Refusal::Damaged, path_, S("brak części %1").arg(name));
        return *bytes;
    }

    Error damaged(const QString& detail = {}) const
    {
        return Refusal::of(
            Refusal::Damaged, path_, detail.isEmpty() ? QString::fromLocal8Bit(zip_strerror(archive_)) : detail);
    }

private:
    zip_int64_t locate(const QString& name) const
    {
        return zip_name_locate(archive_, name.toUtf8().constData(), ZIP_FL_ENC_GUESS);
    }

    QString path_;
    zip_t* archive_ = nullptr;
    qint64 budget_;
};

// --- cell values ------------------------------------------------------------------------------

QString formatDate(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QString();
}

// Day numbers of a spreadsheet: day 1 is 1 January 1900, and day 60 the 29 February 1900 that
// never was but that the format keeps; with the 1904 system day 0 is 1 January 1904.
QString serialDate(double serial, bool from1904)
{
    if (!std::isfinite(serial) || serial < 0 || serial > 2958465)
        return FormatCellNumber(serial);
    const auto days = static_cast<qint64>(std::floor(serial));
    if (from1904)
        return formatDate(QDate(1904, 1, 1).addDays(days));
    if (days < 60)
        return formatDate(QDate(1899, 12, 31).addDays(days));
    if (days == 60)
        return QStringLiteral("29/02/1900");
    return formatDate(QDate(1899, 12, 30).addDays(days));
}

// "2008-03-15" or "2008-03-15T10:30:00".
QString isoDate(const QString& text)
{
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    return date.isValid() ? formatDate(date) : text;
}

std::optional<double> parseNumber(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok); // always with a dot, whatever the locale
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString booleanText(bool value)
{
    return value ? S("PRAWDA") : S("FAŁSZ");
}

// Cells kept for one sheet: rows by number, cells up to the columns asked. Rows and cells repeated by
// a count are held to a bound on what the sheet may expand to.
class SheetCells {
public:
    SheetCells(const QString& path, int columns)
        : path_(path)
        , columns_(columns)
    {
    }

    void set(qint64 row, qint64 column, const QString& value)
    {
        if (column >= columns_ || value.isEmpty())
            return;
        if (row < 0 || row > kMaxRows)
            throw Refusal::of(Refusal::Damaged, path_, S("wiersz %1").arg(row + 1));
        QStringList& cells = rows_[row];
        if (cells.size() <= column) {
            charge(column + 1 - cells.size());
            cells.resize(column + 1);
        }
        cells[column] = value;
    }

    // Empties the cells of a rectangle but its first cell (what a merge covers).
    void clearCovered(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn)
    {
        for (auto it = rows_.lower_bound(firstRow); it != rows_.end() && it->first <= lastRow; ++it)
            for (qint64 c = std::max<qint64>(firstColumn, 0); c <= lastColumn && c < it->second.size(); ++c)
                if (it->first != firstRow || c != firstColumn)
                    it->second[c].clear();
    }

    void charge(qint64 cells)
    {
        expanded_ += cells;
        if (expanded_ > kMaxCells)
            throw Refusal::of(Refusal::TooBig, path_);
    }

    // The rows that hold something, each up to its last non-empty cell.
    std::vector<QStringList> rows() &&
    {
        std::vector<QStringList> out;
        for (auto& [number, cells] : rows_) {
            while (!cells.isEmpty() && numbers::IsBlank(cells.back()))
                cells.removeLast();
            if (!cells.isEmpty())
                out.push_back(std::move(cells));
        }
        return out;
    }

private:
    static constexpr qint64 kMaxRows = 1048576 * 16;
    static constexpr qint64 kMaxCells = 4'000'000;
    QString path_;
    int columns_;
    std::map<qint64, QStringList> rows_;
    qint64 expanded_ = 0;
};

void refuseDtd(QXmlStreamReader& xml, const QString& path)
{
    if (xml.tokenType() == QXmlStreamReader::DTD)
        throw Refusal::of(Refusal::Damaged, path, S("deklaracja DTD"));
}

void checkXml(const QXmlStreamReader& xml, const QString& path, const QString& member)
{
    if (xml.hasError())
        throw Refusal::of(Refusal::Damaged, path, S("%1: %2").arg(member, xml.errorString()));
}

// --- .xlsx ------------------------------------------------------------------------------------

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

    Spreadsheet read(int sheet)
    {
        const QString workbook = officeDocument();
        const QString base = workbook.left(workbook.lastIndexOf(u'/') + 1);
        const QHash<QString, Relation> relations = relationsIn(relationsOf(workbook), base);
        std::vector<QString> sheetTargets;
        Spreadsheet out;
        readWorkbook(zip_.require(workbook), relations, out.sheetNames, sheetTargets);
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

    void readWorkbook(const QByteArray& bytes, const QHash<QString, Relation>& relations, QStringList& names,
        std::vector<QString>& targets)
    {
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
                QString value;
                QString inlineText;
                readCellContent(xml, value, inlineText);
                cells.set(row, column, cellText(type, style, value, inlineText));
            } else if (xml.name() == QLatin1String("mergeCell")) {
                clearCovered(cells, attributes.value(QLatin1String("ref")));
            }
        }
        checkXml(xml, path_, member);
        return std::move(cells).rows();
    }

    // The cached value "v" (a formula's last result) and an inline string "is"; the formula itself is not read.
    void readCellContent(QXmlStreamReader& xml, QString& value, QString& inlineText)
    {
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == QLatin1String("c"))
                return;
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("v"))
                value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            else if (xml.name() == QLatin1String("is"))
                inlineText = readStringItem(xml);
            else
                xml.skipCurrentElement();
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

// --- .ods -------------------------------------------------------------------------------------

const QString kTableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kOfficeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString kTextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");

class OdsReader {
public:
    OdsReader(ZipContainer& zip, const QString& path, int columns)
        : zip_(zip)
        , path_(path)
        , columns_(columns)
    {
    }

    Spreadsheet read(int sheet)
    {
        refuseEncryptedContent();
        Spreadsheet out;
        SheetCells cells(path_, columns_);
        QXmlStreamReader xml(zip_.require(QStringLiteral("content.xml")));
        while (!xml.atEnd()) {
            xml.readNext();
            refuseDtd(xml, path_);
            if (!xml.isStartElement() || xml.name() != QLatin1String("table") || xml.namespaceUri() != kTableNs)
                continue;
            const bool wanted = out.sheetNames.size() == sheet;
            out.sheetNames << xml.attributes().value(kTableNs, QLatin1String("name")).toString();
            if (wanted)
                readTable(xml, cells);
            else
                xml.skipCurrentElement();
        }
        checkXml(xml, path_, QStringLiteral("content.xml"));
        if (sheet < 0 || sheet >= out.sheetNames.size())
            throw Error(S("Plik %1 nie ma arkusza nr %2 (arkuszy w pliku: %3).")
                            .arg(QDir::toNativeSeparators(path_))
                            .arg(sheet + 1)
                            .arg(out.sheetNames.size()));
        out.sheet = sheet;
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
                const QStringList values = readRow(xml);
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
    QStringList readRow(QXmlStreamReader& xml)
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

QString FormatCellNumber(double value)
{
    if (!std::isfinite(value))
        return QString();
    // What the spreadsheet shows: 15 significant digits, so 0.1 + 0.2 is 0,3 and not 0,30000000000000004.
    std::array<char, 64> buffer {};
    auto [end, error]
        = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    double shown = value;
    std::from_chars(buffer.data(), end, shown);
    if (shown == 0)
        shown = 0; // no "-0"
    std::array<char, 400> fixed {};
    const auto written = std::to_chars(fixed.data(), fixed.data() + fixed.size(), shown, std::chars_format::fixed);
    (void)error;
    QString text = QString::fromLatin1(fixed.data(), written.ptr - fixed.data());
    text.replace(u'.', u',');
    return text;
}

bool IsSpreadsheetFile(const QString& path)
{
    if (hasWorkbookName(path))
        return true;
    const QByteArray head = firstBytes(path, 4);
    return isZip(head) || isOleContainer(head);
}

Spreadsheet ReadSpreadsheet(const QString& path, int sheet, int columns)
{
    if (!QFileInfo(path).isFile())
        throw Error(S("Nie znaleziono zbioru %1").arg(QDir::toNativeSeparators(path)));
    const QByteArray head = firstBytes(path, 4);
    if (isOleContainer(head)) {
        // Excel keeps a workbook saved with a password in an OLE container; any other such file is
        // an old binary workbook or no workbook at all.
        throw Refusal::of(hasWorkbookName(path) ? Refusal::Encrypted : Refusal::Damaged, path);
    }
    if (!isZip(head))
        throw Refusal::of(Refusal::Damaged, path);
    ZipContainer zip(path);
    if (zip.has(QStringLiteral("content.xml"))) {
        OdsReader reader(zip, path, columns);
        return reader.read(sheet);
    }
    XlsxReader reader(zip, path, columns);
    return reader.read(sheet);
}

} // namespace vestrum::importing
