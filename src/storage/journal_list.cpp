#include "storage/journal_list.h"

#include "base/error.h"
#include "base/codepage.h"
#include "storage/engine.h"
#include "base/core_resources.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

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

QString insertStatement(const QList<QStringView>& header)
{
    QStringList columns, marks;
    for (const QStringView name : header) {
        columns.append(u'"' + name.toString() + u'"');
        marks.append(QStringLiteral("?"));
    }
    return QStringLiteral("INSERT INTO lista_ministerstwa (%1) VALUES (%2)").arg(columns.join(u','), marks.join(u','));
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
    const QList<QStringView> header = cellsOf(lines.front());
    const std::vector<db::FieldInfo> fields = connection.tableFields(QStringLiteral("lista_ministerstwa"));
    std::vector<bool> numeric, codePage;
    for (const QStringView name : header) {
        numeric.push_back(name == u"punkty" || name == u"rodzaj");
        codePage.push_back(std::any_of(fields.begin(), fields.end(), [name](const db::FieldInfo& f) {
            return f.isCodePage() && name.compare(f.name, Qt::CaseInsensitive) == 0;
        }));
    }

    db::Statement insert(connection, insertStatement(header));
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
                values[i] = codePage[i] ? codepage::passThrough(cells[column].toString()) : cells[column].toString();
        }
        insert.run(values);
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
