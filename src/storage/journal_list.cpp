#include "storage/journal_list.h"

#include "base/error.h"
#include "storage/engine.h"
#include "base/core_resources.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>


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

} // namespace

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
        connection.execute(QStringLiteral("CREATE TABLE wersja (wersja VARCHAR(20))"));
        connection.execute(QStringLiteral("INSERT INTO wersja (wersja) VALUES (?)"), {shippedListVersion()});
        connection.execute(QStringLiteral(
            "CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, rodzaj INTEGER, "
            "skrot NVARCHAR(255), issn VARCHAR(9), eissn VARCHAR(9))"));
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
