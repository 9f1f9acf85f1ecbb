#include "storage/schema.h"

#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace vestrum::schema {
namespace {

using K = Kind;

constexpr int kDefaultTextWidth = 255;
constexpr int kDateWidth = 10;

// Widths of the bounded fields: generous for real names and titles, short enough to stop a
// paragraph pasted into a one-line field.
constexpr int kName = 250;
constexpr int kShort = 100;
constexpr int kPhone = 40;
constexpr int kEmail = 80;
constexpr int kRegon = 14;
constexpr int kCode = 50;

ColumnDef col(const char* name, Kind kind, int width = 0)
{
    return {QString::fromUtf8(name), kind, width};
}

TableDef table(const char* name, std::vector<ColumnDef> columns)
{
    return {QString::fromUtf8(name), std::move(columns)};
}

const char* const kStaff[] = {"prof", "hab", "dr", "wyz", "inne"};

void addStaffColumns(std::vector<ColumnDef>& columns, const char* measure, Kind kind)
{
    for (const char* staff : kStaff)
        columns.push_back({QStringLiteral("Zatr_BR_%1_%2").arg(QLatin1String(staff), QLatin1String(measure)), kind, 0});
}

TableDef detailsTable()
{
    std::vector<ColumnDef> c;
    // The first 41 fields describe the unit's lasting resources and are all that "load as
    // starting data" keeps; the year's results follow. Keep LastingResourceFieldCount in step.
    addStaffColumns(c, "N", K::Integer);
    addStaffColumns(c, "N_kobiet", K::Integer);
    addStaffColumns(c, "etat", K::Number);
    addStaffColumns(c, "EPC", K::Number);
    c.push_back(col("Zatr_poza_BR", K::Integer));
    for (const char* f : {"Pow_teren_wlasny", "Pow_teren_od_innych", "Pow_teren_dla_innych", "Pow_pom_wlasne",
                          "Pow_pom_wynaj_od", "Pow_pom_wynaj_innym"})
        c.push_back(col(f, K::Number));
    for (const char* f : {"Liczba_ksiazek", "Liczba_czasopism", "Liczba_czas_pren_kraj", "Liczba_czas_pren_zagr"})
        c.push_back(col(f, K::Integer));
    for (const char* f : {"Sr_trw_brutto_srodkow", "Sr_trw_brutto_aparat", "Sr_trw_umoz_aparat"})
        c.push_back(col(f, K::Number));
    c.push_back(col("Liczba_syst_jakosci", K::Integer));
    c.push_back(col("Opis_systemow_jakosci", K::LongTextCp));
    c.push_back(col("Wypelniajacy_nazwisko", K::CodePageText, kShort));
    c.push_back(col("Wypelniajacy_imie", K::CodePageText, kShort));
    c.push_back(col("Wypelniajacy_telefon", K::CodePageText, kPhone));
    c.push_back(col("Wypelniajacy_fax", K::CodePageText, kPhone));
    c.push_back(col("Wypelniajacy_email", K::CodePageText, kEmail));

    // The year's results.
    c.push_back(col("Rok_sprawozdawczy", K::CodePageText, 4));
    for (const char* f : {"Liczba_uzysk_prof", "Liczba_uzysk_prof_kobiety", "Liczba_uzysk_hab",
                          "Liczba_uzysk_hab_kobiety", "Liczba_uzysk_dr", "Liczba_uzysk_dr_kobiety",
                          "Liczba_cytowan_lista_A"})
        c.push_back(col(f, K::Integer));
    c.push_back(col("Zrodlo_cytowan_lista_A", K::LongText));
    for (const char* f : {"Naklady_BR_z_amort", "Naklady_biez_BR_ogolem", "Naklady_biez_BR_b_podst",
                          "Naklady_biez_BR_b_stos", "Naklady_biez_BR_p_rozw", "Naklady_inw_ogolem",
                          "Naklady_inw_aparat", "Naklady_inw_budynki", "Zrodla_fin_inwest_ogolem",
                          "Zrodla_fin_inwest_wlasne", "Zrodla_fin_inwest_budzet", "Zrodla_fin_inwest_budzet_nauka",
                          "Zrodla_fin_inwest_inne", "Przych_BR_ogolem", "Przych_BR_sfn_ogolem",
                          "Przych_BR_sfn_dot_statut", "Przych_BR_sfn_bad_wlas", "Przych_BR_sfn_spub",
                          "Przych_BR_sfn_sieci", "Przych_BR_budzet_inne", "Przych_BR_um_sprzed_ogolem",
                          "Przych_BR_um_sprzed_zagr", "Przych_BR_um_wyk_ogolem", "Przych_BR_um_wyk_zagr",
                          "Przych_inne", "Przych_inne_dzial_gosp"})
        c.push_back(col(f, K::Number));
    c.push_back(col("Najwazniejsze_osiagniecie", K::LongTextCp));
    c.push_back(col("Inne_informacje", K::LongTextCp));

    // Touched only by merging, which adds the other file's values.
    for (const char* f : {"Zatr_BR_prof_etat_kobiet", "Zatr_BR_hab_etat_kobiet", "Zatr_BR_dr_etat_kobiet",
                          "Zatr_BR_wyz_etat_kobiet", "Zatr_BR_inne_etat_kobiet", "Zatr_BR_sre_etat",
                          "Zatr_BR_sre_etat_kobiet", "Zatr_BR_sre_EPC"})
        c.push_back(col(f, K::Number));
    for (const char* f : {"Liczba_zreal_proj", "Liczba_licencji_od_1mln", "Liczba_licencji_500_1mln",
                          "Liczba_licencji_do_500"})
        c.push_back(col(f, K::Integer));
    return table("dane_szczegolowe", std::move(c));
}

TableDef basicTable()
{
    return table("dane_podstawowe",
                 {col("id", K::Integer), col("kod", K::CodePageText, kCode), col("nazwa", K::Text, kName),
                  col("Akronim", K::Text, kShort), col("Regon", K::CodePageText, kRegon),
                  col("DataZal", K::DateText, kDateWidth), col("Rodzaj", K::CodePageText, 120),
                  col("Kategoria", K::CodePageText, 30), col("Nadrzedna_nazwa", K::Text, kName),
                  col("Nadrzedna_REGON", K::CodePageText, kRegon), col("Nadzorujaca_nazwa", K::Text, kName),
                  col("Kod_pocztowy", K::CodePageText, 6), col("Miasto", K::Text, kShort),
                  col("Wojewodztwo", K::CodePageText, 30), col("Ulica", K::Text, kShort),
                  col("Numer", K::CodePageText, 20), col("Tel", K::CodePageText, kPhone),
                  col("Fax", K::CodePageText, kPhone), col("Email", K::CodePageText, kEmail)});
}

std::vector<TableDef> sectionTables()
{
    return {
        table("dane_dyscypliny", {col("Dyscyplina", K::CodePageText, 2)}),
        table("dane_pkd", {col("pkd", K::CodePageText, 10), col("rok", K::Integer)}),
        table("dane_kierownictwo", {col("Nazwisko", K::Text, kShort), col("Stanowisko", K::CodePageText, kShort),
                                    col("Telefon", K::CodePageText, kPhone), col("Email", K::CodePageText, kEmail)}),
        table("dane_wydawnictwa", {col("Tytul", K::Text, kName), col("Jezyk", K::CodePageText, 50),
                                   col("Naklad", K::Integer), col("Typ", K::CodePageText)}),
        table("dane_czlonkostwo", {col("Nazwisko", K::Text, kShort), col("Nazwa_organizacji", K::Text, kName),
                                   col("Data_wyboru", K::CodePageText, 4), col("Rodzaj_organizacji", K::CodePageText)}),
        table("dane_laboratoria", {col("Nazwa", K::CodePageText, kName), col("Profil", K::CodePageText),
                                   col("Jednostka_akredytujaca", K::CodePageText, kName),
                                   col("Liczba_procedur", K::Integer), col("Zakres_procedur", K::CodePageText)}),
        table("dane_aparatura",
              {col("Nazwa", K::CodePageText, kName), col("Producent", K::CodePageText, kShort),
               col("Rok_produkcji", K::Integer), col("Typ_urzadzenia", K::CodePageText, kShort),
               col("Typ_wyposazenia", K::CodePageText), col("Nazwa_lab_uzytkujacego", K::CodePageText, kName),
               col("Dane_techniczne", K::CodePageText), col("Zastosowanie", K::CodePageText),
               col("Wartosc_brutto", K::Number), col("Zrodlo_zakupu", K::CodePageText),
               col("Opis_innego_zrodla", K::CodePageText, kName)}),
    };
}

std::vector<TableDef> listTables()
{
    const Kind T = K::Text, C = K::CodePageText, D = K::DateText, I = K::Integer, N = K::Number;
    return {
        table("dane_wykaz_uprawnien", {col("rodzaj", C, 3), col("nazwa_stopnia", C), col("zakres", C, 2000)}),
        table("dane_wykaz_publikacji", {col("grupa", I), col("Czasopismo", T, kName), col("Tytul", T),
                                        col("Autorzy", T), col("Rok_tom_str", T), col("Czasopismo_MEiN", T),
                                        col("Liczba_punktow", N), col("lista", T, 10), col("ISSN", C, 9)}),
        table("dane_wykaz_redaktor_czasopism", {col("nazwisko_imie", T, kShort), col("tytul_czasopisma", T),
                                                col("ISSN", C, 9), col("grupa", C, 5)}),
        table("dane_wykaz_monografii", {col("grupa", I), col("Wydawca", T, kName), col("Tytul", T),
                                        col("Tytul_rozdzialu", T), col("Autorzy", T), col("Miejsce_rok_tom_str", T),
                                        col("Liczba_punktow", N)}),
        table("dane_wykaz_redaktor_monografii", {col("nazwisko_imie", T, kShort), col("tytul", T),
                                                 col("wydawnictwo", T, kName), col("rok_wydania", C, 4),
                                                 col("jezyk", C)}),
        table("dane_wykaz_kontraktow", {col("rodzaj", I), col("nazwa", T, kName), col("symbol", T, kCode),
                                        col("numer_ewid", C, kCode)}),
        table("dane_wykaz_sieci_nauk", {col("nazwa_sieci", T, kName), col("opis_sieci", T), col("wykaz_jednostek", T)}),
        table("dane_wykaz_konsorcjow", {col("nazwa", T, kName), col("zakres_dzialania", T), col("wykaz_jednostek", T)}),
        table("dane_wykaz_konferencji", {col("rodzaj", I), col("nazwa", T, kName), col("tytul_referatu", T, kName)}),
        table("dane_wykaz_projektow", {col("rodzaj", I), col("symbol", T, kCode), col("tytul", T, kName),
                                       col("data_rozpoczecia", D, kDateWidth), col("data_zakonczenia", D, kDateWidth),
                                       col("kierownik", T, kShort), col("naklady", C, 30)}),
        table("dane_wykaz_umow", {col("rodzaj", I), col("symbol", C, kCode), col("tytul", C, kName),
                                  col("wartosc", C, 30), col("zlecajacy", C, kName),
                                  col("data_rozpoczecia", D, kDateWidth), col("data_zakonczenia", D, kDateWidth)}),
        table("dane_wykaz_patentow", {col("rodzaj", I), col("numer", C, kCode), col("data", D, kDateWidth),
                                      col("tytul", T), col("nazwiska_tworcow", T), col("uprawniony", T),
                                      col("dokument", T)}),
        table("dane_wykaz_umowy_patenty", {col("opis", T)}),
        table("dane_wykaz_praw_ochronnych", {col("rodzaj", I), col("numer", C, kCode), col("data", D, kDateWidth),
                                             col("tytul", T), col("nazwiska_tworcow", T), col("zglaszajacy", T)}),
        table("dane_wykaz_procedur", {col("rodzaj", C), col("data", D, kDateWidth), col("opis", T),
                                      col("nazwiska_tworcow", T)}),
        table("dane_wykaz_wdrozen", {col("Tytul", C, kName), col("Slowa_klucz", C, kName),
                                     col("Przychody_jednostki", N), col("Opis_efektow", C),
                                     col("Jednostka_wdrazajaca", C, kName), col("Forma_prawna", C, kShort),
                                     col("Wycena_wartosci", C, kShort), col("Przychody_wdrazajacego", N),
                                     col("Niewymierne_efekty", C)}),
        table("dane_wykaz_produktow", {col("rodzaj", I), col("nazwa_opis", T), col("cetryfikujacy", T),
                                       col("numer", T, kCode), col("data", D, kDateWidth), col("wdrazajacy", T)}),
        table("dane_wykaz_technologii", {col("nazwa_opis", T), col("numer", T, kCode), col("data", D, kDateWidth),
                                         col("wdrazajacy", T)}),
        table("dane_wykaz_wdrozen_chronionych", {col("nazwa_opis", T), col("data", D, kDateWidth),
                                                 col("wdrazajacy", T)}),
        table("dane_wykaz_licencji", {col("nazwa_opis", T), col("data", D, kDateWidth), col("licencjonobiorca", T),
                                      col("oplata", N)}),
        table("dane_wykaz_dokonan", {col("nazwa", T), col("data", D, kDateWidth), col("opis", T),
                                     col("nazwiska_tworcow", T)}),
        table("dane_wykaz_nagrod", {col("rodzaj", I), col("kraj_zagr", C, 30), col("typ", C, kName),
                                    col("przyznajacy", C, kName)}),
    };
}

std::vector<TableDef> buildSurveyTables()
{
    std::vector<TableDef> tables;
    tables.push_back(table("wersja", {col("wersja", K::CodePageText, 20)}));
    tables.push_back(detailsTable());
    tables.push_back(basicTable());
    for (auto& t : sectionTables())
        tables.push_back(std::move(t));
    for (auto& t : listTables())
        tables.push_back(std::move(t));
    return tables;
}

QString createStatement(const TableDef& table)
{
    QStringList columns;
    for (const ColumnDef& column : table.columns)
        columns.append(QStringLiteral("\"%1\" %2").arg(column.name, columnDeclaration(column)));
    return QStringLiteral("CREATE TABLE \"%1\" (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
}

} // namespace

QString databasePassword()
{
    return QStringLiteral("3118qk");
}

QString legacyDatabasePassword()
{
    return QStringLiteral("qk3116");
}

QString surveyFormatVersion()
{
    return QStringLiteral("2.2.1.0");
}

const std::vector<TableDef>& surveyTables()
{
    static const std::vector<TableDef> tables = buildSurveyTables();
    return tables;
}

const TableDef* findSurveyTable(const QString& name)
{
    for (const TableDef& t : surveyTables()) {
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

QString columnDeclaration(const ColumnDef& column)
{
    const int width = column.width > 0 ? column.width : (column.kind == Kind::DateText ? kDateWidth : kDefaultTextWidth);
    switch (column.kind) {
    case Kind::Text:
        return QStringLiteral("NVARCHAR(%1)").arg(width);
    case Kind::CodePageText:
    case Kind::DateText:
        return QStringLiteral("VARCHAR(%1)").arg(width);
    case Kind::LongText:
        return QStringLiteral("NTEXT");
    case Kind::LongTextCp:
        return QStringLiteral("TEXT");
    case Kind::Integer:
        return QStringLiteral("INTEGER");
    case Kind::Number:
        return QStringLiteral("REAL");
    }
    return QStringLiteral("TEXT");
}

void createSurveyTables(db::Connection& connection)
{
    db::Transaction transaction(connection);
    for (const TableDef& t : surveyTables())
        connection.execute(createStatement(t));
    connection.execute(QStringLiteral("INSERT INTO wersja (wersja) VALUES (?)"), {surveyFormatVersion()});
    transaction.commit();
}

int addMissingSurveyColumns(db::Connection& connection, const QString& table)
{
    const TableDef* definition = findSurveyTable(table);
    if (definition == nullptr || !connection.hasTable(table))
        return 0;
    const std::vector<db::FieldInfo> present = connection.tableFields(table);
    int added = 0;
    for (const ColumnDef& column : definition->columns) {
        const bool there = std::any_of(present.begin(), present.end(), [&column](const db::FieldInfo& field) {
            return field.name.compare(column.name, Qt::CaseInsensitive) == 0;
        });
        if (there)
            continue;
        connection.execute(QStringLiteral("ALTER TABLE \"%1\" ADD COLUMN \"%2\" %3")
                               .arg(definition->name, column.name, columnDeclaration(column)));
        ++added;
    }
    return added;
}

void createSurveyDatabase(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Built under a temporary name, so a failure never leaves a half-made survey behind.
    const QString temporary = path + QStringLiteral(".new");
    QFile::remove(temporary);
    try {
        db::Connection::create(temporary, databasePassword());
        db::Connection connection;
        connection.open(temporary, databasePassword());
        createSurveyTables(connection);
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

} // namespace vestrum::schema
