#include "datafile/merge.h"

#include "base/codepage.h"
#include "base/error.h"
#include "datafile/survey_file.h"
#include "archive/staged_files.h"
#include "archive/zlb_archive.h"
#include "lists/list_catalogue.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace vestrum::merge {
namespace {

const QString kProgressCaption = QStringLiteral("Łączenie danych");
const QString kMergeFailed =
    QStringLiteral("Uwaga! Łączenie danych nie powiodło się - dane w systemie pozostały bez zmian.");

// ------------------------------------------------------------------------------------------------------------
// Rows

// A field of the working table as the duplicate test and the copy use it.
struct ComparedField {
    QString name;
    db::FieldType type;
    int targetColumn;
    int sourceColumn; // -1: the source table has no such field, so its value counts as empty
};

bool isOwnNumbering(const db::FieldInfo& field)
{
    return field.type == db::FieldType::AutoNumber || field.name.compare(QStringLiteral("id"), Qt::CaseInsensitive) == 0;
}

std::vector<ComparedField> comparedFields(const db::RowSet& target, const db::RowSet& source)
{
    std::vector<ComparedField> fields;
    const std::vector<db::FieldInfo>& all = target.fields();
    for (size_t i = 0; i < all.size(); ++i) {
        const db::FieldInfo& f = all[i];
        if (!isOwnNumbering(f))
            fields.push_back({f.name, f.type, static_cast<int>(i), source.fieldIndex(f.name)});
    }
    return fields;
}

bool isTextType(db::FieldType type)
{
    return type != db::FieldType::Integer && type != db::FieldType::Number && type != db::FieldType::AutoNumber;
}

bool isCodePageType(db::FieldType type)
{
    return type == db::FieldType::CodePageText || type == db::FieldType::CodePageLongText;
}

// One field's part of a row's key. Texts fold their case (Polish letters as well) and read NULL as ""; a
// code-page field first takes the text the field would store. Numbers compare by value, NULL apart from 0.
QString keyPart(db::FieldType type, const QVariant& value)
{
    if (isTextType(type)) {
        if (value.isNull())
            return QString();
        const QString text = value.toString();
        return (isCodePageType(type) ? codepage::passThrough(text) : text).toCaseFolded();
    }
    if (value.isNull())
        return QStringLiteral("\x01");
    bool ok = false;
    double number = value.toDouble(&ok);
    if (!ok)
        return QStringLiteral("\x02") + value.toString().toCaseFolded();
    if (number == 0.0)
        number = 0.0; // -0 and 0 are the same amount
    return QString::number(number, 'g', 17);
}

// The parts are joined with their lengths, so no text can pass for two fields.
void appendPart(QString& key, const QString& part)
{
    key += QString::number(part.size());
    key += u':';
    key += part;
}

QString targetRowKey(const db::RowSet& target, const std::vector<ComparedField>& fields)
{
    QString key;
    for (const ComparedField& f : fields)
        appendPart(key, keyPart(f.type, target.value(f.targetColumn)));
    return key;
}

QString sourceRowKey(const db::RowSet& source, const std::vector<ComparedField>& fields)
{
    QString key;
    for (const ComparedField& f : fields)
        appendPart(key, keyPart(f.type, f.sourceColumn >= 0 ? source.value(f.sourceColumn) : QVariant()));
    return key;
}

void appendSourceRow(db::Table& target, const db::RowSet& source, const std::vector<ComparedField>& fields)
{
    target.append();
    for (const ComparedField& f : fields) {
        if (f.sourceColumn < 0)
            continue;
        const QVariant value = source.value(f.sourceColumn);
        if (value.isNull())
            continue;
        if (isTextType(f.type))
            target.setUnicode(f.name, value.toString());
        else
            target.setValue(f.name, value);
    }
    target.post();
}

// ------------------------------------------------------------------------------------------------------------
// Numbers

bool isNumberType(db::FieldType type)
{
    return type == db::FieldType::Integer || type == db::FieldType::Number;
}

// NULL, or a text of blanks only: nothing to add, as an empty answer.
bool isEmptyNumber(const QVariant& value)
{
    return value.isNull() || (value.typeId() == QMetaType::QString && value.toString().trimmed().isEmpty());
}

// The number a stored value stands for: a whole or decimal number as the engine holds it, or a text that is
// nothing but one (a field the other file declares as text). Empty for letters, a blob or an infinity.
std::optional<double> numberOf(const QVariant& value)
{
    bool ok = false;
    double number = 0.0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return static_cast<double>(value.toLongLong());
    case QMetaType::Double:
        number = value.toDouble();
        ok = true;
        break;
    case QMetaType::QString:
        number = value.toString().trimmed().toDouble(&ok);
        break;
    default:
        break;
    }
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// What a number field holds once `theirs` is added to `mine` (an empty side counts as zero), or why it cannot:
// `theirs` is not a number, or a whole-number sum leaves the range the program reads and shows (a wider value
// would be stored and then shown and saved as 0).
struct NumberSum {
    QVariant value;
    QString fault; // the technical detail; empty when the sum is fine
};

NumberSum addNumbers(db::FieldType type, const QVariant& mine, const QVariant& theirs)
{
    const std::optional<double> added = numberOf(theirs);
    if (!added) {
        QString shown = theirs.toString();
        if (shown.size() > 40)
            shown = shown.left(40) + QStringLiteral("...");
        return {{}, QStringLiteral("wartość \"%1\" nie jest liczbą").arg(shown)};
    }
    // Both sides are whole numbers far below 2^53 whenever the sum fits, so the double sum is exact then.
    const double sum = (isEmptyNumber(mine) ? 0.0 : numberOf(mine).value_or(0.0)) + *added;
    if (type == db::FieldType::Integer) {
        if (sum < std::numeric_limits<int>::min() || sum > std::numeric_limits<int>::max())
            return {{}, QStringLiteral("wynik %1 wykracza poza zakres liczb całkowitych od %2 do %3")
                            .arg(QString::number(sum, 'f', 0))
                            .arg(std::numeric_limits<int>::min())
                            .arg(std::numeric_limits<int>::max())};
        return {QVariant::fromValue<qlonglong>(std::llround(sum)), {}};
    }
    if (!std::isfinite(sum))
        return {{}, QStringLiteral("wynik nie jest skończoną liczbą")};
    return {sum, {}};
}

QString withDetail(const QString& message, const QString& fault)
{
    return message + QStringLiteral("\nSzczegóły: ") + fault + u'.';
}

QString quotedName(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Every number of the source rows that MergeRows would copy into a number field must be a number the field
// can hold; rows are counted from 1 in the source's order.
void requireRowNumbers(db::Connection& working, db::Connection& source, const QString& table, const QString& file)
{
    if (!working.hasTable(table) || !source.hasTable(table))
        return;
    const std::vector<db::FieldInfo> theirs = source.tableFields(table);
    std::vector<db::FieldInfo> numbers;
    QStringList columns;
    for (const db::FieldInfo& f : working.tableFields(table)) {
        const bool inSource = std::any_of(theirs.begin(), theirs.end(), [&f](const db::FieldInfo& t) {
            return t.name.compare(f.name, Qt::CaseInsensitive) == 0;
        });
        if (isNumberType(f.type) && !isOwnNumbering(f) && inSource) {
            numbers.push_back(f);
            columns << quotedName(f.name);
        }
    }
    if (numbers.empty())
        return;
    db::Query rows(source, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columns.join(u','), quotedName(table)));
    for (rows.first(); !rows.eof(); rows.next()) {
        for (size_t c = 0; c < numbers.size(); ++c) {
            const QVariant value = rows.value(static_cast<int>(c));
            if (isEmptyNumber(value))
                continue;
            const NumberSum sum = addNumbers(numbers[c].type, QVariant(), value);
            if (!sum.fault.isEmpty())
                throw Error(withDetail(NotMergeableMessage(table, numbers[c].name, rows.position() + 1, file), sum.fault));
        }
    }
}

// Every number field of the group must take the sum MergeFieldGroup would store; the single record is row 1.
void requireGroupNumbers(db::Connection& working, db::Connection& source, int group, const QString& file)
{
    const QString details = detailsTable();
    if (!working.hasTable(details) || !source.hasTable(details))
        return;
    db::Table mine(working, details);
    db::Table theirs(source, details);
    mine.first();
    theirs.first();
    if (theirs.eof())
        return;
    for (const QString& name : FieldGroup(group)) {
        if (!mine.hasField(name) || !theirs.hasField(name) || !isNumberType(mine.field(name).type))
            continue;
        const QVariant added = theirs.value(name);
        if (isEmptyNumber(added))
            continue;
        const NumberSum sum = addNumbers(mine.field(name).type, mine.eof() ? QVariant() : mine.value(name), added);
        if (!sum.fault.isEmpty())
            throw Error(withDetail(NotMergeableMessage(details, name, 1, file), sum.fault));
    }
}

// Refuses the merge before anything changes when a number of the other file cannot be merged into a ticked item.
void requireMergeableNumbers(db::Connection& working, db::Connection& source, const ItemChoice& items,
                             const QString& file)
{
    const std::vector<MergeItem>& table = MergeItems();
    for (size_t i = 0; i < table.size(); ++i) {
        if (!items[i])
            continue;
        for (const MergeStep& step : table[i].steps) {
            if (step.kind == MergeStep::Kind::Rows)
                requireRowNumbers(working, source, step.table, file);
            else
                requireGroupNumbers(working, source, step.group, file);
        }
    }
}

// ------------------------------------------------------------------------------------------------------------
// Field groups

bool isEmptyValue(const QVariant& value)
{
    return value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

void addField(db::Table& target, const db::FieldInfo& field, const QVariant& theirs)
{
    const QVariant mine = target.value(field.name);
    if (field.isText()) {
        target.setUnicode(field.name, (mine.isNull() ? QString() : mine.toString()) + theirs.toString());
        return;
    }
    if (isEmptyNumber(theirs))
        return;
    // MergeDatabases has refused every sum that fails here before it changed anything.
    const NumberSum sum = addNumbers(field.type, mine, theirs);
    if (!sum.fault.isEmpty())
        throw Error(withDetail(QStringLiteral("Łączenie danych nie jest możliwe: tabela %1, pole %2.")
                                   .arg(detailsTable(), field.name),
                               sum.fault));
    target.setValue(field.name, sum.value);
}

// ------------------------------------------------------------------------------------------------------------
// The other data file

QString readVersion(db::Connection& connection)
{
    if (!connection.hasTable(QStringLiteral("wersja")))
        return QString();
    const QVariant value = connection.scalar(QStringLiteral("select * from wersja"));
    return value.isNull() ? QString() : value.toString();
}

// Unpacks the one member the merge reads into `scratch` and returns its path; other members never reach the
// disk. An archive that cannot be read fails with the archive's own message.
QString unpackOtherFile(const QString& path, const QTemporaryDir& scratch)
{
    if (!scratch.isValid())
        throw Error(QStringLiteral("Nie można utworzyć katalogu tymczasowego."));
    return UnpackSurvey(path, scratch.path(), NotCurrentDataFileMessage());
}

void openOtherSurvey(db::Connection& other, const QString& database)
{
    try {
        other.open(database, schema::databasePassword());
        // A private copy, and still only read: nothing in the merge may write to it.
        other.execute(QStringLiteral("PRAGMA query_only = 1"));
        // A damaged file is refused before any of it is read ("may be damaged", the message says).
        if (other.scalar(QStringLiteral("PRAGMA quick_check(1)")).toString() != QLatin1String("ok"))
            throw Error(NotCurrentDataFileMessage());
    } catch (const Error&) {
        throw Error(NotCurrentDataFileMessage());
    }
}

void requireComparableVersion(db::Connection& working, db::Connection& other)
{
    std::optional<int> theirs;
    try {
        theirs = VersionValue(readVersion(other));
    } catch (const Error&) {
        theirs.reset();
    }
    const int ours = VersionValue(readVersion(working)).value_or(0);
    if (!theirs || *theirs < ours)
        throw Error(OtherVersionMessage());
}

} // namespace

ItemChoice NoItems()
{
    ItemChoice items;
    items.fill(false);
    return items;
}

ItemChoice AllItems()
{
    ItemChoice items;
    items.fill(true);
    return items;
}

QString NoFileChosenMessage()
{
    return QStringLiteral("Dane nie mogą zostać wczytane - nie wskazano skompresowanego zbioru z danymi lub zbiór "
                          "nie istnieje.");
}

QString NotCurrentDataFileMessage()
{
    return QStringLiteral(
        "Uwaga!\nWczytywany plik danych nie jest prwidłowym plikiem danych tej wersji programu (może być uszkodzony "
        "lub pochodzić z wcześniejszej jego wersji) - dane nie mogą zostać połączone.\nJeżeli plik pochodzi z "
        "wcześniejszej wersji programu należy:\n - do innej lokalizacji danych wczytać dane, które mają zostać "
        "połączone,\n - sprawdzić poprawność wczystkich wczytanych danych,\n - zapisać te dane jako plik dla Marvo,\n"
        " - wykonać łączenie.");
}

QString OtherVersionMessage()
{
    return QStringLiteral(
        "Uwaga!\nWczytywany plik danych ma inną wersję niż aktualnie używany - dane nie mogą zostać połączone.\nAby "
        "dokonać połączenia należy:\n - do innej lokalizacji danych wczytać dane, które mają zostać połączone,\n - "
        "zapisać te dane jako plik dla Marvo,\n - wykonać łączenie.");
}

std::optional<int> VersionValue(const QString& text)
{
    const QStringList parts = text.trimmed().split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    static const int weights[] = {1000, 100, 10, 1};
    qint64 value = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed();
        const bool digits = !part.isEmpty() && std::all_of(part.begin(), part.end(), [](QChar c) {
            return c >= u'0' && c <= u'9';
        });
        bool ok = false;
        const int number = part.toInt(&ok);
        if (!digits || !ok)
            return std::nullopt;
        value += qint64(number) * weights[i];
    }
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

QString NotMergeableMessage(const QString& table, const QString& field, qint64 row, const QString& file)
{
    return QStringLiteral("Łączenie danych nie jest możliwe: tabela %1, pole %2, wiersz %3 pliku %4.")
        .arg(table, field)
        .arg(row)
        .arg(QDir::toNativeSeparators(file));
}

// The survey's publications and those the merge added so far, by the duplicate rule.
struct PublicationCheck {
    lists::PublicationIndex index;
    std::map<int, int> rowsOf; // by kind: the rows its list holds so far
    DuplicateHandling& handling;

    PublicationCheck(db::Connection& working, DuplicateHandling& handling)
        : handling(handling)
    {
        for (const auto& [kind, rows] : lists::ReadPublicationLists(working)) {
            int r = 0;
            for (const QStringList& row : rows)
                index.add({ kind, r++ }, row);
            const bool placeholderOnly = rows.size() == 1
                && std::all_of(rows[0].begin(), rows[0].end(), [](const QString& c) { return c.trimmed().isEmpty(); });
            rowsOf[kind] = placeholderOnly ? 0 : r;
        }
    }

    // The publication list a row of `table` belongs to, or -1.
    static int kindOf(const QString& table, const db::Table& row)
    {
        for (int kind : { 3, 4, 5, 6, 8, 9, 10, 11 }) {
            const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
            if (info.table == table && row.hasField(info.discriminatorField)
                && row.value(info.discriminatorField).toInt() == info.discriminator.toInt())
                return kind;
        }
        return -1;
    }

    // Whether the source row about to be added stays out.
    bool leavesOut(const QString& table, const db::Table& from)
    {
        const int kind = kindOf(table, from);
        if (kind < 0)
            return false;
        const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
        QStringList cells;
        for (const lists::ListColumn& column : info.columns)
            cells << (from.hasField(column.field) ? from.asString(column.field) : QString());
        const lists::PublicationPlace place { kind, rowsOf[kind] };
        if (const auto earlier = index.add(place, cells)) {
            const lists::ProbableDuplicate duplicate = lists::DuplicateOf(place, *earlier, cells);
            handling.found.push_back(duplicate);
            if (handling.leaveOut && handling.leaveOut(duplicate))
                return true;
        }
        ++rowsOf[kind];
        return false;
    }
};

namespace {

int mergeRows(db::Connection& working, db::Connection& source, const QString& table, PublicationCheck* publications)
{
    if (!working.hasTable(table) || !source.hasTable(table))
        return 0;
    db::Table target(working, table, db::Table::Mode::ReadWrite);
    db::Table from(source, table);
    const std::vector<ComparedField> fields = comparedFields(target, from);

    // Every row's key in one set: each source row is looked up once instead of against every target row.
    QSet<QString> held;
    held.reserve(target.recordCount() + from.recordCount());
    for (target.first(); !target.eof(); target.next())
        held.insert(targetRowKey(target, fields));

    int added = 0;
    for (from.first(); !from.eof(); from.next()) {
        QString key = sourceRowKey(from, fields);
        if (held.contains(key))
            continue;
        const bool leftOut = publications != nullptr && publications->leavesOut(table, from);
        held.insert(std::move(key));
        if (leftOut)
            continue;
        appendSourceRow(target, from, fields);
        ++added;
    }
    return added;
}

} // namespace

int MergeRows(db::Connection& working, db::Connection& source, const QString& table)
{
    return mergeRows(working, source, table, nullptr);
}

void MergeFieldGroup(db::Connection& working, db::Connection& source, int group)
{
    const QString details = detailsTable();
    db::Table target(working, details, db::Table::Mode::ReadWrite);
    target.first();
    if (target.eof()) {
        // After "Nowa jednostka" the table is empty; the merged values need their record.
        target.append();
        target.post();
    }
    std::unique_ptr<db::Table> from;
    if (source.hasTable(details)) {
        from = std::make_unique<db::Table>(source, details);
        from->first();
    }
    const bool sourceHasRecord = from && !from->eof();

    target.edit();
    for (const QString& name : FieldGroup(group)) {
        if (!target.hasField(name))
            continue;
        const QVariant theirs = sourceHasRecord && from->hasField(name) ? from->value(name) : QVariant();
        // Nothing to add: the field keeps its value, and two empty sides stay empty.
        if (!isEmptyValue(theirs))
            addField(target, target.field(name), theirs);
    }
    target.post();
}

std::vector<StepOutcome> MergeDatabases(db::Connection& working, db::Connection& source, const ItemChoice& items,
                                        datafiles::Progress& progress, const QString& sourceFile,
                                        DuplicateHandling* duplicates)
{
    requireMergeableNumbers(working, source, items, sourceFile);
    struct Finish {
        datafiles::Progress& progress;
        ~Finish() { progress.finish(); }
    } finish{progress};
    progress.start(kProgressCaption, QString(), MergeItemCount - 1);

    std::vector<StepOutcome> outcomes;
    try {
        db::Transaction transaction(working);
        std::optional<PublicationCheck> publications;
        if (duplicates != nullptr)
            publications.emplace(working, *duplicates);
        const std::vector<MergeItem>& table = MergeItems();
        for (size_t i = 0; i < table.size(); ++i) {
            progress.step(table[i].caption);
            if (!items[i])
                continue;
            for (const MergeStep& step : table[i].steps) {
                progress.step(step.name);
                StepOutcome outcome{step.name, step.kind, 0};
                if (step.kind == MergeStep::Kind::Rows)
                    outcome.rowsAdded
                        = mergeRows(working, source, step.table, publications ? &*publications : nullptr);
                else
                    MergeFieldGroup(working, source, step.group);
                outcomes.push_back(outcome);
            }
        }
        transaction.commit();
    } catch (const Error& error) {
        // The transaction has been rolled back: the survey is as it was before the merge.
        throw Error(kMergeFailed + u'\n' + error.message());
    }
    return outcomes;
}

std::vector<StepOutcome> MergeDataFile(db::Connection& working, const QString& path, const ItemChoice& items,
                                       datafiles::Progress& progress, DuplicateHandling* duplicates)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        throw Error(NoFileChosenMessage());
    // A private folder in the program's temporary pattern, removed with its content when the merge ends.
    const QTemporaryDir scratch(QDir(QDir::tempPath()).filePath(tempfiles::nameFor(QStringLiteral("XXXXXX"))));
    db::Connection other;
    openOtherSurvey(other, unpackOtherFile(path, scratch));
    requireComparableVersion(working, other);
    return MergeDatabases(working, other, items, progress, path, duplicates);
}

std::vector<lists::ProbableDuplicate> MergeDuplicatesOf(db::Connection& working, const QString& path,
                                                        const ItemChoice& items)
{
    DuplicateHandling handling;
    datafiles::NoProgress quiet;
    db::Transaction trial(working); // never committed: the survey is left as it was
    MergeDataFile(working, path, items, quiet, &handling);
    return handling.found;
}

} // namespace vestrum::merge
