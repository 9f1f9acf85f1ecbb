#include "import/import_text.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/number_format.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

namespace vestrum::importing {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

bool startsWith(const QByteArray& bytes, std::initializer_list<unsigned char> mark)
{
    if (bytes.size() < static_cast<qsizetype>(mark.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char b : mark)
        if (static_cast<unsigned char>(bytes.at(i++)) != b)
            return false;
    return true;
}

QString decode(QStringConverter::Encoding encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

std::optional<QString> strictUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString megabytes()
{
    return QString::number(kMaxImportBytes / (1024 * 1024));
}

// The row exists from the first field placed into it (or from the start of a line in "znak/znaki:"
// mode); a record that never gets one adds no row.
class RecordBuilder {
public:
    RecordBuilder(const ImportStructure& structure, int columnCount, ImportedRows& out)
        : structure_(structure)
        , columnCount_(columnCount)
        , out_(out)
    {
    }

    void ensureRow()
    {
        if (hasRow_)
            return;
        out_.rows.emplace_back(columnCount_);
        out_.complete.push_back(false);
        hasRow_ = true;
    }

    void place(int position, const QString& field)
    {
        const int column = structure_.map[static_cast<size_t>(position)];
        if (column < 0 || column >= columnCount_)
            return;
        ensureRow();
        out_.rows.back()[column] = numbers::TrimBlanks(field);
    }

    void finish()
    {
        if (hasRow_)
            out_.complete.back() = true;
        hasRow_ = false;
    }

private:
    const ImportStructure& structure_;
    int columnCount_;
    ImportedRows& out_;
    bool hasRow_ = false;
};

void splitByCharacters(const QStringList& lines, const ImportStructure& structure, RecordBuilder& builder,
    const std::function<void()>& fieldRead)
{
    const QString& separator = structure.separator;
    for (const QString& line : lines) {
        if (numbers::IsBlank(line))
            continue;
        builder.ensureRow();
        QStringView rest(line);
        int position = 0;
        // A separator at the very end of a line adds no field; blanks after the last one neither.
        while (position < kMapPositions) {
            const qsizetype at = separator.isEmpty() ? -1 : rest.indexOf(separator);
            QStringView field;
            if (at >= 0) {
                field = rest.left(at);
                rest = rest.mid(at + separator.size());
            } else if (!numbers::IsBlank(rest.toString())) {
                field = rest;
                rest = QStringView();
            } else {
                break;
            }
            builder.place(position++, field.toString());
            if (fieldRead)
                fieldRead();
        }
        builder.finish();
    }
}

void splitByLineEnds(const QStringList& lines, const ImportStructure& structure, RecordBuilder& builder,
    const std::function<void()>& fieldRead)
{
    const int perRecord = std::clamp(structure.linesPerRecord, 1, kMaxLinesPerRecord);
    int position = 0;
    for (const QString& line : lines) {
        builder.place(position, line);
        if (fieldRead)
            fieldRead();
        if (++position == perRecord) {
            builder.finish();
            position = 0;
        }
    }
}

} // namespace

DecodedText DecodeImportBytes(const QByteArray& bytes)
{
    if (startsWith(bytes, { 0xEF, 0xBB, 0xBF }))
        return { decode(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3)), TextEncoding::Utf8 };
    if (startsWith(bytes, { 0xFF, 0xFE }))
        return { decode(QStringConverter::Utf16LE, QByteArrayView(bytes).sliced(2)), TextEncoding::Utf16 };
    if (startsWith(bytes, { 0xFE, 0xFF }))
        return { decode(QStringConverter::Utf16BE, QByteArrayView(bytes).sliced(2)), TextEncoding::Utf16 };
    if (std::optional<QString> text = strictUtf8(bytes))
        return { *text, TextEncoding::Utf8 };
    return { codepage::fromWindows1250(bytes), TextEncoding::Windows1250 };
}

QString EncodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Windows1250:
        return QStringLiteral("Windows-1250");
    case TextEncoding::Utf16:
        return QStringLiteral("UTF-16");
    }
    return {};
}

DecodedText ReadImportFile(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.isFile())
        throw Error(S("Nie znaleziono zbioru %1").arg(shown));
    if (info.size() > kMaxImportBytes)
        throw Error(S("Zbiór %1 jest zbyt duży do importu (ponad %2 MB).").arg(shown, megabytes()));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(S("Nie można odczytać zbioru %1").arg(shown));
    const QByteArray bytes = file.read(kMaxImportBytes + 1);
    if (bytes.size() > kMaxImportBytes)
        throw Error(S("Zbiór %1 jest zbyt duży do importu (ponad %2 MB).").arg(shown, megabytes()));
    if (file.error() != QFileDevice::NoError)
        throw Error(S("Nie można odczytać zbioru %1").arg(shown));
    return DecodeImportBytes(bytes);
}

QString ClipboardTextProblem(const QString& text)
{
    if (text.size() > kMaxImportBytes)
        return S("Tekst w schowku systemowym jest zbyt duży do importu (ponad %1 MB).").arg(megabytes());
    return {};
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QString SeparatorProblem(const ImportStructure& structure)
{
    if (structure.mode == SeparatorMode::Characters && structure.separator.isEmpty())
        return S("Nie podano znaku separatora");
    return {};
}

QString LineCountFieldProblem(const QString& text)
{
    if (text.isEmpty())
        return {};
    const std::optional<int> count = numbers::ParseInteger(numbers::TrimBlanks(text));
    if (!count)
        return S("Podana wartość jest nieprawidłowa");
    if (*count < 1 || *count > kMaxLinesPerRecord)
        return S("Ilość linii, które obejmują jeden opis, nie może być większa niż 12 (ani mniejsza od 1).");
    return {};
}

QString LineCountProblem(const QString& text)
{
    if (numbers::IsBlank(text))
        return S("Nie podano ilości linii jaką zajmuje opis jednej pozycji");
    return LineCountFieldProblem(text);
}

QString DuplicateMapProblem(const ImportStructure& structure, const QStringList& headers)
{
    for (int n = 0; n + 1 < kMapPositions; ++n) {
        const int column = structure.map[static_cast<size_t>(n)];
        if (column < 0)
            continue;
        for (int m = n + 1; m < kMapPositions; ++m)
            if (structure.map[static_cast<size_t>(m)] == column)
                return S("Do conajmniej dwóch pól przypisano taką samą zawartość tematyczną: ") + headers.value(column);
    }
    return {};
}

QString StructureProblem(const ImportStructure& structure, const QString& lineCountText, const QStringList& headers)
{
    const QString modeProblem
        = structure.mode == SeparatorMode::Characters ? SeparatorProblem(structure) : LineCountProblem(lineCountText);
    return modeProblem.isEmpty() ? DuplicateMapProblem(structure, headers) : modeProblem;
}

ImportedRows SplitRecords(
    const QString& text, const ImportStructure& structure, int columnCount, const std::function<void()>& fieldRead)
{
    ImportedRows out;
    RecordBuilder builder(structure, columnCount, out);
    const QStringList lines = SplitLines(text);
    if (structure.mode == SeparatorMode::Characters)
        splitByCharacters(lines, structure, builder, fieldRead);
    else
        splitByLineEnds(lines, structure, builder, fieldRead);
    return out;
}

bool IdentifiesJournals(int kind)
{
    return kind >= 3 && kind <= 6;
}

void CompleteRow(int kind, QStringList& row, lists::JournalList* journals)
{
    if (IdentifiesJournals(kind)) {
        if (journals != nullptr && journals->isOpen()) {
            lists::identifyRow(*journals, row);
        } else {
            row[lists::kListedJournalColumn] = QString();
            row[lists::kPointsColumn] = QStringLiteral("0");
        }
        return;
    }
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    if (info.fixedPoints == 0)
        return;
    for (size_t c = 0; c < info.columns.size() && static_cast<qsizetype>(c) < row.size(); ++c)
        if (info.columns[c].format == lists::CellFormat::FixedPoints)
            row[static_cast<qsizetype>(c)] = QString::number(info.fixedPoints);
}

ImportedRows ReadRecords(int kind, const QString& text, const ImportStructure& structure, lists::JournalList* journals,
    const std::function<void()>& fieldRead)
{
    const int columns = static_cast<int>(lists::ListKindInfoOf(kind).columns.size());
    ImportedRows out = SplitRecords(text, structure, columns, fieldRead);
    if (IdentifiesJournals(kind) && journals != nullptr && journals->isOpen())
        journals->setFilter(std::nullopt);
    for (size_t r = 0; r < out.rows.size(); ++r)
        if (out.complete[r])
            CompleteRow(kind, out.rows[r], journals);
    return out;
}

void AppendImportedRows(std::vector<QStringList>& listRows, const std::vector<QStringList>& imported)
{
    const bool placeholderOnly = listRows.size() == 1
        && std::all_of(
            listRows.front().cbegin(), listRows.front().cend(), [](const QString& c) { return numbers::IsBlank(c); });
    if (placeholderOnly || listRows.empty())
        listRows.clear();
    listRows.insert(listRows.end(), imported.begin(), imported.end());
}

} // namespace vestrum::importing
