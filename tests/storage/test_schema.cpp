#include "storage/journal_list.h"
#include "survey/reference_tables.h"
#include "storage/schema.h"
#include "support/temp_survey.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vestrum;
using vestrum::testing::TempSurvey;
using FT = db::FieldType;

namespace {

struct Expected {
    const char* table;
    const char* field;
    FT type;
};

// Fields as the survey defines them, typed independently of the schema's own table.
const Expected kExpected[] = {
    {"wersja", "wersja", FT::CodePageText},
    {"dane_szczegolowe", "Rok_sprawozdawczy", FT::CodePageText},
    {"dane_szczegolowe", "Zatr_BR_inne_N_kobiet", FT::Integer},
    {"dane_szczegolowe", "Zatr_BR_dr_EPC", FT::Number},
    {"dane_szczegolowe", "Liczba_cytowan_lista_A", FT::Integer},
    {"dane_szczegolowe", "Zrodlo_cytowan_lista_A", FT::UnicodeLongText},
    {"dane_szczegolowe", "Przych_inne_dzial_gosp", FT::Number},
    {"dane_szczegolowe", "Opis_systemow_jakosci", FT::CodePageLongText},
    {"dane_szczegolowe", "Najwazniejsze_osiagniecie", FT::CodePageLongText},
    {"dane_szczegolowe", "Wypelniajacy_email", FT::CodePageText},
    {"dane_szczegolowe", "Zatr_BR_sre_EPC", FT::Number},
    {"dane_szczegolowe", "Liczba_licencji_do_500", FT::Integer},
    {"dane_podstawowe", "id", FT::Integer},
    {"dane_podstawowe", "nazwa", FT::UnicodeText},
    {"dane_podstawowe", "DataZal", FT::CodePageText},
    {"dane_podstawowe", "Email", FT::CodePageText},
    {"dane_dyscypliny", "Dyscyplina", FT::CodePageText},
    {"dane_pkd", "rok", FT::Integer},
    {"dane_kierownictwo", "Nazwisko", FT::UnicodeText},
    {"dane_kierownictwo", "Stanowisko", FT::CodePageText},
    {"dane_wydawnictwa", "Naklad", FT::Integer},
    {"dane_czlonkostwo", "Nazwa_organizacji", FT::UnicodeText},
    {"dane_laboratoria", "Liczba_procedur", FT::Integer},
    {"dane_aparatura", "Wartosc_brutto", FT::Number},
    {"dane_aparatura", "Opis_innego_zrodla", FT::CodePageText},
    {"dane_wykaz_uprawnien", "zakres", FT::CodePageText},
    {"dane_wykaz_publikacji", "grupa", FT::Integer},
    {"dane_wykaz_publikacji", "Czasopismo_MEiN", FT::UnicodeText},
    {"dane_wykaz_publikacji", "Liczba_punktow", FT::Number},
    {"dane_wykaz_redaktor_czasopism", "grupa", FT::CodePageText},
    {"dane_wykaz_monografii", "Tytul_rozdzialu", FT::UnicodeText},
    {"dane_wykaz_redaktor_monografii", "rok_wydania", FT::CodePageText},
    {"dane_wykaz_kontraktow", "numer_ewid", FT::CodePageText},
    {"dane_wykaz_sieci_nauk", "wykaz_jednostek", FT::UnicodeText},
    {"dane_wykaz_konsorcjow", "zakres_dzialania", FT::UnicodeText},
    {"dane_wykaz_konferencji", "tytul_referatu", FT::UnicodeText},
    {"dane_wykaz_projektow", "naklady", FT::CodePageText},
    {"dane_wykaz_umow", "wartosc", FT::CodePageText},
    {"dane_wykaz_patentow", "dokument", FT::UnicodeText},
    {"dane_wykaz_umowy_patenty", "opis", FT::UnicodeText},
    {"dane_wykaz_praw_ochronnych", "zglaszajacy", FT::UnicodeText},
    {"dane_wykaz_procedur", "rodzaj", FT::CodePageText},
    {"dane_wykaz_wdrozen", "Przychody_wdrazajacego", FT::Number},
    {"dane_wykaz_wdrozen", "Niewymierne_efekty", FT::CodePageText},
    {"dane_wykaz_produktow", "cetryfikujacy", FT::UnicodeText},
    {"dane_wykaz_technologii", "wdrazajacy", FT::UnicodeText},
    {"dane_wykaz_wdrozen_chronionych", "data", FT::CodePageText},
    {"dane_wykaz_licencji", "oplata", FT::Number},
    {"dane_wykaz_dokonan", "nazwiska_tworcow", FT::UnicodeText},
    {"dane_wykaz_nagrod", "przyznajacy", FT::CodePageText},
};

} // namespace

TEST(Schema, EveryTableAndFieldExistsWithItsType)
{
    TempSurvey survey;
    EXPECT_EQ(survey.connection.userTables().size(), 32);
    for (const Expected& e : kExpected) {
        db::Table table(survey.connection, QString::fromUtf8(e.table));
        const QString field = QString::fromUtf8(e.field);
        ASSERT_TRUE(table.hasField(field)) << e.table << "." << e.field;
        EXPECT_EQ(table.field(field).type, e.type) << e.table << "." << e.field;
    }
    // Every date field is at least 10 characters wide, and bounded fields declare a width.
    for (const auto& def : schema::surveyTables()) {
        for (const auto& column : def.columns) {
            if (column.kind == schema::Kind::DateText) {
                EXPECT_GE(db::Table(survey.connection, def.name).field(column.name).size, 10);
            }
        }
    }
    EXPECT_EQ(db::Table(survey.connection, QStringLiteral("dane_szczegolowe")).fields().size(), 41u + 1 + 7 + 1 + 26 + 2 + 12);
}

TEST(Schema, LastingResourcesComeFirstInTheDetailsTable)
{
    const auto* details = schema::findSurveyTable(QStringLiteral("dane_szczegolowe"));
    ASSERT_NE(details, nullptr);
    QStringList lasting;
    for (int i = 0; i < schema::LastingResourceFieldCount; ++i)
        lasting << details->columns[static_cast<size_t>(i)].name;
    for (const char* kept : {"Zatr_BR_prof_N", "Zatr_BR_inne_EPC", "Zatr_poza_BR", "Pow_pom_wynaj_innym",
                             "Liczba_czas_pren_zagr", "Sr_trw_umoz_aparat", "Opis_systemow_jakosci",
                             "Wypelniajacy_email"})
        EXPECT_TRUE(lasting.contains(QString::fromUtf8(kept))) << kept;
    for (const char* yearly : {"Rok_sprawozdawczy", "Liczba_uzysk_dr", "Naklady_BR_z_amort", "Przych_BR_ogolem",
                               "Najwazniejsze_osiagniecie", "Inne_informacje"})
        EXPECT_FALSE(lasting.contains(QString::fromUtf8(yearly))) << yearly;
}

TEST(Schema, NewSurveyCarriesItsVersionAndNoRows)
{
    TempSurvey survey;
    EXPECT_EQ(survey.connection.scalar(QStringLiteral("select * from wersja")).toString(), schema::surveyFormatVersion());
    EXPECT_EQ(survey.connection.scalar(QStringLiteral("select count(*) from dane_szczegolowe")).toInt(), 0);
    // The licence counts rely on a numeric fee column.
    survey.connection.execute(QStringLiteral("insert into dane_wykaz_licencji (oplata) values (?)"), {1000000.01});
    EXPECT_EQ(survey.connection.scalar(QStringLiteral("select count(*) from dane_wykaz_licencji where oplata>1000000")).toInt(), 1);
}

TEST(ReferenceTables, DisciplinesAndClassificationsAreComplete)
{
    ASSERT_EQ(DisciplineTable().size(), 64);
    EXPECT_EQ(DisciplineTable().first().line(), QStringLiteral("01 - nauki filozoficzne"));
    EXPECT_EQ(DisciplineTable().at(24).line(), QStringLiteral("25 - fizyka"));
    EXPECT_EQ(DisciplineTable().last().code, QStringLiteral("64"));

    EXPECT_EQ(Pkd2007Table().size(), 1629);
    // 685 subclasses and the 62 divisions, 224 groups and 514 classes they imply.
    EXPECT_EQ(Pkd2004Table().size(), 1485);
    EXPECT_EQ(&PkdTable(2007), &Pkd2007Table());
    EXPECT_EQ(&PkdTable(2004), &Pkd2004Table());
    const CodeName* found = findCode(Pkd2007Table(), QStringLiteral("72.19.z"));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->code, QStringLiteral("72.19.Z"));
    EXPECT_EQ(findCode(Pkd2007Table(), QStringLiteral("99.99.Q")), nullptr);
}

TEST(JournalList, BuiltFromTheShippedListWithItsVersion)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    journals::createJournalListDatabase(path);
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    EXPECT_EQ(connection.scalar(QStringLiteral("select count(*) from lista_ministerstwa")).toInt(), 29037);
    EXPECT_EQ(connection.scalar(QStringLiteral("select * from wersja")).toString(), journals::shippedListVersion());
    db::Table list(connection, QStringLiteral("lista_ministerstwa"));
    for (const char* f : {"czasopismo", "punkty", "rodzaj", "skrot", "issn", "eissn"})
        EXPECT_TRUE(list.hasField(QString::fromUtf8(f))) << f;
    EXPECT_EQ(connection.scalar(QStringLiteral("select punkty from lista_ministerstwa where czasopismo=?"),
                                {QStringLiteral("2D Materials")}).toInt(), 140);

    // Every line of the shipped list is a row with its cells in their fields; empty texts are NULL.
    QFile shipped(QStringLiteral(":/data/journals.tsv"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(shipped.readAll()).split(u'\n', Qt::SkipEmptyParts);
    db::Query stored(connection, QStringLiteral("select czasopismo, punkty, rodzaj, skrot, issn, eissn from "
                                                "lista_ministerstwa order by rowid"));
    ASSERT_EQ(stored.recordCount(), lines.size() - 1);
    for (qsizetype l = 1; l < lines.size(); ++l, stored.next()) {
        const QStringList cells = lines[l].split(u'\t');
        ASSERT_EQ(cells.size(), 6) << l;
        EXPECT_EQ(stored.asUnicode(0), cells[0]) << l;
        EXPECT_EQ(stored.value(1), QVariant(cells[1].toLongLong())) << l;
        EXPECT_EQ(stored.value(2), QVariant(cells[2].toLongLong())) << l;
        for (int c = 3; c < 6; ++c)
            EXPECT_EQ(stored.value(c), cells[c].isEmpty() ? QVariant() : QVariant(cells[c])) << l << "/" << c;
    }
}
