#include "import/bibliography.h"

#include "base/error.h"
#include "import/import_text.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"

#include <QMap>
#include <QRegularExpression>
#include <algorithm>

namespace vestrum::importing {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

bool startsRisRecord(QStringView text)
{
    return text.startsWith(u"TY  -");
}

// "TY  - " at the start of a line within the first lines: a RIS file starts with it, after a mark
// or a few blank lines at most.
bool looksLikeRis(const QString& text)
{
    qsizetype lineStart = 0;
    for (int line = 0; line < 20 && lineStart < text.size(); ++line) {
        const QStringView rest = QStringView(text).sliced(lineStart);
        if (startsRisRecord(rest.trimmed()))
            return true;
        const qsizetype end = text.indexOf(u'\n', lineStart);
        if (end < 0)
            break;
        lineStart = end + 1;
    }
    return false;
}

bool looksLikeBibTeX(const QString& text)
{
    for (qsizetype at = text.indexOf(u'@'); at >= 0; at = text.indexOf(u'@', at + 1)) {
        qsizetype j = at + 1;
        while (j < text.size() && text[j].isLetter())
            ++j;
        if (j == at + 1)
            continue;
        while (j < text.size() && text[j].isSpace())
            ++j;
        if (j < text.size() && (text[j] == u'{' || text[j] == u'('))
            return true;
    }
    return false;
}

QString initials(const QString& given)
{
    QStringList out;
    for (const QString& name : given.split(QRegularExpression(QStringLiteral("[\\s.]+")), Qt::SkipEmptyParts)) {
        QStringList parts;
        for (const QString& part : name.split(u'-', Qt::SkipEmptyParts)) {
            const auto letter = std::find_if(part.begin(), part.end(), [](QChar c) { return c.isLetter(); });
            if (letter != part.end())
                parts << QString(letter->toUpper()) + u'.';
        }
        if (!parts.isEmpty())
            out << parts.join(u'-');
    }
    return out.join(u' ');
}

QString joinGiven(const QStringList& parts)
{
    QStringList kept;
    for (const QString& part : parts)
        if (!part.trimmed().isEmpty())
            kept << part.trimmed();
    return kept.join(QLatin1String(", "));
}

// "year, volume(issue), pages" as far as given.
QString yearVolumePages(const BibEntry& e)
{
    QString volume = e.volume;
    if (!e.issue.isEmpty())
        volume = volume.isEmpty() ? e.issue : volume + u'(' + e.issue + u')';
    return joinGiven({ e.year, volume, e.pages });
}

EntryKind kindTaken(int kind)
{
    if (kind >= 3 && kind <= 6)
        return EntryKind::Article;
    return kind == 9 || kind == 11 ? EntryKind::Chapter : EntryKind::Book;
}

void put(QStringList& row, const lists::ListKindInfo& info, const char* field, const QString& text)
{
    const int column = info.columnIndex(QString::fromLatin1(field));
    if (column >= 0)
        row[column] = text;
}

QStringList rowOf(int kind, const BibEntry& e)
{
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    QStringList row(ImportHeaders(kind).size());
    put(row, info, "Autorzy", AuthorList(e.authors));
    if (kindTaken(kind) == EntryKind::Article) {
        put(row, info, "Czasopismo", e.journal);
        put(row, info, "Tytul", e.title);
        put(row, info, "Rok_tom_str", yearVolumePages(e));
        row[lists::kIssnColumn] = lists::issnCell(e.issn);
        return row;
    }
    put(row, info, "Wydawca", e.publisher);
    const bool chapter = kindTaken(kind) == EntryKind::Chapter;
    put(row, info, "Tytul", chapter ? e.bookTitle : e.title);
    if (chapter)
        put(row, info, "Tytul_rozdzialu", e.title);
    put(row, info, "Miejsce_rok_tom_str", joinGiven({ e.place, e.year, e.volume, e.pages }));
    return row;
}

// "pominięto 1 pozycję ...", the rest of the line given.
QString skippedLine(int count, const QString& why)
{
    return S("pominięto ") + EntryCountText(count) + why;
}

} // namespace

QString FormatName(BibliographyFormat format)
{
    switch (format) {
    case BibliographyFormat::BibTeX:
        return QStringLiteral("BibTeX");
    case BibliographyFormat::Ris:
        return QStringLiteral("RIS");
    case BibliographyFormat::CslJson:
        break;
    }
    return QStringLiteral("CSL JSON");
}

std::optional<BibliographyFormat> DetectBibliographyFormat(const QString& text)
{
    const auto first = std::find_if(text.begin(), text.end(), [](QChar c) { return !c.isSpace() && c != QChar(0xFEFF); });
    if (first != text.end() && (*first == u'[' || *first == u'{'))
        return BibliographyFormat::CslJson;
    if (looksLikeRis(text))
        return BibliographyFormat::Ris;
    if (looksLikeBibTeX(text))
        return BibliographyFormat::BibTeX;
    return std::nullopt;
}

Bibliography ReadBibliography(const QByteArray& bytes)
{
    const DecodedText decoded = DecodeImportBytes(bytes);
    const std::optional<BibliographyFormat> format = DetectBibliographyFormat(decoded.text);
    if (!format)
        throw Error(S("Zbiór nie jest bibliografią w formacie BibTeX, RIS ani CSL JSON."));
    switch (*format) {
    case BibliographyFormat::CslJson:
        return ReadCslJson(bytes);
    case BibliographyFormat::Ris:
        return ReadRis(decoded.text);
    case BibliographyFormat::BibTeX:
        break;
    }
    return ReadBibTeX(decoded.text);
}

Bibliography ReadBibliographyFile(const QString& path)
{
    return ReadBibliography(ReadImportBytes(path));
}

QString AuthorList(const std::vector<BibPerson>& authors)
{
    QStringList names;
    for (const BibPerson& person : authors) {
        const QString given = person.literal ? QString() : initials(person.given);
        names << (given.isEmpty() ? person.family : person.family + u' ' + given);
    }
    return names.join(QLatin1String(", "));
}

bool TakesBibliography(int kind)
{
    return (kind >= 3 && kind <= 6) || (kind >= 8 && kind <= 11);
}

QString EntryCountText(int count)
{
    const int tens = count % 100;
    const int ones = count % 10;
    if (count == 1)
        return S("1 pozycję");
    if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14))
        return S("%1 pozycje").arg(count);
    return S("%1 pozycji").arg(count);
}

BibliographyRows BibliographyToRows(int kind, const Bibliography& bibliography, lists::JournalList* journals)
{
    BibliographyRows out;
    const EntryKind taken = kindTaken(kind);
    QStringList typeOrder;
    QMap<QString, int> otherTypes;
    int untitled = 0;
    for (const BibEntry& entry : bibliography.entries) {
        if (entry.kind != taken) {
            if (!otherTypes.contains(entry.typeLabel))
                typeOrder << entry.typeLabel;
            ++otherTypes[entry.typeLabel];
        } else if (entry.title.trimmed().isEmpty()) {
            ++untitled;
        } else {
            out.rows.push_back(rowOf(kind, entry));
        }
    }
    if (IdentifiesJournals(kind) && journals != nullptr && journals->isOpen())
        journals->setFilter(std::nullopt);
    for (QStringList& row : out.rows)
        CompleteRow(kind, row, journals);

    for (const QString& type : typeOrder)
        out.skipped << skippedLine(otherTypes.value(type), S(" typu ") + type);
    if (untitled > 0)
        out.skipped << skippedLine(untitled, S(" bez tytułu"));
    if (bibliography.unreadable > 0)
        out.skipped << skippedLine(bibliography.unreadable,
            bibliography.unreadable == 1 ? S(", której nie można odczytać (niedomknięty nawias lub cudzysłów)")
                                         : S(", których nie można odczytać (niedomknięte nawiasy lub cudzysłowy)"));
    return out;
}

} // namespace vestrum::importing
