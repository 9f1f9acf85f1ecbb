#include "base/error.h"
#include "datafile/merge.h"
#include "support/legacy_data_file.h"

#include <QMap>

#include <gtest/gtest.h>

#include <functional>

using namespace vestrum;
using namespace vestrum::testing;

namespace {


QVariant detail(db::Connection& c, const QString& field)
{
    return c.scalar(QStringLiteral("SELECT \"%1\" FROM dane_szczegolowe").arg(field));
}

// A survey with rows in lists of several items and every merged field of the single record set: numbers to
// their group number, texts to "t<group>".
void fillSurvey(db::Connection& c)
{
    db::Transaction transaction(c);
    c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, kod, nazwa) VALUES (-1, 'IF', 'Instytut Fizyki')"));
    c.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Rok_sprawozdawczy, Wypelniajacy_nazwisko) "
                             "VALUES ('2008', 'Kowalska')"));
    for (int group = 1; group <= merge::FieldGroupCount; ++group) {
        for (const QString& name : merge::FieldGroup(group)) {
            const bool text = name.startsWith(QStringLiteral("Opis")) || name.startsWith(QStringLiteral("Zrodlo_"))
                || name == QStringLiteral("Najwazniejsze_osiagniecie") || name == QStringLiteral("Inne_informacje");
            c.execute(QStringLiteral("UPDATE dane_szczegolowe SET \"%1\" = ?").arg(name),
                      {text ? QVariant(QStringLiteral("t%1").arg(group)) : QVariant(group)});
        }
    }
    c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko) VALUES ('Żółkiewska Anna', 'dyrektor')"));
    c.execute(QStringLiteral("INSERT INTO dane_dyscypliny (Dyscyplina) VALUES ('07')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, tytul) VALUES (1, 'P.123', 'Sposób')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, tytul) VALUES (2, 'P.124', 'Urządzenie')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Liczba_punktow) "
                             "VALUES (1, 'Fizyka', 'Kwarki', 6)"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_nagrod (rodzaj, typ) VALUES (1, 'medal')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_uprawnien (rodzaj, nazwa_stopnia) VALUES ('dr', 'doktor')"));
    transaction.commit();
}



merge::ItemChoice only(std::initializer_list<int> numbers)
{
    merge::ItemChoice items = merge::NoItems();
    for (int n : numbers)
        items[static_cast<size_t>(n - 1)] = true;
    return items;
}

struct MergeFixture : ::testing::Test {
    TempSurvey working;
    QTemporaryDir files;
    datafiles::NoProgress quiet;

    QString file(const QString& name) const { return files.filePath(name); }
    std::vector<merge::StepOutcome> mergeFile(const QString& path, const merge::ItemChoice& items)
    {
        return merge::MergeDataFile(working.connection, path, items, quiet);
    }
};

} // namespace

TEST(MergeVersion, ReadsFourNumbersWeightedByPosition)
{
    EXPECT_EQ(merge::VersionValue(QStringLiteral("2.2.1.2")), 2212);
    EXPECT_EQ(merge::VersionValue(QStringLiteral("2.2.1.0")), 2210);
    // Compared as numbers, not as texts: "10" is more than "9".
    EXPECT_GT(*merge::VersionValue(QStringLiteral("2.2.1.10")), *merge::VersionValue(QStringLiteral("2.2.1.9")));
    EXPECT_FALSE(merge::VersionValue(QStringLiteral("")).has_value());
    EXPECT_FALSE(merge::VersionValue(QStringLiteral("2.2.x.1")).has_value());
    EXPECT_FALSE(merge::VersionValue(QStringLiteral("1.2.3.4.5")).has_value());
    // Exactly four whole numbers: "2.2.1" is no version (it used to pass for 2.2.1.0).
    for (const char* bad : {"2.2.1", "2", "2.2.1.", "2.+2.1.0", "2.-1.1.0", "2.2.1.0x", "3000000.0.0.0"})
        EXPECT_FALSE(merge::VersionValue(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST_F(MergeFixture, FileMergedWithItselfAddsNoRowsDoublesNumbersAndRepeatsTexts)
{
    fillSurvey(working.connection);
    const QString path = makeDataFile(file(QStringLiteral("ta_sama.naj")), fillSurvey);
    QMap<QString, int> rowsBefore;
    for (const QString& table : working.connection.userTables())
        rowsBefore[table] = rowCount(working.connection, table);
    const QByteArray fileBefore = fileHash(path);

    const auto outcomes = mergeFile(path, merge::AllItems());

    for (const merge::StepOutcome& o : outcomes)
        EXPECT_EQ(o.rowsAdded, 0) << o.name.toStdString();
    for (const QString& table : working.connection.userTables())
        EXPECT_EQ(rowCount(working.connection, table), rowsBefore.value(table)) << table.toStdString();
    EXPECT_EQ(rowCount(working.connection, QStringLiteral("dane_wykaz_patentow")), 2);

    for (int group = 1; group <= merge::FieldGroupCount; ++group) {
        for (const QString& name : merge::FieldGroup(group)) {
            const QVariant value = detail(working.connection, name);
            const bool merged = group != merge::UnmergedFieldGroup;
            if (value.typeId() == QMetaType::QString) {
                EXPECT_EQ(value.toString(), merged ? QStringLiteral("t%1t%1").arg(group) : QStringLiteral("t%1").arg(group))
                    << name.toStdString();
            } else {
                EXPECT_EQ(value.toDouble(), merged ? 2.0 * group : group) << name.toStdString();
            }
        }
    }
    EXPECT_EQ(detail(working.connection, QStringLiteral("Rok_sprawozdawczy")).toString(), QStringLiteral("2008"));
    EXPECT_EQ(detail(working.connection, QStringLiteral("Wypelniajacy_nazwisko")).toString(), QStringLiteral("Kowalska"));
    EXPECT_EQ(rowCount(working.connection, QStringLiteral("dane_podstawowe")), 1);
    EXPECT_EQ(fileHash(path), fileBefore) << "the other file must never change";
}

TEST_F(MergeFixture, RowsAreDuplicatesWithoutRegardToCaseEmptinessOrNumberForm)
{
    db::Connection& w = working.connection;
    w.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko, Telefon) VALUES ('ŻÓŁKIEWSKA ĄĘ', 'Dyrektor', NULL)"));
    // Differs from the source's "Bąk Ewa" only in a Polish letter: another person.
    w.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko) VALUES ('Bęk Ewa', 'sekretarz')"));
    w.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Tytul, Liczba_punktow) VALUES (1, 'Kwarki', 6)"));
    const QString path = makeDataFile(file(QStringLiteral("inna.naj")), [](db::Connection& c) {
        // Differs only in case, Polish letters included, and in NULL against "": already held.
        c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko, Telefon) VALUES ('żółkiewska ąę', 'DYREKTOR', '')"));
        // New, twice in the source: added once, in the source's order.
        c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko) VALUES ('Nowak Jan', 'zastępca')"));
        c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko) VALUES ('NOWAK JAN', 'Zastępca')"));
        c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko) VALUES ('Bąk Ewa', 'sekretarz')"));
        // 6.0 is the same number as 6; 6.5 is not, nor is an empty number 0.
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Tytul, Liczba_punktow) VALUES (1, 'kwarki', 6.0)"));
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Tytul, Liczba_punktow) VALUES (1, 'Kwarki', 6.5)"));
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Tytul, Liczba_punktow) VALUES (NULL, 'Kwarki', 6)"));
    });

    const auto outcomes = mergeFile(path, only({2, 8}));

    db::Query heads(w, QStringLiteral("SELECT Nazwisko, Stanowisko FROM dane_kierownictwo ORDER BY rowid"));
    QStringList names;
    for (heads.first(); !heads.eof(); heads.next())
        names << heads.asUnicode(QStringLiteral("Nazwisko")) + u'/' + heads.asUnicode(QStringLiteral("Stanowisko"));
    EXPECT_EQ(names, (QStringList{QStringLiteral("ŻÓŁKIEWSKA ĄĘ/Dyrektor"), QStringLiteral("Bęk Ewa/sekretarz"),
                                  QStringLiteral("Nowak Jan/zastępca"), QStringLiteral("Bąk Ewa/sekretarz")}));
    EXPECT_EQ(rowCount(w, QStringLiteral("dane_wykaz_publikacji")), 3);
    ASSERT_GE(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].name, QStringLiteral("kierownictwo"));
    EXPECT_EQ(outcomes[0].rowsAdded, 2);
    EXPECT_EQ(outcomes[1].name, QStringLiteral("publikacje"));
    EXPECT_EQ(outcomes[1].rowsAdded, 2);
}

TEST_F(MergeFixture, FieldGroupsCountAnEmptySideAsZeroAndLeaveTwoEmptySidesEmpty)
{
    db::Connection& w = working.connection;
    w.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Pow_teren_wlasny, Pow_teren_od_innych, Liczba_syst_jakosci, "
                             "Opis_systemow_jakosci) VALUES (NULL, 12.5, NULL, 'ISO ')"));
    const QString path = makeDataFile(file(QStringLiteral("inna.naj")), [](db::Connection& c) {
        c.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Pow_teren_wlasny, Pow_teren_od_innych, "
                                 "Liczba_syst_jakosci, Opis_systemow_jakosci, Zrodlo_cytowan_lista_A) "
                                 "VALUES (100.25, NULL, 2, 'PN-EN 17025 – łódzkie', 'Web of Science ✓')"));
    });

    mergeFile(path, only({5, 8, 20}));

    EXPECT_DOUBLE_EQ(detail(w, QStringLiteral("Pow_teren_wlasny")).toDouble(), 100.25);
    EXPECT_DOUBLE_EQ(detail(w, QStringLiteral("Pow_teren_od_innych")).toDouble(), 12.5);
    EXPECT_TRUE(detail(w, QStringLiteral("Pow_teren_dla_innych")).isNull());
    EXPECT_EQ(detail(w, QStringLiteral("Liczba_syst_jakosci")).toInt(), 2);
    // A code-page field keeps what Windows-1250 holds; a Unicode one everything.
    EXPECT_EQ(detail(w, QStringLiteral("Opis_systemow_jakosci")).toString(), QStringLiteral("ISO PN-EN 17025 – łódzkie"));
    EXPECT_EQ(detail(w, QStringLiteral("Zrodlo_cytowan_lista_A")).toString(), QStringLiteral("Web of Science ✓"));
    EXPECT_TRUE(detail(w, QStringLiteral("Liczba_cytowan_lista_A")).isNull());
}

TEST_F(MergeFixture, AnEmptyDetailsTableGetsItsRecordFirst)
{
    const QString path = makeDataFile(file(QStringLiteral("inna.naj")), fillSurvey);
    ASSERT_EQ(rowCount(working.connection, merge::detailsTable()), 0);
    mergeFile(path, only({4, 23}));
    EXPECT_EQ(rowCount(working.connection, merge::detailsTable()), 1);
    EXPECT_EQ(detail(working.connection, QStringLiteral("Zatr_poza_BR")).toInt(), 2);
    EXPECT_EQ(detail(working.connection, QStringLiteral("Inne_informacje")).toString(), QStringLiteral("t13"));
    EXPECT_TRUE(detail(working.connection, QStringLiteral("Rok_sprawozdawczy")).isNull());
}

TEST_F(MergeFixture, RefusalsLeaveTheSurveyUnchanged)
{
    fillSurvey(working.connection);
    const QString before = dump(working.connection);

    EXPECT_EQ(errorOf([&] { mergeFile(QString(), merge::AllItems()); }), merge::NoFileChosenMessage());
    EXPECT_EQ(errorOf([&] { mergeFile(file(QStringLiteral("brak.naj")), merge::AllItems()); }),
              merge::NoFileChosenMessage());

    // Not an archive: the archive says so.
    QFile garbage(file(QStringLiteral("zly.naj")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(300, 'x'));
    garbage.close();
    EXPECT_EQ(errorOf([&] { mergeFile(file(QStringLiteral("zly.naj")), merge::AllItems()); }),
              QStringLiteral("Skompresowany zbiór jest uszkodzony"));

    // The 2005 version's password is not the current one.
    writeLegacyDataFile(file(QStringLiteral("2005.naj")));
    EXPECT_EQ(errorOf([&] { mergeFile(file(QStringLiteral("2005.naj")), merge::AllItems()); }),
              merge::NotCurrentDataFileMessage());

    // Damaged pages behind an intact header: refused before anything is read.
    {
        TempSurvey damaged;
        fillSurvey(damaged.connection);
        damaged.connection.close();
        damageLastPage(damaged.path());
        archiveDatabase(damaged.path(), file(QStringLiteral("uszkodzony.naj")));
    }
    EXPECT_EQ(errorOf([&] { mergeFile(file(QStringLiteral("uszkodzony.naj")), merge::AllItems()); }),
              merge::NotCurrentDataFileMessage());

    auto withVersion = [&](const QString& name, const QString& version) {
        return makeDataFile(file(name), [version](db::Connection& c) {
            fillSurvey(c);
            c.execute(QStringLiteral("INSERT INTO dane_wykaz_nagrod (typ) VALUES ('nowa')"));
            if (version.isNull())
                c.execute(QStringLiteral("DROP TABLE wersja"));
            else
                c.execute(QStringLiteral("UPDATE wersja SET wersja = ?"), {version});
        });
    };
    // Checked whether or not anything is ticked.
    for (const merge::ItemChoice& items : {merge::AllItems(), merge::NoItems()}) {
        EXPECT_EQ(errorOf([&] { mergeFile(withVersion(QStringLiteral("starsza.naj"), QStringLiteral("2.2.0.9")), items); }),
                  merge::OtherVersionMessage());
        EXPECT_EQ(errorOf([&] { mergeFile(withVersion(QStringLiteral("bez_wersji.naj"), QString()), items); }),
                  merge::OtherVersionMessage());
        EXPECT_EQ(errorOf([&] { mergeFile(withVersion(QStringLiteral("zla_wersja.naj"), QStringLiteral("dwa")), items); }),
                  merge::OtherVersionMessage());
        EXPECT_EQ(errorOf([&] { mergeFile(withVersion(QStringLiteral("trzy_liczby.naj"), QStringLiteral("2.2.1")), items); }),
                  merge::OtherVersionMessage());
    }
    EXPECT_EQ(dump(working.connection), before);

    // A later version is merged.
    const auto outcomes = mergeFile(withVersion(QStringLiteral("nowsza.naj"), QStringLiteral("2.2.1.1")), only({16}));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].rowsAdded, 1);
}

TEST_F(MergeFixture, AFailureMidwayLeavesEveryTableAsItWas)
{
    fillSurvey(working.connection);
    const QString path = makeDataFile(file(QStringLiteral("inna.naj")), [](db::Connection& c) {
        fillSurvey(c);
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer) VALUES (3, 'P.999')"));
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_nagrod (rodzaj, typ) VALUES (2, 'dyplom')"));
    });
    // Item 16 comes after patents (item 15) and several field groups were merged before it.
    working.connection.execute(QStringLiteral("CREATE TRIGGER awaria BEFORE INSERT ON dane_wykaz_nagrod "
                                              "BEGIN SELECT RAISE(ABORT, 'dysk pełny'); END"));
    const QString before = dump(working.connection);
    const QByteArray fileBefore = fileHash(path);

    const QString message = errorOf([&] { mergeFile(path, merge::AllItems()); });

    EXPECT_TRUE(message.startsWith(QStringLiteral("Uwaga! Łączenie danych nie powiodło się"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("dysk pełny")));
    EXPECT_EQ(dump(working.connection), before);
    EXPECT_FALSE(working.connection.inTransaction());
    EXPECT_EQ(fileHash(path), fileBefore);
}

TEST_F(MergeFixture, ANewerSourceGivesOnlyWhatBothFilesHave)
{
    db::Connection& w = working.connection;
    w.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko, Email) VALUES ('Nowak Jan', 'dyrektor', NULL)"));
    const QString path = makeDataFile(file(QStringLiteral("nowsza.naj")), [](db::Connection& c) {
        c.execute(QStringLiteral("UPDATE wersja SET wersja = '2.3.0.0'"));
        // A field the working survey does not know, a table it does not know, a field and a table it has no more.
        c.execute(QStringLiteral("ALTER TABLE dane_kierownictwo ADD COLUMN Pokoj NVARCHAR(20)"));
        c.execute(QStringLiteral("ALTER TABLE dane_kierownictwo DROP COLUMN Email"));
        c.execute(QStringLiteral("CREATE TABLE dane_nowe (nazwa NVARCHAR(50))"));
        c.execute(QStringLiteral("INSERT INTO dane_nowe VALUES ('x')"));
        c.execute(QStringLiteral("DROP TABLE dane_wykaz_nagrod"));
        c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko, Pokoj) VALUES ('nowak jan', 'Dyrektor', '12')"));
        c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko, Pokoj) VALUES ('Bąk Ewa', 'zastępca', '14')"));
    });

    const auto outcomes = mergeFile(path, merge::AllItems());

    // The extra field takes no part: the first source row is held already, the second arrives without it.
    EXPECT_EQ(rowCount(w, QStringLiteral("dane_kierownictwo")), 2);
    EXPECT_EQ(w.scalar(QStringLiteral("SELECT Stanowisko FROM dane_kierownictwo WHERE Nazwisko = 'Bąk Ewa'")).toString(),
              QStringLiteral("zastępca"));
    EXPECT_FALSE(w.hasTable(QStringLiteral("dane_nowe")));
    EXPECT_EQ(rowCount(w, QStringLiteral("dane_wykaz_nagrod")), 0);
    for (const merge::StepOutcome& o : outcomes) {
        if (o.name == QStringLiteral("kierownictwo")) {
            EXPECT_EQ(o.rowsAdded, 1);
        }
    }
}

TEST_F(MergeFixture, ProgressShowsEveryCaptionAndTheStepsOfTickedItems)
{
    const QString path = makeDataFile(file(QStringLiteral("inna.naj")), fillSurvey);
    RecordingProgress progress;
    merge::MergeDataFile(working.connection, path, only({2, 7}), progress);

    EXPECT_EQ(progress.caption, QStringLiteral("Łączenie danych"));
    EXPECT_EQ(progress.maximum, 22);
    EXPECT_TRUE(progress.finished);
    ASSERT_EQ(progress.labels.size(), 23 + 1 + 2);
    EXPECT_EQ(progress.labels[0], QStringLiteral("1. Informacje o jednostce naukowej"));
    EXPECT_EQ(progress.labels[2], QStringLiteral("kierownictwo"));
    EXPECT_EQ(progress.labels[8], QStringLiteral("uprawnienia do nadawania stopni"));
    EXPECT_EQ(progress.labels[9], QStringLiteral("uprawnienia do nadawania stopni"));
    EXPECT_EQ(progress.labels.last(), QStringLiteral("Inne ważne informacje"));
}

TEST_F(MergeFixture, NumbersThatCannotBeMergedAreRefusedBeforeAnyChange)
{
    db::Connection& w = working.connection;
    w.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Zatr_poza_BR, Liczba_zreal_proj) VALUES (2000000000, -2000000000)"));
    w.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES ('Nowak Jan')"));
    const QString before = dump(w);
    auto otherFile = [&](const QString& name, const QString& sql) {
        return makeDataFile(file(name), [sql](db::Connection& c) {
            c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES ('Bąk Ewa')"));
            c.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Zatr_poza_BR, Liczba_zreal_proj, Pow_teren_wlasny) "
                                     "VALUES (2000000000, -2000000000, 10)"));
            for (int i = 1; i <= 3; ++i)
                c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer) VALUES (?, ?)"),
                          {i, QStringLiteral("P.%1").arg(i)});
            if (!sql.isEmpty())
                c.execute(sql);
        });
    };
    const auto refusal = [](const QString& table, const QString& field, int row, const QString& path) {
        return QStringLiteral("Łączenie danych nie jest możliwe: tabela %1, pole %2, wiersz %3 pliku %4.")
            .arg(table, field)
            .arg(row)
            .arg(path);
    };
    // Every item is ticked, and the offending one is late: nothing before it is merged either.
    const QString sums = otherFile(QStringLiteral("sumy.naj"), QString());
    QString message = errorOf([&] { mergeFile(sums, merge::AllItems()); });
    EXPECT_EQ(message.section(u'\n', 0, 0), refusal(QStringLiteral("dane_szczegolowe"), QStringLiteral("Zatr_poza_BR"), 1, sums));
    EXPECT_TRUE(message.section(u'\n', 1).startsWith(QStringLiteral("Szczegóły: "))) << message.toStdString();
    // Below the range as well (item 14 alone).
    EXPECT_EQ(errorOf([&] { mergeFile(sums, only({14})); }).section(u'\n', 0, 0),
              refusal(QStringLiteral("dane_szczegolowe"), QStringLiteral("Liczba_zreal_proj"), 1, sums));

    // Not a number in a list's whole-number field (row 3 of the other file) or in a decimal field.
    const QString letters = otherFile(QStringLiteral("litery.naj"),
                                      QStringLiteral("UPDATE dane_wykaz_patentow SET rodzaj = 'trzy' WHERE numer = 'P.3'"));
    EXPECT_EQ(errorOf([&] { mergeFile(letters, only({2, 15})); }).section(u'\n', 0, 0),
              refusal(QStringLiteral("dane_wykaz_patentow"), QStringLiteral("rodzaj"), 3, letters));
    const QString area = otherFile(QStringLiteral("powierzchnia.naj"),
                                   QStringLiteral("UPDATE dane_szczegolowe SET Pow_teren_wlasny = '12,5 ha'"));
    EXPECT_EQ(errorOf([&] { mergeFile(area, only({5})); }).section(u'\n', 0, 0),
              refusal(QStringLiteral("dane_szczegolowe"), QStringLiteral("Pow_teren_wlasny"), 1, area));
    EXPECT_EQ(dump(w), before);

    // Only ticked items count, and sums at the edge of the range are merged.
    w.execute(QStringLiteral("UPDATE dane_szczegolowe SET Zatr_poza_BR = 147483647, Liczba_zreal_proj = -147483648"));
    const auto outcomes = mergeFile(letters, only({2, 4, 14}));
    EXPECT_EQ(detail(w, QStringLiteral("Zatr_poza_BR")).toLongLong(), 2147483647);
    EXPECT_EQ(detail(w, QStringLiteral("Liczba_zreal_proj")).toLongLong(), -2147483648LL);
    EXPECT_EQ(rowCount(w, QStringLiteral("dane_kierownictwo")), 2);
    EXPECT_EQ(rowCount(w, QStringLiteral("dane_wykaz_patentow")), 0);
}
