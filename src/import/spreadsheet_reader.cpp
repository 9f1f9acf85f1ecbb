#include "import/spreadsheet_reader.h"
#include "import/spreadsheet_reader_internal.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "base/number_format.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>

// What the .xlsx and the .ods reader share: the refusals of a workbook, its zip container, the values of
// cells and the cells kept for a sheet; then a workbook told by its name or first bytes, and read.
namespace vestrum::importing::workbook {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

Error Refusal::of(Kind kind, const QString& path, const QString& detail)
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
    case OldFormat:
        message = S("Plik %1 jest w starym formacie .xls - zapisz go jako .xlsx lub .ods.").arg(shown);
        break;
    case Damaged:
        message = S("Plik %1 jest uszkodzony lub nie jest arkuszem .xlsx/.ods.").arg(shown);
        break;
    }
    if (!detail.isEmpty())
        message += S("\nSzczegóły: ") + detail;
    return Error(message);
}

// "C7" for column 2 and row 6, both from 0.
QString cellReference(qint64 row, qint64 column)
{
    QString letters;
    for (qint64 c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(static_cast<char16_t>(u'A' + (c - 1) % 26)));
    return letters + QString::number(row + 1);
}

// --- the zip container ------------------------------------------------------------------------

ZipContainer::ZipContainer(const QString& path)
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

ZipContainer::~ZipContainer() { zip_discard(archive_); }

bool ZipContainer::has(const QString& name) const { return locate(name) >= 0; }

std::optional<QByteArray> ZipContainer::read(const QString& name)
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

QByteArray ZipContainer::require(const QString& name)
{
    std::optional<QByteArray> bytes = read(name);
    if (!bytes)
        throw Refusal::of(Refusal::Damaged, path_, S("brak części %1").arg(name));
    return *bytes;
}

Error ZipContainer::damaged(const QString& detail) const
{
    return Refusal::of(
        Refusal::Damaged, path_, detail.isEmpty() ? QString::fromLocal8Bit(zip_strerror(archive_)) : detail);
}

zip_int64_t ZipContainer::locate(const QString& name) const
{
    return zip_name_locate(archive_, name.toUtf8().constData(), ZIP_FL_ENC_GUESS);
}

// --- cell values ------------------------------------------------------------------------------

namespace {

QString formatDate(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QString();
}

} // namespace

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

// --- the cells of a sheet -------------------------------------------------------------------

SheetCells::SheetCells(const QString& path, int columns)
    : path_(path)
    , columns_(columns)
{
}

void SheetCells::set(qint64 row, qint64 column, const QString& value)
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

void SheetCells::clearCovered(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn)
{
    for (auto it = rows_.lower_bound(firstRow); it != rows_.end() && it->first <= lastRow; ++it)
        for (qint64 c = std::max<qint64>(firstColumn, 0); c <= lastColumn && c < it->second.size(); ++c)
            if (it->first != firstRow || c != firstColumn)
                it->second[c].clear();
}

void SheetCells::charge(qint64 cells)
{
    expanded_ += cells;
    if (expanded_ > kMaxCells)
        throw Refusal::of(Refusal::TooBig, path_);
}

std::vector<QStringList> SheetCells::rows() &&
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

// --- the XML of a member ---------------------------------------------------------------------

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

} // namespace vestrum::importing::workbook

namespace vestrum::importing {
namespace {

using workbook::Refusal;
using workbook::S;

QByteArray firstBytes(const QString& path, int count)
{
    if (isSpecialFile(path))
        return {};
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

// An OLE container holds streams named in UTF-16: Excel's password-protected workbook keeps its package in
// "EncryptedPackage" beside "EncryptionInfo"; an old binary workbook has a "Workbook" (or, older, "Book")
// stream. The names are looked for in the bytes: the container's own directory holds them.
Refusal::Kind oleRefusal(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Refusal::Damaged;
    const QByteArray bytes = file.read(kMaxUnpackedBytes);
    const auto holds = [&bytes](const char* name) {
        QByteArray utf16;
        for (const char* c = name; *c != 0; ++c)
            utf16.append(*c).append('\0');
        return bytes.contains(utf16);
    };
    if (holds("EncryptedPackage") || holds("EncryptionInfo"))
        return Refusal::Encrypted;
    if (holds("Workbook") || holds("Book"))
        return Refusal::OldFormat;
    return Refusal::Damaged;
}

bool hasWorkbookName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("xlsx") || suffix == QLatin1String("ods");
}

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

QString FormulaWithoutResultMessage(const QString& cell)
{
    return S("Komórka %1 zawiera formułę bez zapisanego wyniku - otwórz plik w arkuszu i zapisz go ponownie.")
        .arg(cell);
}

Spreadsheet ReadSpreadsheet(const QString& path, std::optional<int> sheet, int columns)
{
    refuseSpecialFile(path);
    if (!QFileInfo(path).isFile())
        throw Error(S("Nie znaleziono zbioru %1").arg(QDir::toNativeSeparators(path)));
    const QByteArray head = firstBytes(path, 4);
    if (isOleContainer(head)) {
        // Excel keeps a workbook saved with a password in an OLE container, and older Excel every workbook.
        throw Refusal::of(oleRefusal(path), path);
    }
    if (!isZip(head))
        throw Refusal::of(Refusal::Damaged, path);
    workbook::ZipContainer zip(path);
    if (zip.has(QStringLiteral("content.xml")))
        return workbook::ReadOds(zip, path, sheet, columns);
    return workbook::ReadXlsx(zip, path, sheet, columns);
}

} // namespace vestrum::importing
