#include "import/journal_list_import.h"

#include "base/error.h"
#include "base/number_format.h"
#include "datafile/save.h"
#include "datafile/scratch_folders.h"
#include "import/import_text.h"
#include "import/spreadsheet_reader.h"
#include "lists/journal_matching.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <optional>

namespace vestrum::importing {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// The ministry's files run to about sixty columns (44 disciplines among them).
constexpr int kMinistryColumns = 512;
constexpr int kTitleWidth = 255;

// A header name as it is compared: lower case, Polish and other accented letters as their base
// letters, only letters and digits kept ("Tytuł 1" -> "tytul1", "e-issn" -> "eissn").
QString headerKey(const QString& name)
{
    QString key;
    for (const QChar ch : name.normalized(QString::NormalizationForm_D).toLower()) {
        if (ch == u'ł')
            key += u'l';
        else if (ch.isLetterOrNumber() && ch.category() != QChar::Mark_NonSpacing)
            key += ch;
    }
    return key;
}

struct Columns {
    int number = -1;
    int title1 = -1;
    int title2 = -1;
    int issn[2] = {-1, -1};
    int eissn[2] = {-1, -1};
    int points = -1;
    bool isHeader() const { return number >= 0 && title1 >= 0 && points >= 0; }
};

void takeFirstFree(int (&pair)[2], int column)
{
    for (int& slot : pair)
        if (slot < 0) {
            slot = column;
            return;
        }
}

Columns columnsOf(const QStringList& row)
{
    Columns columns;
    for (int c = 0; c < row.size(); ++c) {
        const QString key = headerKey(row[c]);
        if (key == u"lp" && columns.number < 0)
            columns.number = c;
        else if (key == u"tytul1" && columns.title1 < 0)
            columns.title1 = c;
        else if (key == u"tytul2" && columns.title2 < 0)
            columns.title2 = c;
        else if (key == u"issn")
            takeFirstFree(columns.issn, c);
        else if (key == u"eissn")
            takeFirstFree(columns.eissn, c);
        else if ((key == u"punkty" || key == u"punktacja") && columns.points < 0)
            columns.points = c;
    }
    return columns;
}

// A cell as the list keeps it: no-break spaces as blanks, no control characters, blanks single and trimmed.
QString cleanCell(const QStringList& row, int column)
{
    if (column < 0)
        return {};
    QString text = row.value(column);
    for (QChar& ch : text)
        if (ch == u'\u00a0')
            ch = u' ';
    text.removeIf([](QChar ch) { return ch.unicode() < 0x20 || ch.unicode() == 0x7f; });
    return text.simplified(); // the ministry's titles now and then hold two blanks in a row
}

// An ISSN in the list's form "NNNN-NNNC"; empty when the cell holds none.
QString issnCell(const QStringList& row, int column)
{
    const QString key = lists::issnKey(cleanCell(row, column));
    return key.isEmpty() ? QString() : key.left(4) + u'-' + key.mid(4);
}

std::optional<double> pointsOf(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    return numbers::ParseDecimal(QString(text).replace(u'.', u','));
}

QString firstFilled(const QString& a, const QString& b)
{
    return a.isEmpty() ? b : a;
}

void readJournal(const QStringList& row, const Columns& columns, int fileRow, MinistryList& list)
{
    const QString number = cleanCell(row, columns.number);
    const QString title1 = cleanCell(row, columns.title1);
    const QString title2 = cleanCell(row, columns.title2);
    const QString name = firstFilled(title1, title2);
    const std::optional<double> points = pointsOf(cleanCell(row, columns.points));
    const QString shownNumber = number.isEmpty() ? S("wiersz %1 pliku").arg(fileRow + 1) : number;
    if (name.isEmpty()) {
        list.skipped.push_back({shownNumber, S("brak tytułu")});
        return;
    }
    if (!points) {
        list.skipped.push_back({shownNumber, S("brak punktów")});
        return;
    }
    journals::ListRecord record;
    record.name = name.left(kTitleWidth);
    record.points = *points;
    record.part = 1; // the editions since 2019 have no parts
    const QString issn1 = issnCell(row, columns.issn[0]);
    const QString eissn1 = issnCell(row, columns.eissn[0]);
    record.name2 = title2.left(kTitleWidth);
    record.issn2 = issnCell(row, columns.issn[1]);
    record.eissn2 = issnCell(row, columns.eissn[1]);
    record.issn = firstFilled(issn1, record.issn2);
    record.eissn = firstFilled(eissn1, record.eissn2);
    list.journals.push_back(std::move(record));
}

bool isBlankRow(const QStringList& row)
{
    return std::all_of(row.begin(), row.end(), [](const QString& cell) { return numbers::IsBlank(cell); });
}

QString notAListMessage(const QString& fileName)
{
    return S("Plik %1 nie jest wykazem czasopism ministerstwa: nie ma w nim wiersza z nazwami kolumn \"Lp.\", "
             "\"Tytuł 1\" i \"Punkty\" (lub \"Punktacja\").")
        .arg(fileName);
}

QChar separatorOfHeader(const QString& text)
{
    // The header line is the first that names "Tytuł 1"; its most frequent separator is the file's.
    for (const QString& line : SplitLines(text.left(1 << 20))) {
        if (!headerKey(line).contains(QLatin1String("tytul1")))
            continue;
        QChar best = u',';
        qsizetype most = 0;
        for (const QChar candidate : {QChar(u','), QChar(u';'), QChar(u'\t')}) {
            const qsizetype count = line.count(candidate);
            if (count > most) {
                most = count;
                best = candidate;
            }
        }
        if (most > 0)
            return best;
    }
    return u',';
}

QString pointsText(double points)
{
    return numbers::FormatAmount(points).remove(QStringLiteral(",00"));
}

QString journalLine(const JournalChange& change, bool before, bool after)
{
    QString line = QStringLiteral("  ") + change.name + QStringLiteral(" (");
    if (before && after)
        line += pointsText(change.oldPoints) + QStringLiteral(" -> ") + pointsText(change.newPoints);
    else
        line += pointsText(before ? change.oldPoints : change.newPoints);
    return line + QStringLiteral(" pkt)");
}

void appendGroup(QStringList& lines, const char* caption, const std::vector<JournalChange>& changes, bool before,
                 bool after, int shown)
{
    lines << S(caption) + QString::number(changes.size());
    for (size_t i = 0; i < changes.size() && static_cast<int>(i) < shown; ++i)
        lines << journalLine(changes[i], before, after);
    // Ten of 29,000 must not read as all of them.
    if (changes.size() > static_cast<size_t>(shown))
        lines << S("  … pokazano %1 z %2").arg(shown).arg(changes.size());
}

// The ISSN keys of a journal, each once.
QStringList issnKeysOf(const journals::ListRecord& record)
{
    QStringList keys;
    for (const QString& issn : {record.issn, record.eissn, record.issn2, record.eissn2}) {
        const QString key = lists::issnKey(issn);
        if (!key.isEmpty() && !keys.contains(key))
            keys << key;
    }
    return keys;
}

// Journals of the current edition by ISSN and by lower-cased title, each list in table order.
struct CurrentIndex {
    QHash<QString, std::vector<int>> byIssn;
    QHash<QString, std::vector<int>> byTitle;
    std::vector<bool> paired;

    explicit CurrentIndex(const std::vector<journals::ListRecord>& current) : paired(current.size(), false)
    {
        for (size_t i = 0; i < current.size(); ++i) {
            for (const QString& key : issnKeysOf(current[i]))
                byIssn[key].push_back(static_cast<int>(i));
            byTitle[current[i].name.trimmed().toLower()].push_back(static_cast<int>(i));
        }
    }

    int takeFirstUnpaired(const std::vector<int>& candidates)
    {
        for (const int i : candidates)
            if (!paired[static_cast<size_t>(i)]) {
                paired[static_cast<size_t>(i)] = true;
                return i;
            }
        return -1;
    }

    int pair(const journals::ListRecord& journal)
    {
        for (const QString& key : issnKeysOf(journal))
            if (const auto it = byIssn.constFind(key); it != byIssn.constEnd())
                if (const int found = takeFirstUnpaired(*it); found >= 0)
                    return found;
        const auto it = byTitle.constFind(journal.name.trimmed().toLower());
        return it == byTitle.constEnd() ? -1 : takeFirstUnpaired(*it);
    }
};

// An empty name for a new file beside `target`, in the program's temporary pattern, so that an
// interrupted save leaves nothing a later one does not clear away.
QString stagingNameBeside(const QString& target)
{
    const QString folder = QFileInfo(target).absolutePath();
    tempfiles::removeAbandoned(folder);
    const QString path = tempfiles::createFile(folder);
    if (path.isEmpty() || !QFile::remove(path))
        throw Error(S("Nie można utworzyć pliku tymczasowego w folderze %1.").arg(QDir::toNativeSeparators(folder)));
    return path;
}

class RemovedUnlessPlaced {
public:
    explicit RemovedUnlessPlaced(QString path) : path_(std::move(path)) {}
    ~RemovedUnlessPlaced()
    {
        if (!placed_)
            QFile::remove(path_);
    }
    RemovedUnlessPlaced(const RemovedUnlessPlaced&) = delete;
    RemovedUnlessPlaced& operator=(const RemovedUnlessPlaced&) = delete;
    const QString& path() const { return path_; }
    void placeAs(const QString& target, const QString& failure)
    {
        if (!datafiles::PlaceStagedFile(path_, target))
            throw Error(failure);
        placed_ = true;
    }

private:
    QString path_;
    bool placed_ = false;
};

// Whether the file is a sound journal list holding `expected` journals (any number when negative).
void requireJournalList(const QString& path, int expected, const QString& failure)
{
    try {
        db::Connection connection;
        connection.open(path, schema::databasePassword());
        const bool sound = connection.scalar(QStringLiteral("PRAGMA quick_check")).toString() == u"ok";
        const journals::ListEdition edition = journals::readListEdition(connection);
        if (!sound || (expected >= 0 && edition.journals != expected))
            throw Error(failure);
    } catch (const Error& error) {
        throw Error(error.message() == failure ? failure : failure + u'\n' + error.message());
    }
}

void stageCopy(const QString& from, RemovedUnlessPlaced& staging, const QString& failure)
{
    if (!QFile::copy(from, staging.path()))
        throw Error(failure);
}

} // namespace

std::vector<QStringList> SplitDelimitedRecords(const QString& text, QChar separator)
{
    std::vector<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    auto endRecord = [&] {
        fields << field;
        if (!(fields.size() == 1 && fields.front().isEmpty()))
            records.push_back(fields);
        fields.clear();
        field.clear();
        fieldStarted = false;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == u'"' && i + 1 < n && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (ch == u'"') {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == u'"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (ch == separator) {
            fields << field;
            field.clear();
            fieldStarted = false;
        } else if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRecord();
        } else {
            field += ch;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !fields.isEmpty() || !field.isEmpty())
        endRecord();
    return records;
}

MinistryList ReadMinistryRows(const std::vector<QStringList>& rows, const QString& fileName)
{
    size_t header = 0;
    Columns columns;
    for (; header < rows.size(); ++header) {
        columns = columnsOf(rows[header]);
        if (columns.isHeader())
            break;
    }
    if (header == rows.size())
        throw Error(notAListMessage(fileName));
    MinistryList list;
    for (size_t r = header + 1; r < rows.size(); ++r)
        if (!isBlankRow(rows[r]))
            readJournal(rows[r], columns, static_cast<int>(r), list);
    if (list.journals.empty())
        throw Error(S("Plik %1 nie zawiera żadnego czasopisma z tytułem i punktami.").arg(fileName));
    return list;
}

MinistryList ReadMinistryFile(const QString& path)
{
    const QString fileName = QFileInfo(path).fileName();
    if (!QFileInfo(path).isFile())
        throw Error(S("Nie znaleziono zbioru %1").arg(QDir::toNativeSeparators(path)));
    if (IsSpreadsheetFile(path))
        return ReadMinistryRows(ReadSpreadsheet(path, std::nullopt, kMinistryColumns).rows, fileName);
    const QString text = ReadImportFile(path).text;
    return ReadMinistryRows(SplitDelimitedRecords(text, separatorOfHeader(text)), fileName);
}

EditionChanges CompareEditions(const std::vector<journals::ListRecord>& current,
                               const std::vector<journals::ListRecord>& incoming)
{
    EditionChanges changes;
    CurrentIndex index(current);
    for (const journals::ListRecord& journal : incoming) {
        const int found = index.pair(journal);
        if (found < 0) {
            changes.added.push_back({journal.name, 0, journal.points});
            continue;
        }
        const double before = current[static_cast<size_t>(found)].points;
        if (before != journal.points)
            changes.changed.push_back({journal.name, before, journal.points});
    }
    for (size_t i = 0; i < current.size(); ++i)
        if (!index.paired[i])
            changes.removed.push_back({current[i].name, current[i].points, 0});
    return changes;
}

QStringList ChangeLines(const EditionChanges& changes, const std::vector<SkippedJournalRow>& skipped, int shown)
{
    QStringList lines;
    appendGroup(lines, "dodane: ", changes.added, false, true, shown);
    appendGroup(lines, "usunięte: ", changes.removed, true, false, shown);
    appendGroup(lines, "zmienione punkty: ", changes.changed, true, true, shown);
    lines << S("pominięte wiersze: ") + QString::number(skipped.size());
    for (size_t i = 0; i < skipped.size() && static_cast<int>(i) < shown; ++i)
        lines << S("  Lp. %1: %2").arg(skipped[i].number, skipped[i].reason);
    return lines;
}

std::vector<journals::ListRecord> ReadListInUse(const QString& listPath)
{
    if (!QFileInfo(listPath).isFile())
        return {};
    db::Connection connection;
    connection.open(listPath, schema::databasePassword());
    if (!connection.hasTable(QStringLiteral("lista_ministerstwa")))
        throw Error(S("Brak listy czasopism ministerstwa (tabela \"lista_ministerstwa\")."));
    return journals::readListRecords(connection);
}

void KeepPreviousJournalList(const QString& listPath)
{
    if (!QFileInfo(listPath).isFile())
        return;
    const QString failure = S("Nie można zachować dotychczasowego wykazu czasopism jako %1.")
                                .arg(QDir::toNativeSeparators(journals::previousListPath(listPath)));
    RemovedUnlessPlaced copy(stagingNameBeside(listPath));
    stageCopy(listPath, copy, failure);
    copy.placeAs(journals::previousListPath(listPath), failure);
}

void SaveJournalList(const QString& listPath, const MinistryList& list, const QDate& readOn, const QString& sourceFile)
{
    const QString failure = S("Nie udało się zapisać nowego wykazu czasopism; pozostaje dotychczasowy.");
    QDir().mkpath(QFileInfo(listPath).absolutePath());
    RemovedUnlessPlaced staged(stagingNameBeside(listPath));
    try {
        journals::writeJournalListDatabase(staged.path(), list.journals, readOn, sourceFile);
    } catch (const Error& error) {
        throw Error(failure + u'\n' + error.message());
    }
    requireJournalList(staged.path(), static_cast<int>(list.journals.size()), failure);
    KeepPreviousJournalList(listPath);
    staged.placeAs(listPath, failure);
}

void RestorePreviousJournalList(const QString& listPath)
{
    const QString previous = journals::previousListPath(listPath);
    if (!QFileInfo(previous).isFile())
        throw Error(S("Nie ma poprzedniego wykazu czasopism (%1).").arg(QDir::toNativeSeparators(previous)));
    const QString failure = S("Nie udało się przywrócić poprzedniego wykazu czasopism; pozostaje dotychczasowy.");
    RemovedUnlessPlaced restored(stagingNameBeside(listPath));
    stageCopy(previous, restored, failure);
    requireJournalList(restored.path(), -1,
                       S("Poprzedni wykaz czasopism (%1) jest uszkodzony lub nie jest wykazem czasopism.")
                           .arg(QDir::toNativeSeparators(previous)));
    KeepPreviousJournalList(listPath);
    restored.placeAs(listPath, failure);
}

} // namespace vestrum::importing
