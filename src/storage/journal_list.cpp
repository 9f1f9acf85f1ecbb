#include "storage/journal_list.h"

#include "base/error.h"
#include "storage/engine.h"
#include "base/core_resources.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace vestrum::journals {
namespace {

void fillFromResource(db::Connection& connection)
{
    initCoreResources();
    QFile source(QStringLiteral(":/data/journals.tsv"));
    if (!source.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Brak danych programu: lista czasopism."));
    QTextStream in(&source);
    in.setEncoding(QStringConverter::Utf8);
    const QStringList header = in.readLine().split(u'\t');

    db::Table table(connection, QStringLiteral("lista_ministerstwa"), db::Table::Mode::AppendOnly);
    while (!in.atEnd()) {
        const QStringList cells = in.readLine().split(u'\t');
        if (cells.size() < 3 || cells.at(0).isEmpty())
            continue;
        table.append();
        for (qsizetype i = 0; i < header.size() && i < cells.size(); ++i) {
            const QString& name = header.at(i);
            if (name == u"punkty" || name == u"rodzaj")
                table.setInteger(name, cells.at(i).toInt());
            else if (!cells.at(i).isEmpty())
                table.setUnicode(name, cells.at(i));
        }
        table.post();
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
