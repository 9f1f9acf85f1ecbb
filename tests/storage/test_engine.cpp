#include "base/error.h"
#include "storage/engine.h"
#include "support/temp_survey.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace vestrum;
using vestrum::testing::TempSurvey;

namespace {

QString makeDatabase(const QTemporaryDir& dir, const QString& name, const QString& password)
{
    const QString path = dir.filePath(name);
    db::Connection::create(path, password);
    return path;
}

} // namespace

TEST(Engine, PasswordsAndForeignFilesAreRefusedWithAClearMessage)
{
    QTemporaryDir dir;
    const QString path = makeDatabase(dir, QStringLiteral("a.mdb"), QStringLiteral("3118qk"));

    db::Connection right;
    EXPECT_NO_THROW(right.open(path, QStringLiteral("3118qk")));

    db::Connection wrong;
    try {
        wrong.open(path, QStringLiteral("qk3116"));
        FAIL() << "a wrong password must not open the database";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("hasło")));
        EXPECT_TRUE(e.message().contains(path));
    }
    EXPECT_FALSE(wrong.isOpen());

    const QString text = dir.filePath(QStringLiteral("notes.mdb"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a database at all, just some text that happens to be long enough");
    file.close();
    db::Connection foreign;
    EXPECT_THROW(foreign.open(text, QStringLiteral("3118qk")), Error);

    // An empty file is an empty database to the engine, but not one of the program's.
    QFile empty(dir.filePath(QStringLiteral("empty.mdb")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_THROW(foreign.open(empty.fileName(), QStringLiteral("3118qk")), Error);
    EXPECT_THROW(foreign.open(dir.filePath(QStringLiteral("missing.mdb")), QStringLiteral("3118qk")), Error);

    // Several connections may be open at once.
    const QString other = makeDatabase(dir, QStringLiteral("b.mdb"), QStringLiteral("3118qk"));
    db::Connection second;
    second.open(other, QStringLiteral("3118qk"));
    EXPECT_TRUE(right.isOpen() && second.isOpen());
}

TEST(Engine, CodePageColumnsTurnForeignLettersIntoQuestionMarksUnicodeColumnsKeepThem)
{
    TempSurvey survey;
    {
        db::Table table(survey.connection, QStringLiteral("dane_kierownictwo"), db::Table::Mode::ReadWrite);
        table.append();
        table.setUnicode(QStringLiteral("Nazwisko"), QStringLiteral("Żółć Дмитрий"));
        table.setUnicode(QStringLiteral("Stanowisko"), QStringLiteral("Kierownik Дм"));
        table.setString(QStringLiteral("Telefon"), QStringLiteral("Łódź 42"));
        table.post();
    }
    db::Table table(survey.connection, QStringLiteral("dane_kierownictwo"));
    ASSERT_EQ(table.recordCount(), 1);
    EXPECT_EQ(table.asUnicode(QStringLiteral("Nazwisko")), QStringLiteral("Żółć Дмитрий"));
    EXPECT_EQ(table.asUnicode(QStringLiteral("Stanowisko")), QStringLiteral("Kierownik ??"));
    EXPECT_EQ(table.asString(QStringLiteral("Telefon")), QStringLiteral("Łódź 42"));
    // Reading a Unicode field as code-page text passes it through the code page too.
    EXPECT_EQ(table.asString(QStringLiteral("Nazwisko")), QStringLiteral("Żółć ???????"));
}

TEST(Engine, NullsReadAsEmptyZeroAndFieldNamesIgnoreCase)
{
    TempSurvey survey;
    {
        db::Table table(survey.connection, QStringLiteral("dane_szczegolowe"), db::Table::Mode::ReadWrite);
        table.append();
        table.setInteger(QStringLiteral("zatr_poza_br"), 7);
        table.post();
    }
    db::Table table(survey.connection, QStringLiteral("dane_szczegolowe"));
    EXPECT_EQ(table.asInteger(QStringLiteral("ZATR_POZA_BR")), 7);
    EXPECT_TRUE(table.isNull(QStringLiteral("Pow_pom_wlasne")));
    EXPECT_EQ(table.asFloat(QStringLiteral("Pow_pom_wlasne")), 0.0);
    EXPECT_EQ(table.asInteger(QStringLiteral("Liczba_ksiazek")), 0);
    EXPECT_EQ(table.asString(QStringLiteral("Inne_informacje")), QString());
    EXPECT_EQ(table.asString(QStringLiteral("inne_informacje")), QString());
    EXPECT_THROW(table.asString(QStringLiteral("no_such_field")), Error);
}

TEST(Engine, DeclaredSizesAndTypesComeFromTheFile)
{
    TempSurvey survey;
    db::Table basic(survey.connection, QStringLiteral("dane_podstawowe"));
    EXPECT_EQ(basic.field(QStringLiteral("DataZal")).size, 10);
    EXPECT_EQ(basic.field(QStringLiteral("Kod_pocztowy")).size, 6);
    EXPECT_EQ(basic.field(QStringLiteral("nazwa")).type, db::FieldType::UnicodeText);
    EXPECT_EQ(basic.field(QStringLiteral("Regon")).type, db::FieldType::CodePageText);

    db::Table details(survey.connection, QStringLiteral("dane_szczegolowe"));
    EXPECT_EQ(details.field(QStringLiteral("Zrodlo_cytowan_lista_A")).type, db::FieldType::UnicodeLongText);
    EXPECT_EQ(details.field(QStringLiteral("Inne_informacje")).type, db::FieldType::CodePageLongText);
    EXPECT_EQ(details.field(QStringLiteral("Naklady_BR_z_amort")).type, db::FieldType::Number);

    survey.connection.execute(QStringLiteral("CREATE TABLE keyed (id INTEGER PRIMARY KEY AUTOINCREMENT, t NTEXT)"));
    db::Table keyed(survey.connection, QStringLiteral("keyed"), db::Table::Mode::ReadWrite);
    EXPECT_EQ(keyed.field(QStringLiteral("id")).type, db::FieldType::AutoNumber);
    keyed.append();
    EXPECT_THROW(keyed.setInteger(QStringLiteral("id"), 5), Error);
    keyed.setUnicode(QStringLiteral("t"), QStringLiteral("x"));
    keyed.post();
    EXPECT_EQ(keyed.asInteger(QStringLiteral("id")), 1);
}

TEST(Engine, FiltersEditingDeletingAndInsertionOrder)
{
    TempSurvey survey;
    const QString table = QStringLiteral("dane_wykaz_patentow");
    {
        db::Table all(survey.connection, table, db::Table::Mode::ReadWrite);
        for (int kind : {2, 1, 2, 3, 2}) {
            all.append();
            all.setInteger(QStringLiteral("rodzaj"), kind);
            all.setUnicode(QStringLiteral("tytul"), QStringLiteral("t%1-%2").arg(kind).arg(all.recordCount()));
            all.post();
        }
    }
    db::Table two(survey.connection, table, db::Table::Mode::ReadWrite, db::Filter::parse(QStringLiteral("rodzaj=2")));
    ASSERT_EQ(two.recordCount(), 3);
    QStringList titles;
    for (two.first(); !two.eof(); two.next())
        titles << two.asUnicode(QStringLiteral("tytul"));
    EXPECT_EQ(titles, (QStringList{QStringLiteral("t2-0"), QStringLiteral("t2-2"), QStringLiteral("t2-4")}));

    two.first();
    two.next();
    two.edit();
    two.setUnicode(QStringLiteral("tytul"), QStringLiteral("zmieniony"));
    two.post();
    two.first();
    two.remove();
    EXPECT_EQ(two.asUnicode(QStringLiteral("tytul")), QStringLiteral("zmieniony"));

    two.removeAll();
    db::Table rest(survey.connection, table);
    EXPECT_EQ(rest.recordCount(), 2) << "deleting a filtered group leaves other kinds alone";

    db::Table readOnly(survey.connection, table);
    EXPECT_THROW(readOnly.append(), Error);

    // Opened to append, the table reads no rows and keeps none it appends; a filtered group can
    // still be replaced, and a row cannot be deleted one by one.
    {
        db::Table append(survey.connection, table, db::Table::Mode::AppendOnly, db::Filter::parse(QStringLiteral("rodzaj=3")));
        EXPECT_EQ(append.recordCount(), 0);
        append.removeAll();
        append.append();
        append.setInteger(QStringLiteral("rodzaj"), 3);
        append.post();
        EXPECT_EQ(append.recordCount(), 0);
        EXPECT_THROW(append.remove(), Error);
    }
    EXPECT_EQ(db::Table(survey.connection, table).recordCount(), 2);
    EXPECT_EQ(db::Table(survey.connection, table, db::Table::Mode::ReadOnly, db::Filter::parse(QStringLiteral("rodzaj=3")))
                  .recordCount(),
              1);

    const db::Filter text = db::Filter::parse(QStringLiteral("typ='M'"));
    EXPECT_EQ(text.field, QStringLiteral("typ"));
    EXPECT_EQ(text.value.toString(), QStringLiteral("M"));
    EXPECT_THROW(db::Filter::parse(QStringLiteral("rodzaj=1 or 1=1")), Error);
}

TEST(Engine, LcaseAndLikeFoldPolishLettersAndParametersAreNeverSql)
{
    TempSurvey survey;
    db::Table t(survey.connection, QStringLiteral("dane_wydawnictwa"), db::Table::Mode::ReadWrite);
    for (const QString& title : {QStringLiteral("ŁÓDZKIE ŚWIĘTO"), QStringLiteral("Żak's"), QStringLiteral("Inne")}) {
        t.append();
        t.setUnicode(QStringLiteral("Tytul"), title);
        t.post();
    }
    EXPECT_EQ(survey.connection.scalar(QStringLiteral("select count(*) from dane_wydawnictwa where lcase(Tytul) like ?"),
                                       {QStringLiteral("łódz%")}).toInt(), 1);
    EXPECT_EQ(survey.connection.scalar(QStringLiteral("select Tytul from dane_wydawnictwa where lcase(Tytul) = ?"),
                                       {QStringLiteral("żak's")}).toString(), QStringLiteral("Żak's"));

    db::Query query(survey.connection, QStringLiteral("select * from dane_wydawnictwa"));
    EXPECT_TRUE(query.locate(QStringLiteral("tytul"), QStringLiteral("łódzkie"), true));
    EXPECT_EQ(query.position(), 0);
    EXPECT_TRUE(query.locate(QStringLiteral("tytul"), QStringLiteral("INNE")));
    EXPECT_EQ(query.position(), 2);
    EXPECT_FALSE(query.locate(QStringLiteral("tytul"), QStringLiteral("inn")));
    EXPECT_EQ(query.position(), 2);
}

TEST(Engine, RolledBackTransactionLeavesTheTableAsItWas)
{
    TempSurvey survey;
    const QString name = QStringLiteral("dane_dyscypliny");
    {
        db::Table t(survey.connection, name, db::Table::Mode::ReadWrite);
        t.append();
        t.setString(QStringLiteral("Dyscyplina"), QStringLiteral("25"));
        t.post();
    }
    {
        db::Transaction transaction(survey.connection);
        db::Table t(survey.connection, name, db::Table::Mode::ReadWrite);
        t.removeAll();
        t.append();
        t.setString(QStringLiteral("Dyscyplina"), QStringLiteral("01"));
        t.post();
        // No commit: leaving the scope rolls back, as a failed save does.
    }
    db::Table after(survey.connection, name);
    ASSERT_EQ(after.recordCount(), 1);
    EXPECT_EQ(after.asString(QStringLiteral("Dyscyplina")), QStringLiteral("25"));

    {
        db::Transaction outer(survey.connection);
        {
            db::Transaction inner(survey.connection);
            survey.connection.execute(QStringLiteral("DELETE FROM dane_dyscypliny"));
            inner.commit();
        }
        outer.commit();
    }
    EXPECT_EQ(db::Table(survey.connection, name).recordCount(), 0);
}

TEST(Engine, ListsUserTables)
{
    TempSurvey survey;
    const QStringList tables = survey.connection.userTables();
    EXPECT_TRUE(tables.contains(QStringLiteral("wersja")));
    EXPECT_TRUE(tables.contains(QStringLiteral("dane_wykaz_nagrod")));
    for (const QString& t : tables)
        EXPECT_FALSE(t.startsWith(QStringLiteral("sqlite_")));
}

// A cursor converts straight from the engine; every read must give what the same read of a
// table gives, whatever type the value was stored with.
TEST(Engine, CursorReadsEqualTableReads)
{
    QTemporaryDir dir;
    const QString path = makeDatabase(dir, QStringLiteral("typy.mdb"), QStringLiteral("haslo"));
    db::Connection connection;
    connection.open(path, QStringLiteral("haslo"));
    connection.execute(QStringLiteral("CREATE TABLE t (tekst NVARCHAR(50), strona VARCHAR(20), liczba INTEGER, "
                                      "kwota REAL)"));
    const QVariantList rows[] = {
        {QString::fromUtf8("Żółw ą"), QString::fromUtf8("Łódź"), 7, 2.675},
        {QStringLiteral(" 12 "), QStringLiteral("x"), QStringLiteral("3,5"), 1e22},
        {12.75, 4, 2.9, 5},
        {QVariant(), QVariant(), QVariant(), QVariant()},
        {QByteArray("bajty"), QString(), 2147483648LL, -0.001},
    };
    for (const QVariantList& row : rows)
        connection.execute(QStringLiteral("INSERT INTO t VALUES (?, ?, ?, ?)"), row);

    db::Table table(connection, QStringLiteral("t"));
    db::TableCursor cursor(connection, QStringLiteral("t"));
    EXPECT_THROW(cursor.asUnicode(0), Error) << "no row before the first fetch";
    int rowsRead = 0;
    for (table.first(); !table.eof(); table.next(), ++rowsRead) {
        ASSERT_TRUE(cursor.fetch());
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(cursor.value(c), table.value(c)) << rowsRead << "/" << c;
            EXPECT_EQ(cursor.asUnicode(c), table.asUnicode(c)) << rowsRead << "/" << c;
            EXPECT_EQ(cursor.asString(c), table.asString(c)) << rowsRead << "/" << c;
            EXPECT_EQ(cursor.asInteger(c), table.asInteger(c)) << rowsRead << "/" << c;
            EXPECT_EQ(cursor.asFloat(c), table.asFloat(c)) << rowsRead << "/" << c;
        }
        EXPECT_THROW(cursor.asUnicode(4), Error);
    }
    EXPECT_EQ(rowsRead, 5);
    EXPECT_FALSE(cursor.fetch());
    EXPECT_THROW(cursor.asFloat(0), Error) << "no row after the last";
}

TEST(Engine, FailuresAreToldInPolishWithTheEnginesWordsOnTheirOwnLine)
{
    QTemporaryDir dir;
    const QString path = makeDatabase(dir, QStringLiteral("a.mdb"), QStringLiteral("3118qk"));
    const auto failureOf = [](const std::function<void()>& body) {
        try {
            body();
        } catch (const Error& e) {
            return e.message();
        }
        return QString();
    };
    {
        db::Connection c;
        c.open(path, QStringLiteral("3118qk"));
        c.execute(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, nazwa NVARCHAR(50) UNIQUE)"));
        db::Transaction fill(c);
        for (int i = 0; i < 2000; ++i)
            c.execute(QStringLiteral("INSERT INTO t (nazwa) VALUES (?)"), {QStringLiteral("nazwa %1").arg(i)});
        fill.commit();
        const QString constraint
            = failureOf([&] { c.execute(QStringLiteral("INSERT INTO t (nazwa) VALUES ('nazwa 1')")); });
        EXPECT_TRUE(constraint.startsWith(
            QStringLiteral("Dane nie mogą zostać zapisane w bazie danych %1 - naruszają jej ograniczenia.\n").arg(path)))
            << constraint.toStdString();
        EXPECT_TRUE(constraint.contains(QStringLiteral("\nSzczegóły: UNIQUE constraint failed"))) << constraint.toStdString();
    }
    // Garbage over the pages of the table: the file opens, reading the table fails.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(8192));
        f.write(QByteArray(static_cast<int>(f.size() - 8192), '\xA5'));
    }
    db::Connection damaged;
    damaged.open(path, QStringLiteral("3118qk"));
    const QString malformed = failureOf([&] { damaged.scalar(QStringLiteral("SELECT count(nazwa) FROM t")); });
    EXPECT_EQ(malformed.section(u'\n', 0, 0), QStringLiteral("Baza danych %1 jest uszkodzona.").arg(path));
    EXPECT_TRUE(malformed.contains(QStringLiteral("\nSzczegóły: database disk image is malformed")))
        << malformed.toStdString();
}
