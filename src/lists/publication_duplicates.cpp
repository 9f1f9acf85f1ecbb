#include "lists/publication_duplicates.h"

#include "base/number_format.h"
#include "lists/journal_identification.h"
#include "lists/journal_matching.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"

#include <algorithm>

namespace vestrum::lists {
namespace {

constexpr QChar kSeparator(0x1f);

bool isArticleKind(int kind)
{
    return kind >= 3 && kind <= 6;
}

// The first run of exactly four digits: the year of "2019, 12(3), 45-67" and of "Kraków, 2019, t. 2".
qsizetype yearAt(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (!text[i].isDigit()) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && text[end].isDigit())
            ++end;
        if (end - i == 4)
            return i;
        i = end;
    }
    return -1;
}

// The first number after the year: the volume of "2019, 12(3), 45-67".
QString volumeAfter(const QString& text, qsizetype yearStart)
{
    qsizetype i = yearStart + 4;
    const qsizetype n = text.size();
    while (i < n && !text[i].isDigit())
        ++i;
    qsizetype end = i;
    while (end < n && text[end].isDigit())
        ++end;
    return text.mid(i, end - i);
}

QString cell(const QStringList& row, int kind, const char* field)
{
    const int column = ListKindInfoOf(kind).columnIndex(QString::fromLatin1(field));
    return column >= 0 ? row.value(column) : QString();
}

QString titleOf(int kind, const QStringList& row)
{
    const QString chapter = cell(row, kind, "Tytul_rozdzialu");
    return numbers::IsBlank(chapter) ? cell(row, kind, "Tytul") : chapter;
}

QString datesOf(int kind, const QStringList& row)
{
    return isArticleKind(kind) ? cell(row, kind, "Rok_tom_str") : cell(row, kind, "Miejsce_rok_tom_str");
}

QString yearOf(int kind, const QStringList& row)
{
    const QString dates = datesOf(kind, row);
    const qsizetype at = yearAt(dates);
    return at < 0 ? QString() : dates.mid(at, 4);
}

} // namespace

bool IsPublicationKind(int kind)
{
    return isArticleKind(kind) || (kind >= 8 && kind <= 11);
}

QString PublicationListName(int kind)
{
    return ListKindInfoOf(kind).point;
}

QString DuplicateLine(const ProbableDuplicate& duplicate)
{
    return QString::fromUtf8("możliwy duplikat: %1 (%2) - %3 wiersz %4")
        .arg(duplicate.title.simplified(), duplicate.year, PublicationListName(duplicate.earlier.kind))
        .arg(duplicate.earlier.row + 1);
}

PublicationIndex::Keys PublicationIndex::keysOf(int kind, const QStringList& row)
{
    Keys keys;
    const QString title = matchingKey(titleOf(kind, row));
    if (title.isEmpty())
        return keys;
    // Articles and monographs are counted apart: a chapter may share its title with an article.
    const QString family = isArticleKind(kind) ? QStringLiteral("a") : QStringLiteral("m");
    const QString dates = datesOf(kind, row);
    const qsizetype year = yearAt(dates);
    if (year >= 0)
        keys.titleYear = family + kSeparator + title + kSeparator + dates.mid(year, 4);
    const QString issn = isArticleKind(kind) ? issnKey(row.value(kIssnColumn)) : QString();
    const QString volume = year >= 0 ? volumeAfter(dates, year) : QString();
    if (!issn.isEmpty() && !volume.isEmpty())
        keys.issnTitleVolume = issn + kSeparator + title + kSeparator + volume;
    // Only the list's own columns: an import's ISSN beside them is no part of the stored row.
    const qsizetype columns = std::min<qsizetype>(row.size(), ListKindInfoOf(kind).columns.size());
    keys.folded.reserve(columns);
    for (qsizetype c = 0; c < columns; ++c)
        keys.folded.append(row[c].toCaseFolded());
    return keys;
}

std::optional<PublicationPlace> PublicationIndex::add(const PublicationPlace& place, const QStringList& row)
{
    if (!IsPublicationKind(place.kind))
        return std::nullopt;
    Keys keys = keysOf(place.kind, row);
    if (keys.titleYear.isEmpty() && keys.issnTitleVolume.isEmpty())
        return std::nullopt;
    // Equal letter case aside in one list: the editor refuses to save it as it is, which says more.
    QSet<QStringList>& listRows = foldedRows_[place.kind];
    if (listRows.contains(keys.folded))
        return std::nullopt;
    listRows.insert(std::move(keys.folded));

    std::optional<PublicationPlace> earlier;
    if (!keys.titleYear.isEmpty()) {
        const auto found = byTitleYear_.constFind(keys.titleYear);
        if (found != byTitleYear_.cend())
            earlier = *found;
        else
            byTitleYear_.insert(keys.titleYear, place);
    }
    if (!keys.issnTitleVolume.isEmpty()) {
        const auto found = byIssnTitleVolume_.constFind(keys.issnTitleVolume);
        if (found == byIssnTitleVolume_.cend())
            byIssnTitleVolume_.insert(keys.issnTitleVolume, place);
        else if (!earlier)
            earlier = *found;
    }
    return earlier;
}

QString PublicationTitle(int kind, const QStringList& row)
{
    return numbers::TrimBlanks(titleOf(kind, row));
}

QString PublicationYear(int kind, const QStringList& row)
{
    return yearOf(kind, row);
}

ProbableDuplicate DuplicateOf(const PublicationPlace& later, const PublicationPlace& earlier, const QStringList& row)
{
    ProbableDuplicate d;
    d.later = later;
    d.earlier = earlier;
    d.title = PublicationTitle(later.kind, row);
    d.year = yearOf(later.kind, row);
    return d;
}

namespace {

bool isBlankRow(const QStringList& row)
{
    return std::all_of(row.begin(), row.end(), [](const QString& c) { return numbers::IsBlank(c); });
}

} // namespace

PublicationLists ReadPublicationLists(db::Connection& survey)
{
    PublicationLists lists;
    for (int kind : { 3, 4, 5, 6, 8, 9, 10, 11 })
        lists[kind] = EditorGrid(survey, kind).rows();
    return lists;
}

std::vector<ProbableDuplicate> FindProbableDuplicates(const PublicationLists& lists)
{
    std::vector<ProbableDuplicate> found;
    PublicationIndex index;
    for (const auto& [kind, rows] : lists)
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            const PublicationPlace place { kind, r };
            if (const auto earlier = index.add(place, rows[static_cast<size_t>(r)]))
                found.push_back(DuplicateOf(place, *earlier, rows[static_cast<size_t>(r)]));
        }
    return found;
}

std::vector<ProbableDuplicate> FindIncomingDuplicates(
    const PublicationLists& survey, int kind, const std::vector<QStringList>& incoming, bool replacesList)
{
    std::vector<ProbableDuplicate> found;
    if (!IsPublicationKind(kind))
        return found;
    PublicationIndex index;
    int ownRows = 0;
    for (const auto& [listKind, rows] : survey) {
        if (listKind == kind && replacesList)
            continue;
        const bool own = listKind == kind;
        int r = 0;
        for (const QStringList& row : rows) {
            if (own && rows.size() == 1 && isBlankRow(row))
                break; // the empty list's placeholder row, which an import replaces
            index.add({ listKind, r++ }, row);
        }
        if (own)
            ownRows = r;
    }
    for (int i = 0; i < static_cast<int>(incoming.size()); ++i) {
        const PublicationPlace place { kind, ownRows + i };
        if (const auto earlier = index.add(place, incoming[static_cast<size_t>(i)])) {
            found.push_back(DuplicateOf(place, *earlier, incoming[static_cast<size_t>(i)]));
            found.back().incoming = i;
        }
    }
    return found;
}

std::vector<QStringList> WithoutDuplicates(
    const std::vector<QStringList>& rows, const std::vector<ProbableDuplicate>& duplicates)
{
    std::vector<bool> dropped(rows.size(), false);
    for (const ProbableDuplicate& d : duplicates)
        if (d.incoming >= 0 && d.incoming < static_cast<int>(rows.size()))
            dropped[static_cast<size_t>(d.incoming)] = true;
    std::vector<QStringList> kept;
    kept.reserve(rows.size());
    for (size_t r = 0; r < rows.size(); ++r)
        if (!dropped[r])
            kept.push_back(rows[r]);
    return kept;
}

} // namespace vestrum::lists
