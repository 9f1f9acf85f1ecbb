#include "lists/journal_identification.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/number_format.h"
#include "base/short_run_heap.h"
#include "storage/engine.h"
#include "lists/list_grid.h"

#include "lists/collated_order.h"

#include <QVariant>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <sqlite3.h>
#include <thread>
#include <tuple>

namespace vestrum::lists {
namespace {

const QString kTable = QStringLiteral("lista_ministerstwa");

// Points are whole numbers in every list so far; a list with fractional points shows them with
// the program's decimal comma.
QString pointsText(const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return QStringLiteral("0");
    if (value.typeId() == QMetaType::Double) {
        const double points = value.toDouble();
        if (points == static_cast<double>(static_cast<qint64>(points)))
            return QString::number(static_cast<qint64>(points));
        return QString::number(points, 'g', 15).replace(u'.', u',');
    }
    return value.toString().trimmed();
}

// The order of the list: letter case ignored and Polish letters right after their base letters
// (a, ą, b, c, ć, ..., l, ł, ..., z, ź, ż), other accented letters with their base letters; names
// equal under this key keep the order of the table. A key of the name rather than a collation,
// so that "następny" can continue from a record with a plain comparison of keys.
QString orderKey(const QString& name)
{
    static constexpr QChar kAfter(0x7f); // above every letter and digit of the basic Latin range
    const QString lower = name.toLower();
    QString key;
    key.reserve(lower.size() + 8);
    for (const QChar ch : lower) {
        switch (ch.unicode()) {
        case u'ą': key += u'a'; key += kAfter; break;
        case u'ć': key += u'c'; key += kAfter; break;
        case u'ę': key += u'e'; key += kAfter; break;
        case u'ł': key += u'l'; key += kAfter; break;
        case u'ń': key += u'n'; key += kAfter; break;
        case u'ó': key += u'o'; key += kAfter; break;
        case u'ś': key += u's'; key += kAfter; break;
        case u'ź': key += u'z'; key += kAfter; break;
        case u'ż': key += u'z'; key += kAfter; key += kAfter; break;
        default:
            if (ch.unicode() >= 0x80) {
                const QString decomposed = QString(ch).normalized(QString::NormalizationForm_D);
                key += decomposed.size() > 1 && decomposed.at(0).unicode() < 0x80 ? decomposed.at(0) : ch;
            } else {
                key += ch;
            }
        }
    }
    return key;
}

void orderKeyFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QByteArray key = orderKey(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(context, key.constData(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

// A field as text, as the engine's readers give it: NULL as "", a number as its digits.
QString unicodeAt(sqlite3_stmt* row, int column)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(row, column)),
                                 sqlite3_column_bytes(row, column));
    case SQLITE_NULL:
        return {};
    case SQLITE_FLOAT:
        return QString::number(sqlite3_column_double(row, column), 'g', 15);
    default:
        return db::columnValue(row, column).toString();
    }
}

// A field as a whole number, as the engine's readers give it: NULL as 0, a fraction cut off.
int integerAt(sqlite3_stmt* row, int column)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
        return 0;
    case SQLITE_FLOAT:
        return static_cast<int>(sqlite3_column_double(row, column));
    default:
        return db::columnValue(row, column).toString().trimmed().toInt();
    }
}

// The records in the list's order: by orderKey of the name, a missing name first, names of one key in the
// table's order. The same order as "order by journal_order(czasopismo), rowid", got without the engine's sorter,
// which, for every record read at start, took longer than reading the table.
std::vector<int> listOrder(const std::vector<QByteArray>& keys, const std::vector<bool>& unnamed)
{
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys, &unnamed](int a, int b) {
        const size_t i = static_cast<size_t>(a);
        const size_t j = static_cast<size_t>(b);
        if (unnamed[i] != unnamed[j])
            return static_cast<bool>(unnamed[i]);
        return keys[i] < keys[j];
    });
    return order;
}

// Moves each item to its place: `order[k]` is where the item of place k is now. Follows the cycles of the
// permutation, so the list is never held twice.
template <typename Item> void putInPlaces(std::vector<Item>& items, const std::vector<int>& order)
{
    std::vector<bool> placed(items.size());
    for (size_t start = 0; start < items.size(); ++start) {
        if (placed[start])
            continue;
        Item held = std::move(items[start]);
        size_t place = start;
        for (;;) {
            placed[place] = true;
            const auto from = static_cast<size_t>(order[place]);
            if (from == start) {
                items[place] = std::move(held);
                break;
            }
            items[place] = std::move(items[from]);
            place = from;
        }
    }
}

} // namespace

QString escapeLikePattern(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar ch : text) {
        if (ch == u'\\' || ch == u'%' || ch == u'_')
            escaped.append(u'\\');
        escaped.append(ch);
    }
    return escaped;
}

JournalList::JournalList(db::Connection& connection) : connection_(&connection) {}

void JournalList::open()
{
    checkTable();
    readRecords();
}

void JournalList::openWithoutReading()
{
    checkTable();
    open_ = true;
    unread_ = true;
}

void JournalList::ensureRead() const
{
    if (!unread_)
        return;
    auto* self = const_cast<JournalList*>(this); // the records are read once, on first look
    self->unread_ = false;
    try {
        self->readRecords();
    } catch (const Error& error) {
        self->close();
        self->readFailure_ = error.message();
    }
}

void JournalList::checkTable()
{
    close();
    if (!connection_->isOpen() || !connection_->hasTable(kTable))
        throw Error(QStringLiteral("Brak listy czasopism ministerstwa (tabela \"%1\").").arg(kTable));

    const auto fields = connection_->tableFields(kTable);
    auto hasField = [&fields](const char* name) {
        return std::any_of(fields.begin(), fields.end(), [name](const db::FieldInfo& field) {
            return field.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
        });
    };
    hasAbbreviations_ = hasField("skrot");
    // A list installed by an update may lack them; such a list is matched by title only.
    hasIssn_ = hasField("issn") && hasField("eissn");
    // Read from the ministry's file: the second title and its ISSN pair.
    hasSecondTitles_ = hasField("czasopismo2") && hasField("issn2") && hasField("eissn2");

    // The list's order is the order every search below relies on.
    connection_->check(sqlite3_create_function_v2(connection_->handle(), "journal_order", 1,
                                                  SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &orderKeyFunction,
                                                  nullptr, nullptr, nullptr),
                       QStringLiteral("journal_order"));
}

void JournalList::readRecords()
{
    // Columns by place: the optional fields follow the four every list has, in this order.
    const QString sql = QStringLiteral("select rowid, czasopismo, punkty, rodzaj") +
                        (hasAbbreviations_ ? QStringLiteral(", skrot") : QString()) +
                        (hasIssn_ ? QStringLiteral(", issn, eissn") : QString()) +
                        (hasSecondTitles_ ? QStringLiteral(", czasopismo2, issn2, eissn2") : QString()) +
                        QStringLiteral(" from lista_ministerstwa order by rowid");
    // Read row by row from the engine: a whole result held first would double what the list takes in memory,
    // and filling fresh memory is a good part of reading the list.
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(connection_->prepare(sql), &sqlite3_finalize);
    const auto count = static_cast<size_t>(connection_->scalar(QStringLiteral("select count(*) from lista_ministerstwa")).toLongLong());
    records_.reserve(count);
    std::vector<QByteArray> keys;
    std::vector<bool> unnamed;
    keys.reserve(count);
    unnamed.reserve(count);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        records_.push_back(recordOf(statement.get()));
        unnamed.push_back(sqlite3_column_type(statement.get(), 1) == SQLITE_NULL);
        keys.push_back(orderKey(records_.back().name).toUtf8());
    }
    connection_->check(rc == SQLITE_DONE ? SQLITE_OK : rc, sql);
    putInPlaces(records_, listOrder(keys, unnamed));

    recordOfRowId_.reserve(static_cast<qsizetype>(records_.size()));
    for (size_t i = 0; i < records_.size(); ++i) {
        const Record& record = records_[i];
        const int index = static_cast<int>(i);
        recordOfRowId_.insert(record.rowId, index);
        // The first record in name order wins when an abbreviation is listed twice.
        if (!record.abbreviation.isEmpty()) {
            const QString key = record.abbreviation.toLower();
            if (!byAbbreviation_.contains(key))
                byAbbreviation_.insert(key, index);
        }
    }
    open_ = true;
    filter_.reset();
    rebuildView();
}

JournalList::Record JournalList::recordOf(sqlite3_stmt* row) const
{
    Record record;
    record.rowId = sqlite3_column_int64(row, 0);
    record.name = unicodeAt(row, 1);
    record.points = pointsText(db::columnValue(row, 2));
    record.part = integerAt(row, 3);
    int next = 4;
    if (hasAbbreviations_)
        record.abbreviation = unicodeAt(row, next++);
    if (hasIssn_) {
        record.issn = codepage::passThrough(unicodeAt(row, next++));
        record.eissn = codepage::passThrough(unicodeAt(row, next++));
    }
    if (hasSecondTitles_) {
        record.name2 = unicodeAt(row, next++);
        record.issn2 = codepage::passThrough(unicodeAt(row, next++));
        record.eissn2 = codepage::passThrough(unicodeAt(row, next++));
    }
    return record;
}

void JournalList::close()
{
    open_ = false;
    unread_ = false;
    readFailure_.clear();
    hasAbbreviations_ = false;
    hasIssn_ = false;
    hasSecondTitles_ = false;
    records_.clear();
    matcher_.reset();
    recordOfRowId_.clear();
    byAbbreviation_.clear();
    filter_.reset();
    visible_.clear();
    current_ = -1;
}

void JournalList::closeFreeingInBackground()
{
    heap::FreeInBackground(std::make_tuple(std::move(records_), std::move(matcher_), std::move(recordOfRowId_),
                                           std::move(byAbbreviation_), std::move(visible_)));
    close();
}

void JournalList::requireOpen() const
{
    ensureRead();
    if (!readFailure_.isEmpty())
        throw Error(readFailure_);
    if (!open_)
        throw Error(QStringLiteral("Lista czasopism ministerstwa nie jest otwarta."));
}

void JournalList::rebuildView()
{
    visible_.clear();
    visible_.reserve(records_.size());
    for (size_t i = 0; i < records_.size(); ++i) {
        if (!filter_ || records_[i].part == static_cast<int>(*filter_))
            visible_.push_back(static_cast<int>(i));
    }
    current_ = visible_.empty() ? -1 : 0;
}

int JournalList::totalCount() const
{
    ensureRead();
    return static_cast<int>(records_.size());
}

int JournalList::count() const
{
    ensureRead();
    return static_cast<int>(visible_.size());
}

int JournalList::current() const
{
    ensureRead();
    return current_;
}

int JournalList::partCount(ListPart part) const
{
    ensureRead();
    return static_cast<int>(std::count_if(records_.begin(), records_.end(),
                                          [part](const Record& r) { return r.part == static_cast<int>(part); }));
}

void JournalList::setFilter(std::optional<ListPart> part)
{
    ensureRead();
    filter_ = part;
    rebuildView();
}

Journal JournalList::journal(int index) const
{
    ensureRead();
    const Record& record = records_.at(static_cast<size_t>(visible_.at(static_cast<size_t>(index))));
    return {record.name, record.points};
}

QString JournalList::abbreviation(int index) const
{
    ensureRead();
    return records_.at(static_cast<size_t>(visible_.at(static_cast<size_t>(index)))).abbreviation;
}

int JournalList::part(int index) const
{
    ensureRead();
    return records_.at(static_cast<size_t>(visible_.at(static_cast<size_t>(index)))).part;
}

void JournalList::setCurrent(int index)
{
    if (index >= 0 && index < count())
        current_ = index;
}

std::optional<Journal> JournalList::currentJournal() const
{
    ensureRead();
    if (current_ < 0 || current_ >= count())
        return std::nullopt;
    return journal(current_);
}

int JournalList::viewIndexOfRecord(int record) const
{
    ensureRead();
    // The view keeps the list's order, so the record is found by bisection.
    const auto it = std::lower_bound(visible_.begin(), visible_.end(), record);
    return it != visible_.end() && *it == record ? static_cast<int>(it - visible_.begin()) : -1;
}

const JournalMatcher& JournalList::matcher()
{
    return *sharedMatcher();
}

std::shared_ptr<const JournalMatcher> JournalList::sharedMatcher()
{
    requireOpen();
    if (!matcher_) {
        std::vector<ListedJournal> journals;
        journals.reserve(records_.size());
        for (const Record& record : records_)
            journals.push_back({record.name, record.points, record.part, record.issn, record.eissn, record.name2,
                                record.issn2, record.eissn2});
        matcher_ = std::make_shared<JournalMatcher>(std::move(journals));
    }
    return matcher_;
}

Journal JournalList::journalOfRecord(int record) const
{
    ensureRead();
    const Record& r = records_.at(static_cast<size_t>(record));
    return {r.name, r.points};
}

JournalMatch JournalList::match(const QString& title, const QString& issn)
{
    requireOpen();
    if (filter_)
        setFilter(std::nullopt);
    return matcher().match(title, issn);
}

std::optional<Journal> JournalList::identify(const QString& title, const QString& issn)
{
    const JournalMatch found = match(title, issn);
    if (!found.identified())
        return std::nullopt;
    return journalOfRecord(found.journals.front());
}

std::optional<Journal> JournalList::identifyInDialog(const QString& title)
{
    requireOpen();
    setFilter(std::nullopt);
    // An empty title would equal every empty abbreviation.
    if (isBlank(title))
        return std::nullopt;
    int record = -1;
    if (const JournalMatch found = matcher().match(title); found.identified()) {
        record = found.journals.front();
    } else if (hasAbbreviations_) {
        // Abbreviations are not in name order: look for the whole abbreviation itself rather than
        // for the first record whose abbreviation merely begins with the text.
        const auto it = byAbbreviation_.constFind(title.toLower());
        if (it == byAbbreviation_.constEnd())
            return std::nullopt;
        record = *it;
    } else {
        return std::nullopt;
    }
    current_ = viewIndexOfRecord(record);
    return journalOfRecord(record);
}

bool JournalList::runSearch(const QString& pattern, int after)
{
    requireOpen();
    QString sql = QStringLiteral("select rowid from lista_ministerstwa where lcase(czasopismo) like ? escape '\\'");
    QVariantList parameters{pattern};
    if (filter_) {
        sql += QStringLiteral(" and rodzaj = ?");
        parameters.append(static_cast<int>(*filter_));
    }
    if (after >= 0) {
        const Record& from = records_[static_cast<size_t>(after)];
        const QString key = orderKey(from.name);
        sql += QStringLiteral(" and (journal_order(czasopismo) > ? or (journal_order(czasopismo) = ? and rowid > ?))");
        parameters << key << key << from.rowId;
    }
    sql += QStringLiteral(" order by journal_order(czasopismo), rowid limit 1");

    db::Query query(*connection_, sql, parameters);
    if (query.eof())
        return false;
    const auto record = recordOfRowId_.constFind(query.value(0).toLongLong());
    if (record == recordOfRowId_.constEnd())
        return false; // the table changed since it was read
    const int index = viewIndexOfRecord(*record);
    if (index < 0)
        return false;
    current_ = index;
    return true;
}

bool JournalList::findByBeginning(const QString& text)
{
    return runSearch(escapeLikePattern(text.toLower()) + u'%', -1);
}

bool JournalList::findFragment(const QString& fragment)
{
    if (isBlank(fragment))
        return false;
    return runSearch(u'%' + escapeLikePattern(fragment.toLower()) + u'%', -1);
}

bool JournalList::findNext(const QString& fragment)
{
    ensureRead();
    if (current_ < 0 || current_ >= count() || isBlank(fragment))
        return false;
    return runSearch(u'%' + escapeLikePattern(fragment.toLower()) + u'%', visible_[static_cast<size_t>(current_)]);
}

QString pointsCell(const QString& points)
{
    // The list may give a dot where the program writes a comma.
    return numbers::FormatAmount(numbers::DecimalOrZero(QString(points).replace(u'.', u',')));
}

QString issnCell(const QString& text)
{
    const QString key = issnKey(text);
    return key.isEmpty() ? QString() : key.left(4) + u'-' + key.mid(4);
}

namespace {

// The listed journal a row takes: its name and points, the ISSN that named it, and the list's
// title where none was typed.
void applyMatch(JournalList& list, QStringList& row, const JournalMatch& match, const QString& issn)
{
    while (row.size() <= kIssnColumn)
        row.append(QString());
    if (!match.identified()) {
        row[kListedJournalColumn] = QString();
        row[kPointsColumn] = pointsCell(QString());
        return;
    }
    const Journal journal = list.journalOfRecord(match.journals.front());
    row[kListedJournalColumn] = journal.name;
    row[kPointsColumn] = pointsCell(journal.points);
    if (match.kind == MatchKind::Issn) {
        row[kIssnColumn] = issnCell(issn);
        if (isBlank(row[kJournalColumn]))
            row[kJournalColumn] = journal.name;
    }
}

} // namespace

void identifyRow(JournalList& list, QStringList& row, const QString& issn)
{
    applyMatch(list, row, list.match(row.value(kJournalColumn), issn), issn);
}

bool awaitsJournal(const QStringList& row)
{
    return isBlank(row.value(kListedJournalColumn))
        && (!isBlank(row.value(kJournalColumn)) || !issnKey(row.value(kIssnColumn)).isEmpty());
}

QString titleGroupKey(const QString& typedTitle)
{
    return typedTitle.trimmed().toLower();
}

namespace {

// Calls work(i) for every i below `count`, spread over the cores; the matcher's index of trigrams is made first,
// once, before the workers share it.
template <typename Work>
void onEveryCore(const JournalMatcher& matcher, size_t count, Work work)
{
    if (count == 0)
        return;
    matcher.prepareSuggestions();
    auto stride = [&](size_t first, size_t step) {
        for (size_t i = first; i < count; i += step)
            work(i);
    };
    // A few titles are not worth a thread.
    const size_t workers = count < 64 ? 1 : std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<std::thread> threads;
    for (size_t w = 1; w < workers; ++w)
        threads.emplace_back([&stride, w, workers] {
            heap::PrepareThreadForShortRun();
            stride(w, workers);
        });
    stride(0, workers);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace

std::vector<std::vector<Suggestion>> suggestAll(const JournalMatcher& matcher, const QStringList& titles)
{
    std::vector<std::vector<Suggestion>> suggestions(static_cast<size_t>(titles.size()));
    onEveryCore(matcher, suggestions.size(), [&](size_t i) {
        suggestions[i] = matcher.suggest(titles.at(static_cast<qsizetype>(i)));
    });
    return suggestions;
}

std::vector<UnmatchedTitle> groupUnmatchedTitles(const std::vector<QStringList>& rows, int from,
                                                 const QSet<QString>& absent)
{
    QHash<QString, int> indexOfKey;
    std::vector<UnmatchedTitle> titles;
    QSet<QString> wanted; // keys that occur at or after `from`
    for (size_t r = 0; r < rows.size(); ++r) {
        const QString typed = rows[r].value(kJournalColumn).trimmed();
        if (!awaitsJournal(rows[r]) || typed.isEmpty()) // a row known only by its ISSN has no title to offer
            continue;
        const QString key = titleGroupKey(typed);
        if (absent.contains(key))
            continue;
        if (static_cast<int>(r) >= from)
            wanted.insert(key);
        auto it = indexOfKey.constFind(key);
        if (it == indexOfKey.constEnd()) {
            it = indexOfKey.insert(key, static_cast<int>(titles.size()));
            titles.push_back({typed, key, 0, false, {}});
        }
        ++titles[static_cast<size_t>(*it)].rows;
    }
    if (from > 0)
        titles.erase(std::remove_if(titles.begin(), titles.end(),
                                    [&wanted](const UnmatchedTitle& t) { return !wanted.contains(t.key); }),
                     titles.end());

    const std::vector<int> polish =
        CollatedOrder(titles.size(), [&titles](size_t i) -> const QString& { return titles[i].title; });
    std::vector<int> rank(titles.size());
    for (size_t i = 0; i < polish.size(); ++i)
        rank[static_cast<size_t>(polish[i])] = static_cast<int>(i);
    std::vector<int> order(titles.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const UnmatchedTitle& x = titles[static_cast<size_t>(a)];
        const UnmatchedTitle& y = titles[static_cast<size_t>(b)];
        return x.rows != y.rows ? x.rows > y.rows : rank[static_cast<size_t>(a)] < rank[static_cast<size_t>(b)];
    });
    std::vector<UnmatchedTitle> sorted;
    sorted.reserve(titles.size());
    for (const int i : order)
        sorted.push_back(std::move(titles[static_cast<size_t>(i)]));
    return sorted;
}

void suggestForTitles(const JournalMatcher& matcher, std::vector<UnmatchedTitle>& titles)
{
    onEveryCore(matcher, titles.size(), [&](size_t i) {
        UnmatchedTitle& title = titles[i];
        title.suggestions = matcher.suggest(title.title);
        title.ambiguous = matcher.match(title.title).kind == MatchKind::Ambiguous;
    });
}

std::vector<UnmatchedTitle> unmatchedTitles(const JournalMatcher& matcher, const std::vector<QStringList>& rows,
                                            int from, const QSet<QString>& absent)
{
    std::vector<UnmatchedTitle> titles = groupUnmatchedTitles(rows, from, absent);
    suggestForTitles(matcher, titles);
    return titles;
}

int assignJournalToTitle(std::vector<QStringList>& rows, const QString& key, const Journal& journal)
{
    int assigned = 0;
    for (QStringList& row : rows) {
        if (!awaitsJournal(row) || titleGroupKey(row.value(kJournalColumn)) != key)
            continue;
        while (row.size() <= kPointsColumn)
            row.append(QString());
        row[kListedJournalColumn] = journal.name;
        row[kPointsColumn] = pointsCell(journal.points);
        ++assigned;
    }
    return assigned;
}

int assignJournalToTitle(ListGrid& grid, const QString& key, const Journal& journal)
{
    int assigned = 0;
    for (int r = 0; r < grid.rowCount(); ++r) {
        const QStringList& row = grid.row(r);
        if (!awaitsJournal(row) || titleGroupKey(row.value(kJournalColumn)) != key)
            continue;
        grid.setCell(kListedJournalColumn, r, journal.name);
        grid.setCell(kPointsColumn, r, pointsCell(journal.points));
        ++assigned;
    }
    return assigned;
}

int identifyAwaitingRows(JournalList& list, ListGrid& grid)
{
    int identified = 0;
    for (int r = 0; r < grid.rowCount(); ++r) {
        if (!awaitsJournal(grid.row(r)))
            continue;
        QStringList row = grid.row(r);
        const QString issn = row.value(kIssnColumn);
        const JournalMatch match = list.match(row.value(kJournalColumn), issn);
        if (!match.identified())
            continue;
        applyMatch(list, row, match, issn);
        for (int c = 0; c < row.size() && c < grid.columnCount(); ++c)
            if (row[c] != grid.row(r).value(c))
                grid.setCell(c, r, row[c]);
        ++identified;
    }
    return identified;
}

int identifyAwaitingRows(JournalList& list, std::vector<QStringList>& rows)
{
    int identified = 0;
    for (QStringList& row : rows) {
        if (!awaitsJournal(row))
            continue;
        const QString issn = row.value(kIssnColumn);
        const JournalMatch match = list.match(row.value(kJournalColumn), issn);
        if (!match.identified())
            continue;
        applyMatch(list, row, match, issn);
        ++identified;
    }
    return identified;
}

namespace {

// The journal of the list in use a row that already has one stands for: by its ISSN, its typed
// title, then the listed title it took from an earlier edition.
JournalMatch matchAgain(JournalList& list, const QStringList& row)
{
    const JournalMatch byTyped = list.match(row.value(kJournalColumn), row.value(kIssnColumn));
    if (byTyped.identified())
        return byTyped;
    return list.match(row.value(kListedJournalColumn));
}

} // namespace

ListCheck checkRowsAgainstList(JournalList& list, std::vector<QStringList>& rows)
{
    ListCheck check;
    for (QStringList& row : rows) {
        if (awaitsJournal(row)) {
            const QString issn = row.value(kIssnColumn);
            const JournalMatch match = list.match(row.value(kJournalColumn), issn);
            if (match.identified()) {
                applyMatch(list, row, match, issn);
                ++check.identified;
            }
            continue;
        }
        if (isBlank(row.value(kListedJournalColumn)))
            continue;
        const JournalMatch match = matchAgain(list, row);
        if (!match.identified())
            continue;
        const double before = numbers::DecimalOrZero(row.value(kPointsColumn));
        const Journal journal = list.journalOfRecord(match.journals.front());
        const QString points = pointsCell(journal.points);
        const double after = numbers::DecimalOrZero(points);
        row[kListedJournalColumn] = journal.name;
        row[kPointsColumn] = points;
        if (after != before) {
            ++check.pointsChanged;
            check.pointsDifference += after - before;
        }
    }
    return check;
}

QString pointsChangeLine(const ListCheck& check)
{
    const double sum = check.pointsDifference;
    const QString sign = sum > 0 ? QStringLiteral("+") : sum < 0 ? QStringLiteral("-") : QString();
    return QStringLiteral("zmieniono punkty: %1 wierszy, razem %2%3")
        .arg(check.pointsChanged)
        .arg(sign, numbers::FormatAmount(std::abs(sum)));
}

bool canIdentifyGroup(const ListGrid& grid)
{
    return !grid.isEmpty();
}

void assignJournal(ListGrid& grid, int first, int last, const Journal& journal)
{
    first = std::max(first, 0);
    last = std::min(last, grid.rowCount() - 1);
    for (int r = first; r <= last; ++r) {
        grid.setCell(kListedJournalColumn, r, journal.name);
        grid.setCell(kPointsColumn, r, pointsCell(journal.points));
    }
}

} // namespace vestrum::lists
