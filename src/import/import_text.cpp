#include "import/import_text.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/number_format.h"
#include "import/import_rules.h"
#include "lists/entry_pages.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

namespace vestrum::importing {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString megabytes()
{
    return QString::number(kMaxImportBytes / (1024 * 1024));
}

// The row exists from the first field placed into it (or from the start of a line in "znak/znaki:"
// mode); a record that never gets one adds no row. With a header row the first record is read and
// dropped.
class RecordBuilder {
public:
    RecordBuilder(const ImportStructure& structure, int columnCount, ImportedRows& out)
        : structure_(structure)
        , columnCount_(columnCount)
        , out_(out)
        , skipping_(structure.header)
    {
    }

    void ensureRow()
    {
        if (hasRow_ || skipping_)
            return;
        out_.rows.emplace_back(columnCount_);
        out_.complete.push_back(false);
        hasRow_ = true;
    }

    void place(int position, const QString& field)
    {
        const int column = structure_.map[static_cast<size_t>(position)];
        if (column < 0 || column >= columnCount_ || skipping_)
            return;
        ensureRow();
        out_.rows.back()[column] = numbers::TrimBlanks(field);
    }

    void finish()
    {
        if (hasRow_)
            out_.complete.back() = true;
        hasRow_ = false;
        skipping_ = false;
    }

private:
    const ImportStructure& structure_;
    int columnCount_;
    ImportedRows& out_;
    bool hasRow_ = false;
    bool skipping_ = false;
};

// Records of "znak/znaki:" mode, each handed over with at most kMapPositions fields. A record is a
// line, blank lines skipped, unless a quoted field carries it over line breaks.
class SeparatedScanner {
public:
    SeparatedScanner(const QString& text, const ImportStructure& structure)
        : text_(text)
        , separator_(structure.separator)
        , quotes_(structure.quotes && !structure.separator.isEmpty())
    {
    }

    // The next record's fields; false at the end of the text.
    bool next(QStringList& fields)
    {
        const qsizetype n = text_.size();
        while (pos_ < n) {
            const qsizetype end = lineEnd(pos_);
            if (isBlank(pos_, end)) {
                pos_ = afterLineBreak(end);
                continue;
            }
            fields.clear();
            readRecord(fields);
            return true;
        }
        return false;
    }

private:
    struct Quoted {
        QString text;
        qsizetype next = 0;
        bool endsRecord = false;
    };

    bool isLineBreak(qsizetype i) const { return text_[i] == u'\r' || text_[i] == u'\n'; }

    qsizetype lineEnd(qsizetype from) const
    {
        const qsizetype n = text_.size();
        while (from < n && !isLineBreak(from))
            ++from;
        return from;
    }

    qsizetype afterLineBreak(qsizetype at) const
    {
        const qsizetype n = text_.size();
        if (at < n && text_[at] == u'\r')
            return at + 1 < n && text_[at + 1] == u'\n' ? at + 2 : at + 1;
        return at < n && text_[at] == u'\n' ? at + 1 : at;
    }

    bool isBlank(qsizetype from, qsizetype to) const
    {
        for (qsizetype i = from; i < to; ++i)
            if (text_[i].unicode() > 0x20)
                return false;
        return true;
    }

    bool separatorAt(qsizetype i) const
    {
        return !separator_.isEmpty() && QStringView(text_).sliced(i).startsWith(separator_);
    }

    qsizetype separatorIn(qsizetype from, qsizetype to) const
    {
        if (separator_.isEmpty())
            return -1;
        const qsizetype at = QStringView(text_).sliced(from, to - from).indexOf(separator_);
        return at < 0 ? -1 : from + at;
    }

    void add(QStringList& fields, const QString& field) const
    {
        if (fields.size() < kMapPositions)
            fields.append(field);
    }

    // Fields of one record from pos_; leaves pos_ after the record's line break.
    void readRecord(QStringList& fields)
    {
        qsizetype i = pos_;
        for (;;) {
            const qsizetype end = lineEnd(i);
            const qsizetype at = separatorIn(i, end);
            if (at < 0 && isBlank(i, end)) {
                pos_ = afterLineBreak(end);
                return;
            }
            if (quotes_) {
                if (std::optional<Quoted> quoted = quotedField(i, end)) {
                    add(fields, quoted->text);
                    i = quoted->next;
                    if (quoted->endsRecord) {
                        pos_ = i;
                        return;
                    }
                    continue;
                }
            }
            if (at >= 0) {
                add(fields, text_.mid(i, at - i));
                i = at + separator_.size();
                continue;
            }
            add(fields, text_.mid(i, end - i));
            pos_ = afterLineBreak(end);
            return;
        }
    }

    // A field from `from` that begins with a quote after blanks and closes with a quote followed by
    // the separator or the end of the record (blanks between allowed); nothing when the quotes do
    // not form one.
    std::optional<Quoted> quotedField(qsizetype from, qsizetype lineEnd) const
    {
        qsizetype j = from;
        while (j < lineEnd && (text_[j] == u' ' || text_[j] == u'\t') && !separatorAt(j))
            ++j;
        if (j >= lineEnd || text_[j] != u'"')
            return std::nullopt;
        const qsizetype n = text_.size();
        Quoted quoted;
        qsizetype k = j + 1;
        for (;;) {
            const qsizetype q = text_.indexOf(u'"', k);
            if (q < 0)
                return std::nullopt;
            quoted.text += QStringView(text_).sliced(k, q - k);
            if (q + 1 < n && text_[q + 1] == u'"') {
                quoted.text += u'"';
                k = q + 2;
                continue;
            }
            for (qsizetype m = q + 1;; ++m) {
                if (separatorAt(m)) {
                    quoted.next = m + separator_.size();
                    break;
                }
                if (m >= n || isLineBreak(m)) {
                    quoted.next = afterLineBreak(m);
                    quoted.endsRecord = true;
                    break;
                }
                if (text_[m] != u' ' && text_[m] != u'\t')
                    return std::nullopt;
            }
            // A cell's own line breaks are one LF whatever the file used.
            quoted.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
            return quoted;
        }
    }

    const QString& text_;
    const QString separator_;
    const bool quotes_;
    qsizetype pos_ = 0;
};

void splitByCharacters(const QString& text, const ImportStructure& structure, RecordBuilder& builder,
    const std::function<void()>& fieldRead)
{
    SeparatedScanner scanner(text, structure);
    QStringList fields;
    while (scanner.next(fields)) {
        builder.ensureRow();
        for (int position = 0; position < fields.size(); ++position) {
            builder.place(position, fields[position]);
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

DecodedText DecodeImportBytes(const QByteArray& bytes, std::optional<TextEncoding> forced)
{
    const TextEncoding encoding = forced.value_or(DetectEncoding(bytes));
    return { DecodeAs(bytes, encoding), encoding };
}

QByteArray ReadImportBytes(const QString& path)
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
    return bytes;
}

DecodedText ReadImportFile(const QString& path, std::optional<TextEncoding> forced)
{
    return DecodeImportBytes(ReadImportBytes(path), forced);
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

QStringList ImportHeaders(int kind)
{
    return lists::ListKindInfoOf(kind).headers();
}

QString SeparatorFromText(const QString& typed)
{
    const QString name = typed.trimmed();
    if (name.compare(QLatin1String("tabulator"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("tab"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("\t");
    return typed;
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
    if (structure.mode == SeparatorMode::Characters)
        splitByCharacters(text, structure, builder, fieldRead);
    else
        splitByLineEnds(SplitLines(text), structure, builder, fieldRead);
    return out;
}

QStringList FirstRecordFields(const QString& text, const ImportStructure& structure)
{
    QStringList fields;
    if (structure.mode == SeparatorMode::Characters) {
        SeparatedScanner scanner(text, structure);
        scanner.next(fields);
    } else {
        fields = SplitLines(text).mid(0, std::clamp(structure.linesPerRecord, 1, kMaxLinesPerRecord));
    }
    for (QString& field : fields)
        field = numbers::TrimBlanks(field);
    return fields;
}

QStringList FirstSheetRecord(const std::vector<QStringList>& sheetRows)
{
    for (const QStringList& row : sheetRows)
        if (!std::all_of(row.cbegin(), row.cend(), [](const QString& cell) { return numbers::IsBlank(cell); }))
            return row.mid(0, kMapPositions);
    return {};
}

namespace {

// A caption as people retype it: letter case, repeated blanks and a closing dot or colon do not count.
QString captionKey(const QString& text)
{
    QString key = numbers::TrimBlanks(text).simplified();
    while (!key.isEmpty() && (key.back() == u'.' || key.back() == u':'))
        key.chop(1);
    return key.trimmed().toCaseFolded();
}

// The kind's column headers and the captions its entry dialog shows, each with its column.
QHash<QString, int> columnCaptions(int kind)
{
    QHash<QString, int> captions;
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    for (size_t c = 0; c < info.columns.size(); ++c)
        captions.insert(captionKey(info.columns[c].header), static_cast<int>(c));
    for (const lists::EntryField& f : lists::EntryFieldsFor(kind))
        if (f.column >= 0 && !captions.contains(captionKey(f.caption)))
            captions.insert(captionKey(f.caption), f.column);
    if (IdentifiesJournals(kind))
        captions.insert(captionKey(QStringLiteral("ISSN")), lists::kIssnColumn);
    return captions;
}

} // namespace

bool LooksLikeHeader(int kind, const QStringList& fields, const ImportStructure& structure, int reportingYear)
{
    const QHash<QString, int> captions = columnCaptions(kind);
    int nonBlank = 0;
    int named = 0;
    for (const QString& field : fields) {
        if (numbers::IsBlank(field))
            continue;
        ++nonBlank;
        named += captions.contains(captionKey(field)) ? 1 : 0;
    }
    if (named * 2 <= nonBlank)
        return false;

    const int columns = static_cast<int>(lists::ListKindInfoOf(kind).columns.size());
    QStringList row(columns);
    const bool mapped = std::any_of(structure.map.cbegin(), structure.map.cend(), [](int c) { return c >= 0; });
    for (int p = 0; p < fields.size() && p < kMapPositions; ++p) {
        const int column = mapped ? structure.map[static_cast<size_t>(p)] : captions.value(captionKey(fields[p]), -1);
        if (column >= 0 && column < columns)
            row[column] = numbers::TrimBlanks(fields[p]);
    }
    return !CheckRowCells(kind, row, 1, CheckContext { reportingYear, {} }).ok();
}

bool IdentifiesJournals(int kind)
{
    return kind >= 3 && kind <= 6;
}

void CompleteRow(int kind, QStringList& row, lists::JournalList* journals)
{
    if (IdentifiesJournals(kind)) {
        if (journals != nullptr && journals->isOpen()) {
            lists::identifyRow(*journals, row, row.value(lists::kIssnColumn));
        } else {
            row[lists::kListedJournalColumn] = QString();
            row[lists::kPointsColumn] = lists::pointsCell(QString());
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

namespace {

void completeFinished(int kind, ImportedRows& out, lists::JournalList* journals)
{
    if (IdentifiesJournals(kind) && journals != nullptr && journals->isOpen())
        journals->setFilter(std::nullopt);
    for (size_t r = 0; r < out.rows.size(); ++r)
        if (out.complete[r])
            CompleteRow(kind, out.rows[r], journals);
}

} // namespace

ImportedRows ReadRecords(int kind, const QString& text, const ImportStructure& structure, lists::JournalList* journals,
    const std::function<void()>& fieldRead)
{
    const int columns = static_cast<int>(ImportHeaders(kind).size());
    ImportedRows out = SplitRecords(text, structure, columns, fieldRead);
    completeFinished(kind, out, journals);
    return out;
}

ImportedRows ReadSheetRecords(int kind, const std::vector<QStringList>& sheetRows, const ImportStructure& structure,
    lists::JournalList* journals, const std::function<void()>& fieldRead)
{
    const int columns = static_cast<int>(ImportHeaders(kind).size());
    ImportedRows out;
    RecordBuilder builder(structure, columns, out);
    for (const QStringList& cells : sheetRows) {
        if (std::all_of(cells.cbegin(), cells.cend(), [](const QString& cell) { return numbers::IsBlank(cell); }))
            continue;
        builder.ensureRow();
        for (int position = 0; position < cells.size() && position < kMapPositions; ++position) {
            builder.place(position, cells[position]);
            if (fieldRead)
                fieldRead();
        }
        builder.finish();
    }
    completeFinished(kind, out, journals);
    return out;
}

void DropImportOnlyCells(int kind, std::vector<QStringList>& rows)
{
    const qsizetype columns = static_cast<qsizetype>(lists::ListKindInfoOf(kind).columns.size());
    for (QStringList& row : rows)
        if (row.size() > columns)
            row.resize(columns);
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
