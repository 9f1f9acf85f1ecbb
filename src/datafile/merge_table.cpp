#include "datafile/merge_table.h"

namespace vestrum::merge {
namespace {

QString u8s(const char* text)
{
    return QString::fromUtf8(text);
}

MergeStep rows(const char* table, const char* name)
{
    return {MergeStep::Kind::Rows, u8s(table), 0, u8s(name)};
}

MergeStep fields(int group, const char* name)
{
    return {MergeStep::Kind::Fields, QString(), group, u8s(name)};
}

} // namespace

QString detailsTable()
{
    return QStringLiteral("dane_szczegolowe");
}

// Captions and step names are the merge window's own texts, spaces and asterisks included.
const std::vector<MergeItem>& MergeItems()
{
    static const std::vector<MergeItem> items = {
        {u8s("1. Informacje o jednostce naukowej"),
            {rows("dane_dyscypliny", "dyscypliny naukowe"), rows("dane_pkd", "PKD")}},
        {u8s("2. Informacje o kierowniku jednostki naukowej "), {rows("dane_kierownictwo", "kierownictwo")}},
        {u8s("3. Zatrudnienie w działalności B+R (badania naukowe i prace rozwojowe)* "),
            {fields(1, "zatrudnienie w B+R")}},
        {u8s("4. Ogólna liczba osób, dla których jednostka jest podstawowym miejscem pracy "),
            {fields(2, "zatrudnienie ogolem")}},
        {u8s("5. Warunki lokalowe*"), {fields(3, "warunki lokalowe")}},
        {u8s("6. Dane o bazie bibliotecznej*"), {fields(4, "baza biblioteczna")}},
        {u8s("7. Uprawnienia do nadawania stopni"),
            {fields(5, "uprawnienia do nadawania stopni"),
                rows("dane_wykaz_uprawnien", "uprawnienia do nadawania stopni")}},
        {u8s("8. Dane o publikacjach naukowych i monografiach"),
            {rows("dane_wykaz_publikacji", "publikacje"),
                rows("dane_wykaz_redaktor_czasopism", "redaktorzy czasopism"),
                rows("dane_wykaz_monografii", "monografie"),
                rows("dane_wykaz_redaktor_monografii", "redaktorzy monografii"), fields(14, "liczba cytowań")}},
        {u8s("9. Wydawnictwa własne"), {rows("dane_wydawnictwa", "wydawnictwa")}},
        {u8s("10. Członkostwo z wyboru w organizacjach naukowych i komitetach redakcyjnych czasopism naukowych o "
              "zasięgu światowym"),
            {rows("dane_czlonkostwo", "członkostwo w org. mnar.")}},
        {u8s("11. Udział w międzynarodowych programach naukowych"),
            {rows("dane_wykaz_kontraktow", "kontakty mnar.")}},
        {u8s("12. Udział w sieciach naukowych lub konsorcjach naukowo-przemysłowych"),
            {rows("dane_wykaz_sieci_nauk", "sieci naukowe"), rows("dane_wykaz_konsorcjow", "konsorcja")}},
        {u8s("13. Konferencje naukowe "), {rows("dane_wykaz_konferencji", "konferencje")}},
        {u8s("14. Zrealizowane projekty*  badawcze, projekty celowe, projekty rozwojowe, umowy**  z innymi "
              "podmiotami"),
            {fields(6, "projekty"), rows("dane_wykaz_projektow", "wykazy projektów"),
                rows("dane_wykaz_umow", "wykazy umów")}},
        {u8s("15. Patenty i wdrożenia"),
            {rows("dane_wykaz_patentow", "patenty"), rows("dane_wykaz_umowy_patenty", "umowy patentowe"),
                rows("dane_wykaz_praw_ochronnych", "prawa ochronne"), rows("dane_wykaz_procedur", "procedury"),
                rows("dane_wykaz_wdrozen", "wdrożenia"), rows("dane_wykaz_produktow", "produkty"),
                rows("dane_wykaz_technologii", "technologie"),
                rows("dane_wykaz_wdrozen_chronionych", "wdrożenia chronione"), rows("dane_wykaz_licencji", "licencje"),
                rows("dane_wykaz_dokonan", "dokonania")}},
        {u8s("16. Nagrody i wyróżnienia"), {rows("dane_wykaz_nagrod", "nagrody i wyróżnienia")}},
        {u8s("17. Dane finansowe dotyczące działalności B+R "), {fields(8, "dane finansowe")}},
        {u8s("18. Przychody ogółem "), {fields(9, "przychody")}},
        {u8s("19. Środki trwałe "), {fields(10, "środki trwałe")}},
        {u8s("20. Laboratoria badawcze posiadające akredytację polskiego centrum akredytacji"),
            {rows("dane_laboratoria", "laboratoria"), fields(12, "systemy jakości")}},
        {u8s("21. Aparatura naukowo-badawcza zakupiona w roku, którego dotyczy ankieta i wartość jednostkowa zakupu "
              "(brutto), jeżeli wynosi powyżej 500.000 zł "),
            {rows("dane_aparatura", "aparatura")}},
        {u8s("22. Informacja o najważniejszym osiągnięciu jednostki w roku, którego dotyczy ankieta"),
            {fields(11, "najważniejsze osiągnięcie")}},
        {u8s("Inne ważne informacje"), {fields(13, "inne ważne informacje")}},
   };
    return items;
}

const QStringList& FieldGroup(int group)
{
    static const std::vector<QStringList> groups = {
        {QStringLiteral("Zatr_BR_prof_N"), QStringLiteral("Zatr_BR_prof_N_kobiet"), QStringLiteral("Zatr_BR_hab_N"),
            QStringLiteral("Zatr_BR_hab_N_kobiet"), QStringLiteral("Zatr_BR_dr_N"),
            QStringLiteral("Zatr_BR_dr_N_kobiet"), QStringLiteral("Zatr_BR_wyz_N"),
            QStringLiteral("Zatr_BR_wyz_N_kobiet"), QStringLiteral("Zatr_BR_inne_N"),
            QStringLiteral("Zatr_BR_inne_N_kobiet"), QStringLiteral("Zatr_BR_prof_etat"),
            QStringLiteral("Zatr_BR_prof_etat_kobiet"), QStringLiteral("Zatr_BR_prof_EPC"),
            QStringLiteral("Zatr_BR_hab_etat"), QStringLiteral("Zatr_BR_hab_etat_kobiet"),
            QStringLiteral("Zatr_BR_hab_EPC"), QStringLiteral("Zatr_BR_dr_etat"),
            QStringLiteral("Zatr_BR_dr_etat_kobiet"), QStringLiteral("Zatr_BR_dr_EPC"),
            QStringLiteral("Zatr_BR_wyz_etat"), QStringLiteral("Zatr_BR_wyz_etat_kobiet"),
            QStringLiteral("Zatr_BR_wyz_EPC"), QStringLiteral("Zatr_BR_sre_etat"),
            QStringLiteral("Zatr_BR_sre_etat_kobiet"), QStringLiteral("Zatr_BR_sre_EPC"),
            QStringLiteral("Zatr_BR_inne_etat"), QStringLiteral("Zatr_BR_inne_etat_kobiet"),
            QStringLiteral("Zatr_BR_inne_EPC")},
        {QStringLiteral("Zatr_poza_BR")},
        {QStringLiteral("Pow_teren_wlasny"), QStringLiteral("Pow_teren_od_innych"),
            QStringLiteral("Pow_teren_dla_innych"), QStringLiteral("Pow_pom_wlasne"),
            QStringLiteral("Pow_pom_wynaj_od"), QStringLiteral("Pow_pom_wynaj_innym")},
        {QStringLiteral("Liczba_ksiazek"), QStringLiteral("Liczba_czasopism"), QStringLiteral("Liczba_czas_pren_kraj"),
            QStringLiteral("Liczba_czas_pren_zagr")},
        {QStringLiteral("Liczba_uzysk_dr"), QStringLiteral("Liczba_uzysk_dr_kobiety"),
            QStringLiteral("Liczba_uzysk_hab"), QStringLiteral("Liczba_uzysk_hab_kobiety"),
            QStringLiteral("Liczba_uzysk_prof"), QStringLiteral("Liczba_uzysk_prof_kobiety")},
        {QStringLiteral("Liczba_zreal_proj")},
        {QStringLiteral("Liczba_licencji_od_1mln"), QStringLiteral("Liczba_licencji_500_1mln"),
            QStringLiteral("Liczba_licencji_do_500")},
        {QStringLiteral("Naklady_BR_z_amort"), QStringLiteral("Naklady_biez_BR_ogolem"),
            QStringLiteral("Naklady_biez_BR_b_podst"), QStringLiteral("Naklady_biez_BR_b_stos"),
            QStringLiteral("Naklady_biez_BR_p_rozw"), QStringLiteral("Naklady_inw_ogolem"),
            QStringLiteral("Naklady_inw_budynki"), QStringLiteral("Naklady_inw_aparat"),
            QStringLiteral("Zrodla_fin_inwest_ogolem"), QStringLiteral("Zrodla_fin_inwest_wlasne"),
            QStringLiteral("Zrodla_fin_inwest_budzet"), QStringLiteral("Zrodla_fin_inwest_budzet_nauka"),
            QStringLiteral("Zrodla_fin_inwest_inne")},
        {QStringLiteral("Przych_BR_ogolem"), QStringLiteral("Przych_BR_sfn_ogolem"),
            QStringLiteral("Przych_BR_sfn_dot_statut"), QStringLiteral("Przych_BR_sfn_bad_wlas"),
            QStringLiteral("Przych_BR_sfn_spub"), QStringLiteral("Przych_BR_sfn_sieci"),
            QStringLiteral("Przych_BR_budzet_inne"), QStringLiteral("Przych_BR_um_sprzed_ogolem"),
            QStringLiteral("Przych_BR_um_sprzed_zagr"), QStringLiteral("Przych_BR_um_wyk_ogolem"),
            QStringLiteral("Przych_BR_um_wyk_zagr"), QStringLiteral("Przych_inne"),
            QStringLiteral("Przych_inne_dzial_gosp")},
        {QStringLiteral("Sr_trw_brutto_srodkow"), QStringLiteral("Sr_trw_brutto_aparat"),
            QStringLiteral("Sr_trw_umoz_aparat")},
        {QStringLiteral("Najwazniejsze_osiagniecie")},
        {QStringLiteral("Liczba_syst_jakosci"), QStringLiteral("Opis_systemow_jakosci")},
        {QStringLiteral("Inne_informacje")},
        {QStringLiteral("Liczba_cytowan_lista_A"), QStringLiteral("Zrodlo_cytowan_lista_A")},
   };
    static const QStringList none;
    if (group < 1 || group > FieldGroupCount)
        return none;
    return groups[static_cast<size_t>(group - 1)];
}

QStringList MergedFieldNames()
{
    QStringList names;
    for (int group = 1; group <= FieldGroupCount; ++group)
        names += FieldGroup(group);
    return names;
}

} // namespace vestrum::merge
