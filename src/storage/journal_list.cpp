#include "storage/journal_list.h"

#include "base/error.h"
#include "storage/engine.h"
#include "base/core_resources.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>
#include <algorithm>
#include <cmath>


namespace vestrum::journals {
namespace {

QString shippedList()
{
    initCoreResources();
    QFile source(QStringLiteral(":/data/journals.tsv"));
    if (!source.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Brak danych programu: lista czasopism."));
    return QString::fromUtf8(source.readAll());
}

QList<QStringView> cellsOf(QStringView line)
{
    if (line.endsWith(u'\r'))
        line.chop(1);
    return line.split(u'\t');
}

// The list is filled on the first start, while the user waits for the window: one statement
// prepared once, the file read as one text and cut into views.
void fillFromResource(db::Connection& connection)
{
    const QString list = shippedList();
    const QList<QStringView> lines = QStringView(list).split(u'\n');
    if (lines.isEmpty())
        return;
    QStringList header;
    std::vector<bool> numeric;
    for (const QStringView name : cellsOf(lines.front())) {
        header.append(name.toString());
        numeric.push_back(name == u"punkty" || name == u"rodzaj");
    }

    db::RowInserter insert(connection, QStringLiteral("lista_ministerstwa"), header);
    std::vector<QVariant> values(static_cast<size_t>(header.size()));
    for (qsizetype l = 1; l < lines.size(); ++l) {
        const QList<QStringView> cells = cellsOf(lines[l]);
        if (cells.size() < 3 || cells.front().isEmpty())
            continue;
        for (size_t i = 0; i < values.size(); ++i) {
            const auto column = static_cast<qsizetype>(i);
            if (column >= cells.size())
                values[i] = QVariant();
            else if (numeric[i])
                values[i] = cells[column].toInt();
            else if (cells[column].isEmpty())
                values[i] = QVariant();
            else
                values[i] = cells[column].toString();
        }
        insert.insert(values);
    }
}

const QString kListTable = QStringLiteral("lista_ministerstwa");

void createTables(db::Connection& connection, const QString& version, bool secondTitles)
{
    connection.execute(QStringLiteral("CREATE TABLE wersja (wersja VARCHAR(20))"));
    connection.execute(QStringLiteral("INSERT INTO wersja (wersja) VALUES (?)"), {version});
    connection.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                                      "rodzaj INTEGER, skrot NVARCHAR(255), issn VARCHAR(9), eissn VARCHAR(9)") +
                       (secondTitles ? QStringLiteral(", czasopismo2 NVARCHAR(255), issn2 VARCHAR(9), eissn2 VARCHAR(9))")
                                     : QStringLiteral(")")));
}

QVariant textOrNull(const QString& text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

// Whole points are stored as whole numbers, as the shipped list stores them.
QVariant pointsValue(double points)
{
    if (points == std::floor(points) && std::abs(points) < 1e9)
        return static_cast<qint64>(points);
    return points;
}

bool hasField(db::Connection& connection, const QString& table, const char* name)
{
    const auto fields = connection.tableFields(table);
    return std::any_of(fields.begin(), fields.end(), [name](const db::FieldInfo& field) {
        return field.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    });
}

} // namespace

QString versionOfDay(const QDate& day)
{
    return QStringLiteral("%1.%2.%3.0").arg(day.year()).arg(day.month()).arg(day.day());
}

QString previousListPath(const QString& listPath)
{
    return listPath + QStringLiteral(".poprzednia");
}

void writeJournalListDatabase(const QString& path, const std::vector<ListRecord>& records, const QDate& readOn,
                              const QString& sourceFile)
{
    const QString version = versionOfDay(readOn);
    db::Connection::create(path, schema::databasePassword());
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    db::Transaction transaction(connection);
    createTables(connection, version, true);
    connection.execute(QStringLiteral("CREATE TABLE zrodlo (plik NVARCHAR(255), wczytano VARCHAR(10))"));
    connection.execute(QStringLiteral("INSERT INTO zrodlo (plik, wczytano) VALUES (?, ?)"),
                       {sourceFile, readOn.toString(Qt::ISODate)});
    db::RowInserter insert(connection, kListTable,
                           {QStringLiteral("czasopismo"), QStringLiteral("punkty"), QStringLiteral("rodzaj"),
                            QStringLiteral("skrot"), QStringLiteral("issn"), QStringLiteral("eissn"),
                            QStringLiteral("czasopismo2"), QStringLiteral("issn2"), QStringLiteral("eissn2")});
    for (const ListRecord& r : records) {
        const QVariant values[] = {r.name, pointsValue(r.points), r.part, textOrNull(r.abbreviation),
                                   textOrNull(r.issn), textOrNull(r.eissn), textOrNull(r.name2),
                                   textOrNull(r.issn2), textOrNull(r.eissn2)};
        insert.insert(values);
    }
    transaction.commit();
    connection.close();
}

std::vector<ListRecord> readListRecords(db::Connection& connection)
{
    const bool abbreviations = hasField(connection, kListTable, "skrot");
    const bool issns = hasField(connection, kListTable, "issn") && hasField(connection, kListTable, "eissn");
    const bool second = hasField(connection, kListTable, "czasopismo2") && hasField(connection, kListTable, "issn2") &&
                        hasField(connection, kListTable, "eissn2");
    QString sql = QStringLiteral("select czasopismo, punkty, rodzaj");
    sql += abbreviations ? QStringLiteral(", skrot") : QStringLiteral(", null");
    sql += issns ? QStringLiteral(", issn, eissn") : QStringLiteral(", null, null");
    sql += second ? QStringLiteral(", czasopismo2, issn2, eissn2") : QStringLiteral(", null, null, null");
    sql += QStringLiteral(" from lista_ministerstwa order by rowid");
    db::Query query(connection, sql);
    std::vector<ListRecord> records;
    records.reserve(static_cast<size_t>(query.recordCount()));
    for (query.first(); !query.eof(); query.next()) {
        ListRecord r;
        r.name = query.asUnicode(0);
        r.points = query.asFloat(1);
        r.part = query.asInteger(2);
        r.abbreviation = query.asUnicode(3);
        r.issn = query.asString(4);
        r.eissn = query.asString(5);
        r.name2 = query.asUnicode(6);
        r.issn2 = query.asString(7);
        r.eissn2 = query.asString(8);
        records.push_back(std::move(r));
    }
    return records;
}

ListEdition readListEdition(db::Connection& connection)
{
    ListEdition edition;
    if (connection.hasTable(QStringLiteral("wersja")))
        edition.version = connection.scalar(QStringLiteral("select wersja from wersja limit 1")).toString().trimmed();
    if (connection.hasTable(QStringLiteral("zrodlo"))) {
        db::Query source(connection, QStringLiteral("select plik, wczytano from zrodlo limit 1"));
        if (!source.eof()) {
            edition.sourceFile = source.asUnicode(0);
            edition.readOn = source.asString(1);
        }
    }
    if (!connection.hasTable(kListTable))
        throw Error(QStringLiteral("Brak listy czasopism ministerstwa (tabela \"%1\").").arg(kListTable));
    edition.journals = connection.scalar(QStringLiteral("select count(*) from lista_ministerstwa")).toInt();
    return edition;
}

QString shippedListVersion()
{
    return QStringLiteral("2019.7.31.0");
}

void createJournalListDatabase(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString temporary = path + QStringLiteral(".new");
    QFile::remove(temporary);
    try {
        db::Connection::create(temporary, schema::databasePassword());
        db::Connection connection;
        connection.open(temporary, schema::databasePassword());
        db::Transaction transaction(connection);
        createTables(connection, shippedListVersion(), false);
        fillFromResource(connection);
        transaction.commit();
        connection.close();
    } catch (const Error&) {
        QFile::remove(temporary);
        throw;
    }
    if (!QFile::rename(temporary, path)) {
        QFile::remove(temporary);
        throw Error(QStringLiteral("Nie można utworzyć bazy danych \"%1\".").arg(path));
    }
}

} // namespace vestrum::journals
