#include "lists/journal_identification.h"

#include "base/error.h"
#include "storage/engine.h"
#include "lists/list_grid.h"

#include <QVariant>
#include <algorithm>
#include <sqlite3.h>

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
    close();
    if (!connection_->isOpen() || !connection_->hasTable(kTable))
        throw Error(QStringLiteral("Brak listy czasopism ministerstwa (tabela \"%1\").").arg(kTable));

    const auto fields = connection_->tableFields(kTable);
    hasAbbreviations_ = std::any_of(fields.begin(), fields.end(), [](const db::FieldInfo& field) {
        return field.name.compare(QStringLiteral("skrot"), Qt::CaseInsensitive) == 0;
    });

    // The list's order is the order every search below relies on.
    connection_->check(sqlite3_create_function_v2(connection_->handle(), "journal_order", 1,
                                                  SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &orderKeyFunction,
                                                  nullptr, nullptr, nullptr),
                       QStringLiteral("journal_order"));
    const QString sql = QStringLiteral("select rowid as journal_row, czasopismo, punkty, rodzaj") +
                        (hasAbbreviations_ ? QStringLiteral(", skrot") : QString()) +
                        QStringLiteral(" from lista_ministerstwa order by journal_order(czasopismo), rowid");
    db::Query query(*connection_, sql);

    records_.reserve(static_cast<size_t>(query.recordCount()));
    byName_.reserve(query.recordCount());
    recordOfRowId_.reserve(query.recordCount());
    for (query.first(); !query.eof(); query.next()) {
        Record record;
        record.rowId = query.value(0).toLongLong();
        record.name = query.asUnicode(QStringLiteral("czasopismo"));
        record.points = pointsText(query.value(QStringLiteral("punkty")));
        record.part = query.asInteger(QStringLiteral("rodzaj"));
        if (hasAbbreviations_)
            record.abbreviation = query.asUnicode(QStringLiteral("skrot"));

        const int index = static_cast<int>(records_.size());
        recordOfRowId_.insert(record.rowId, index);
        // The first record in name order wins when a name (or an abbreviation) is listed twice.
        if (!record.name.isEmpty()) {
            const QString key = record.name.toLower();
            if (!byName_.contains(key))
                byName_.insert(key, index);
        }
        if (!record.abbreviation.isEmpty()) {
            const QString key = record.abbreviation.toLower();
            if (!byAbbreviation_.contains(key))
                byAbbreviation_.insert(key, index);
        }
        records_.push_back(std::move(record));
    }
    open_ = true;
    filter_.reset();
    rebuildView();
}

void JournalList::close()
{
    open_ = false;
    hasAbbreviations_ = false;
    records_.clear();
    recordOfRowId_.clear();
    byName_.clear();
    byAbbreviation_.clear();
    filter_.reset();
    visible_.clear();
    current_ = -1;
}

void JournalList::requireOpen() const
{
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

int JournalList::partCount(ListPart part) const
{
    return static_cast<int>(std::count_if(records_.begin(), records_.end(),
                                          [part](const Record& r) { return r.part == static_cast<int>(part); }));
}

void JournalList::setFilter(std::optional<ListPart> part)
{
    filter_ = part;
    rebuildView();
}

Journal JournalList::journal(int index) const
{
    const Record& record = records_.at(static_cast<size_t>(visible_.at(static_cast<size_t>(index))));
    return {record.name, record.points};
}

QString JournalList::abbreviation(int index) const
{
    return records_.at(static_cast<size_t>(visible_.at(static_cast<size_t>(index)))).abbreviation;
}

int JournalList::part(int index) const
{
    return records_.at(static_cast<size_t>(visible_.at(static_cast<size_t>(index)))).part;
}

void JournalList::setCurrent(int index)
{
    if (index >= 0 && index < count())
        current_ = index;
}

std::optional<Journal> JournalList::currentJournal() const
{
    if (current_ < 0 || current_ >= count())
        return std::nullopt;
    return journal(current_);
}

int JournalList::viewIndexOfRecord(int record) const
{
    // The view keeps the list's order, so the record is found by bisection.
    const auto it = std::lower_bound(visible_.begin(), visible_.end(), record);
    return it != visible_.end() && *it == record ? static_cast<int>(it - visible_.begin()) : -1;
}

std::optional<Journal> JournalList::identify(const QString& title)
{
    requireOpen();
    if (filter_)
        setFilter(std::nullopt);
    if (title.isEmpty())
        return std::nullopt;
    const auto it = byName_.constFind(title.toLower());
    if (it == byName_.constEnd())
        return std::nullopt;
    const Record& record = records_[static_cast<size_t>(*it)];
    return Journal{record.name, record.points};
}

std::optional<Journal> JournalList::identifyInDialog(const QString& title)
{
    requireOpen();
    setFilter(std::nullopt);
    // An empty title would "begin" every name and equal every empty abbreviation.
    if (isBlank(title))
        return std::nullopt;
    const QString wanted = title.toLower();
    // In name order the whole name comes before every longer name beginning with it, so the
    // first record beginning with the title is identified exactly when some name equals it.
    auto it = byName_.constFind(wanted);
    if (it == byName_.constEnd()) {
        if (!hasAbbreviations_)
            return std::nullopt;
        // Abbreviations are not in name order: look for the whole abbreviation itself rather than
        // for the first record whose abbreviation merely begins with the text.
        it = byAbbreviation_.constFind(wanted);
        if (it == byAbbreviation_.constEnd())
            return std::nullopt;
    }
    current_ = viewIndexOfRecord(*it);
    const Record& record = records_[static_cast<size_t>(*it)];
    return Journal{record.name, record.points};
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
    if (current_ < 0 || current_ >= count() || isBlank(fragment))
        return false;
    return runSearch(u'%' + escapeLikePattern(fragment.toLower()) + u'%', visible_[static_cast<size_t>(current_)]);
}

void identifyRow(JournalList& list, QStringList& row)
{
    while (row.size() <= kPointsColumn)
        row.append(QString());
    const auto journal = list.identify(row.at(kJournalColumn));
    row[kListedJournalColumn] = journal ? journal->name : QString();
    row[kPointsColumn] = journal ? journal->points : QStringLiteral("0");
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
        grid.setCell(kPointsColumn, r, journal.points);
    }
}

} // namespace vestrum::lists
