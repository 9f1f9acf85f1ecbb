#include "lists/entry_pages.h"

#include "base/error.h"
#include "lists/entry_checks.h"
#include "lists/list_catalogue.h"

#include <algorithm>

namespace vestrum::lists {
namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list << S(t);
    return list;
}

using In = EntryInput;
using Ck = EntryCheck;
using Ro = EntryRole;

// One row as the page tables read: caption, input and the table field it fills, then what differs.
struct Row {
    EntryField f;

    Row(const char* caption, In input, const char* field)
    {
        f.caption = S(caption);
        f.input = input;
        f.field = S(field);
    }
    Row& optional()
    {
        f.need = EntryNeed::Optional;
        return *this;
    }
    Row& readOnly()
    {
        f.need = EntryNeed::ReadOnly;
        return *this;
    }
    Row& check(Ck c)
    {
        f.check = c;
        return *this;
    }
    Row& items(QStringList i)
    {
        f.items = std::move(i);
        return *this;
    }
    // A fixed list that starts with "- wybierz -".
    Row& choose(std::initializer_list<const char*> i)
    {
        f.items = QStringList{ChooseItem()} + L(i);
        return *this;
    }
    Row& moves()
    {
        f.movesOnChoice = true;
        return *this;
    }
    Row& role(Ro r)
    {
        f.role = r;
        return *this;
    }
    Row& only(std::vector<int> kinds)
    {
        f.kinds = std::move(kinds);
        return *this;
    }
    Row& captionFor(std::vector<int> kinds, const char* caption)
    {
        f.kindCaptions.emplace_back(std::move(kinds), S(caption));
        return *this;
    }
    Row& itemsFor(std::vector<int> kinds, QStringList items)
    {
        f.kindItems.emplace_back(std::move(kinds), std::move(items));
        return *this;
    }
};

// Memo rows hold Unicode text; single-line rows hold code-page text (the table's own field types
// follow the same split).
Row line(const char* caption, const char* field) { return Row(caption, In::Line, field); }
Row memo(const char* caption, const char* field) { return Row(caption, In::Memo, field); }
Row choice(const char* caption, const char* field) { return Row(caption, In::Choice, field); }
Row date(const char* caption, const char* field) { return line(caption, field).check(Ck::Date); }

const char* const kRightsCaption = "Jednostka posiada uprawnienia do nadawania stopnia naukowego doktora";
const char* const kRightsCaptionHab = "Jednostka posiada uprawnienia do nadawania stopnia naukowego doktora habilitowanego";
const char* const kCreators = "Nazwiska twórców z jednostki naukowej";
const char* const kImplementer = "Nazwa podmiotu gospodarczego wdrażającego";

EntryPage page(const char* caption, const char* heading, std::initializer_list<Row> rows)
{
    EntryPage p;
    p.caption = S(caption);
    p.heading = S(heading);
    for (const Row& r : rows)
        p.fields.push_back(r.f);
    return p;
}

std::vector<EntryPage> build()
{
    std::vector<EntryPage> pages;

    pages.push_back(page("kierownik", "Informacje o kierowniku jednostki naukowej",
                         {memo("Nazwisko i imię", "Nazwisko"), memo("Stanowisko służbowe ", "Stanowisko"),
                          memo("Telefon służbowy", "Telefon"), memo("E-mail", "Email").optional()}));

    pages.push_back(page("uprawnienia dr", "",
                         {choice(kRightsCaption, "nazwa_stopnia").role(Ro::Domain).captionFor({2}, kRightsCaptionHab),
                          Row("w zakresie", In::CheckList, "zakres").optional().role(Ro::Disciplines)}));

    pages.push_back(page(
        "publikacje", "",
        {line("Czasopismo", "Czasopismo").role(Ro::Journal),
         memo("Czasopismo z listy ministerstwa", "Czasopismo_MEiN").optional().role(Ro::ListedJournal),
         memo("Tytuł", "Tytul"), memo("Autor (Autorzy)", "Autorzy"), memo("Rok, tom, str.", "Rok_tom_str"),
         line("Liczba punktów (zgodnie z punktacją zamieszczoną na liście Ministerstwa)", "Liczba_punktow")
             .readOnly()
             .role(Ro::JournalPoints),
         line("ISSN", "ISSN").optional().role(Ro::Issn)}));

    pages.push_back(page("redaktor czasopisma", "",
                         {memo("Nazwisko i imię", "nazwisko_imie"), memo("Tytuł redagowanego czasopisma", "tytul_czasopisma"),
                          line("Numer ISSN czasopisma", "ISSN"),
                          choice("Grupa, do której należy czasopismo (zgodnie z podziałem zamieszczonym w Rozporządzeniu)",
                                 "grupa")
                              .choose({"8.1.a", "8.1.b", "8.1.c", "8.1.d"})
                              .moves()}));

    pages.push_back(page("monografie", "",
                         {memo("Wydawca monografii", "Wydawca"), memo("Tytuł monografii", "Tytul"),
                          memo("Tytuł rozdziału", "Tytul_rozdzialu").only({9, 11}), memo("Autor (Autorzy)", "Autorzy"),
                          memo("Rok, tom, str.", "Miejsce_rok_tom_str"),
                          line("Liczba punktów (zgodnie z kartą oceny parametrycznej)", "Liczba_punktow")
                              .readOnly()
                              .role(Ro::FixedPoints)}));

    pages.push_back(page("redaktor monografii", "",
                         {memo("Nazwisko i imię", "nazwisko_imie"), memo("Tytuł redagowanej pozycji", "tytul"),
                          memo("Wydawnictwo", "wydawnictwo"), line("Rok wydania", "rok_wydania").check(Ck::Integer),
                          choice("Język publikacji", "jezyk")
                              .choose({"angielski lub podstawowy dla danej dyscypliny", "język polski", "inny"})
                              .moves()}));

    pages.push_back(page("wydawnictwa", "Wydawnictwa własne",
                         {memo("Tytuł", "Tytul"), line("Język", "Jezyk").optional(),
                          line("Nakład", "Naklad").optional().check(Ck::Integer),
                          choice("Typ", "Typ").choose({"periodyczne", "zwarte"}).moves()}));

    pages.push_back(page("członkostwo",
                         "Członkostwo z wyboru w organizacjach naukowych i komitetach redakcyjnych czasopism naukowych o "
                         "zasięgu światowym",
                         {memo("Nazwisko i imię", "Nazwisko"), memo("Nazwa organizacji /czasopisma", "Nazwa_organizacji"),
                          line("Rok wyboru", "Data_wyboru").check(Ck::ElectionYear),
                          choice("Rodzaj organizacji", "Rodzaj_organizacji")
                              .choose({"międzynarodowa organizacja naukowa", "Polska Akademia Nauk",
                                       "Polska Akademia Umiejętności", "inne"})
                              .moves()}));

    pages.push_back(page("kontrakty", "",
                         {memo("Nazwa", "nazwa"), memo("Symbol", "symbol").optional(),
                          line("Numer ewidencyjny", "numer_ewid").optional()}));

    pages.push_back(page("sieci", "",
                         {memo("Nazwa sieci", "nazwa_sieci"), memo("Opis specjalności naukowej sieci", "opis_sieci"),
                          memo("Wykaz jednostek naukowych tworzących sieć naukową", "wykaz_jednostek")}));

    pages.push_back(page("konsorcja", "",
                         {memo("Nazwa konsorcjum", "nazwa"), memo("Zakres działania konsorcjum", "zakres_dzialania"),
                          memo("Wykaz jednostek wchodzących w skład konsorcjum", "wykaz_jednostek")}));

    pages.push_back(page("konferencje", "", {memo("Nazwa konferencji", "nazwa")}));

    pages.push_back(page("referaty 2", "",
                         {choice("Nazwa konferencji", "nazwa").role(Ro::StoredConferences),
                          memo("Tytuł referatu", "tytul_referatu")}));

    pages.push_back(page("referaty", "", {memo("Nazwa konferencji", "nazwa"), memo("Tytuł referatu", "tytul_referatu")}));

    pages.push_back(page("projekty", "",
                         {memo("Numer projektu", "symbol"), memo("Tytuł projektu", "tytul"),
                          date("Data rozpoczęcia (dd/mm/rrrr)", "data_rozpoczecia"),
                          date("Data zakończenia (dd/mm/rrrr)", "data_zakonczenia"),
                          memo("Kierownik projektu", "kierownik"),
                          line("Nakłady na projekt w zł", "naklady").check(Ck::Amount).only({25}),
                          choice("Wysokość udziału finansowego wnioskodawcy", "naklady")
                              .choose({"powyżej 500.000 zł", "od 200.000 do 500.000 zł", "poniżej 200.000 zł"})
                              .moves()
                              .only({26})}));

    pages.push_back(page("umowy", "",
                         {line("Symbol umowy", "symbol").optional(), line("Przedmiot umowy", "tytul"),
                          line("Jednostka zlecająca", "zlecajacy"), line("Wartość", "wartosc").check(Ck::ContractValue),
                          date("Data rozpoczęcia  (dd/mm/rrrr)", "data_rozpoczecia"),
                          date("Data zakończenia (dd/mm/rrrr)", "data_zakonczenia").optional()}));

    const QStringList documents31 =
        L({"- wybierz -",
           "kopia zgłoszenia do polskiego Urzędu Patentowego podmiotu gospodarczego informującego o zastosowaniu patentu",
           "oświadczenie o uzyskaniu przez twórców wynagrodzenia ze stosowania wynalazku", "inny dokument"});
    const QStringList documents = L({"- wybierz -", "oświadczenie podmiotu gospodarczego o zastosowaniu patentu",
                                     "oświadczenie o uzyskaniu przez twórców z jednostki wynagrodzenia ze stosowania patentu",
                                     "inny dokument"});
    pages.push_back(page(
        "patenty", "",
        {line("Numer patentu", "numer").captionFor({34, 35}, "Numer zgłoszenia"),
         date("Data opublikowania  (dd/mm/rrrr)", "data").captionFor({34, 35}, "Data zgłoszenia  (dd/mm/rrrr)"),
         memo("Tytuł (nazwa)", "tytul"), memo(kCreators, "nazwiska_tworcow"),
         memo("Uprawniony z patentu (właściciel/współwłaściciel)", "uprawniony")
             .captionFor({34, 35}, "Nazwa jednostki zgłaszającej wynalazek do opatentowania"),
         Row("Rodzaj posiadanego dokumentu potwierdzającego", In::EditableChoice, "dokument")
             .only({29, 31, 32})
             .items(documents)
             .itemsFor({31}, documents31)}));

    pages.push_back(page("umowy_patenty", "",
                         {memo("Informacja o umowie zawartej z podmiotem gospodarczym o wspólności prawa do patentu (data "
                               "zawarcia umowy)",
                               "opis")}));

    pages.push_back(page("prawa ochronne", "",
                         {line("Numer rejestracyjny", "numer").only({36, 37}),
                          date("Data uzyskania  (dd/mm/rrrr)", "data").captionFor({37}, "Data zgłoszenia  (dd/mm/rrrr)"),
                          memo("Tytuł (nazwa)", "tytul"), memo(kCreators, "nazwiska_tworcow"),
                          memo("Jednostka zgłaszająca wzór do ochrony", "zglaszajacy").only({36, 37})}));

    pages.push_back(page("procedury", "",
                         {choice("Zasięg procedury", "rodzaj").choose({"krajowa", "międzynarodowa"}).moves(),
                          date("Data wprowadzenia  (dd/mm/rrrr)", "data"), memo("Opis/tytuł (nazwa)", "opis"),
                          memo(kCreators, "nazwiska_tworcow")}));

    pages.push_back(page(
        "wdrożenia", "",
        {line("Tytuł przedsięwzięcia", "Tytul"), line("Słowa kluczowe", "Slowa_klucz"),
         line("Przychody jednostki naukowej (uzyskane wpływy) z tytułu wdrożenia", "Przychody_jednostki").check(Ck::Amount),
         line("Opis efektów praktycznych, gospodarczych lub społecznych uzyskanych poza jednostką", "Opis_efektow"),
         line("Jednostka wdrażająca", "Jednostka_wdrazajaca"), line("Forma prawna przekazania wyników", "Forma_prawna"),
         line("Wycena wartości przekazanych wyników badań", "Wycena_wartosci").optional(),
         line("Przychody z tytułu wdrożenia prac B + R jednostki wdrażającej", "Przychody_wdrazajacego").check(Ck::Amount),
         line("Niewymierne efekty wdrożenia (np. społeczne, środowiskowe, zdrowotne) uzyskane poza jednostką naukową, "
              "jeżeli nie można ich wyrazić w złotych",
              "niewymierne_efekty")
             .optional()}));

    pages.push_back(page("produkty", "",
                         {memo("Nazwa/opis produktu/efektu prac B + R jednostki naukowej", "nazwa_opis"),
                          memo("Nazwa jednostki certyfikującej", "cetryfikujacy"), memo("Numer certyfikatu", "numer"),
                          date("Data certyfikacji  (dd/mm/rrrr)", "data"), memo(kImplementer, "wdrazajacy")}));

    pages.push_back(page("technologie", "",
                         {memo("Nazwa/opis technologii", "nazwa_opis"),
                          memo("Numer świadectwa potwierdzającego uzyskanie pozwolenia zintegrowanego", "numer"),
                          date("Data świadectwa potwierdzającego uzyskanie pozwolenia zintegrowanego (dd/mm/rrrr)", "data"),
                          memo(kImplementer, "wdrazajacy")}));

    pages.push_back(page("wdrożenia chronione", "",
                         {memo("Nazwa/opis produktu", "nazwa_opis"),
                          date("Data uzyskania praw ochronnych  (dd/mm/rrrr)", "data"), memo(kImplementer, "wdrazajacy")}));

    pages.push_back(page("licencje", "",
                         {memo("Nazwa/opis licencji", "nazwa_opis"), date("Data sprzedaży  (dd/mm/rrrr)", "data"),
                          memo("Licencjobiorca", "licencjonobiorca"),
                          line("Wysokość opłaty licencyjnej ( w PLN)", "oplata").check(Ck::Amount)}));

    pages.push_back(page("dokonania", "",
                         {memo("Nazwa dokonania", "nazwa"), line("Data realizacji", "data"),
                          memo("Opis dokonania, zakres upowszechniania, miejsce prezentacji, itp. ", "opis"),
                          memo(kCreators, "nazwiska_tworcow")}));

    pages.push_back(page("nagrody", "",
                         {choice("Krajowa czy zagraniczna", "kraj_zagr").choose({"krajowa", "zagraniczna"}).role(Ro::AwardOrigin),
                          line("Rodzaj nagrody lub wyróżnienia", "typ"),
                          Row("Przyznana przez", In::EditableChoice, "przyznajacy").moves().role(Ro::AwardGiver)}));

    pages.push_back(page("laboratoria",
                         "Laboratoria badawcze posiadające akredytację polskiego centrum  akredytacji lub inną "
                         "równorzędną, systemy jakości",
                         {line("Nazwa laboratorium", "Nazwa"), line("Profil działalności", "Profil"),
                          line("Jednostka akredytująca", "Jednostka_akredytujaca"),
                          line("Liczba procedur", "Liczba_procedur").optional().check(Ck::Integer),
                          line("Zakres procedur", "Zakres_procedur").optional()}));

    pages.push_back(page(
        "aparatura",
        "Aparatura naukowo-badawcza zakupiona w roku, którego dotyczy ankieta i wartość jednostkowa zakupu (brutto), "
        "jeżeli wynosi powyżej 500.000 zł",
        {line("Nazwa urządzenia", "Nazwa"), line("Producent", "Producent"),
         line("Rok produkcji ", "Rok_produkcji").check(Ck::ProductionYear), line("Typ urządzenia", "Typ_urzadzenia").optional(),
         choice("Typ wyposażenia ", "Typ_wyposazenia")
             .choose({"urządzenie samodzielne", "element stanowiska badawczego", "wyposażenie laboratorium"})
             .moves(),
         line("Nazwa laboratorium użytkującego aparaturę", "Nazwa_lab_uzytkujacego").optional(),
         line("Opis danych technicznych", "Dane_techniczne"), line("Opis zastosowania ", "Zastosowanie"),
         line("Wartość brutto (PLN)", "Wartosc_brutto").check(Ck::ApparatusValue),
         choice("Źródło zakupu", "Zrodlo_zakupu")
             .choose({"środki własne", "dotacja na inwestycję aparaturową ze środków na naukę",
                      "dotacja na podstawową działalność statutową", "projekt badawczy", "projekt celowy", "inne"})
             .role(Ro::PurchaseSource),
         line("Opis innego źródła zakupu", "Opis_innego_zrodla").role(Ro::OtherPurchaseSource)}));

    // Panel numbers: hundreds for the page, units for the row, so every name is unique in the dialog.
    for (size_t p = 0; p < pages.size(); ++p)
        for (size_t r = 0; r < pages[p].fields.size(); ++r)
            pages[p].fields[r].panel = static_cast<int>((p + 1) * 100 + r + 1);
    return pages;
}

bool contains(const std::vector<int>& kinds, int kind) { return std::find(kinds.begin(), kinds.end(), kind) != kinds.end(); }

} // namespace

QString EntryField::panelName() const { return QStringLiteral("Panel") + QString::number(panel); }
QString EntryField::inputName() const { return QStringLiteral("e") + QString::number(panel); }
bool EntryField::shownFor(int kind) const { return kinds.empty() || contains(kinds, kind); }

const std::vector<EntryPage>& EntryPages()
{
    static const std::vector<EntryPage> pages = build();
    return pages;
}

int EntryPageIndexOf(int kind)
{
    const QString& caption = ListKindInfoOf(kind).entryPage;
    const auto& pages = EntryPages();
    for (size_t i = 0; i < pages.size(); ++i)
        if (pages[i].caption == caption)
            return static_cast<int>(i);
    throw Error(QStringLiteral("Brak strony okna danych szczegółowych dla wykazu %1.").arg(kind));
}

std::vector<EntryField> EntryFieldsFor(int kind)
{
    const ListKindInfo& info = ListKindInfoOf(kind);
    const EntryPage& page = EntryPages()[static_cast<size_t>(EntryPageIndexOf(kind))];
    std::vector<EntryField> fields;
    for (const EntryField& definition : page.fields) {
        if (!definition.shownFor(kind))
            continue;
        EntryField f = definition;
        for (const auto& [kinds, caption] : definition.kindCaptions)
            if (contains(kinds, kind))
                f.caption = caption;
        for (const auto& [kinds, items] : definition.kindItems)
            if (contains(kinds, kind))
                f.items = items;
        if (f.role == EntryRole::Domain) {
            f.items = QStringList{ChooseItem()};
            for (const ScienceDomain& d : ScienceDomains())
                f.items << d.name;
        }
        if (f.role == EntryRole::AwardGiver)
            f.items = DomesticAwardGivers(kind);
        f.column = info.columnIndex(f.field);
        f.kinds.clear();
        f.kindCaptions.clear();
        f.kindItems.clear();
        fields.push_back(std::move(f));
    }
    return fields;
}

QString EntryHeading(int kind)
{
    const QString& own = EntryPages()[static_cast<size_t>(EntryPageIndexOf(kind))].heading;
    return own.isEmpty() ? ListTitle(kind) : own;
}

QString EntryHint(int kind)
{
    if ((kind >= 28 && kind <= 32))
        return S("Zgodnie z decyzją MNiSW dopuszcza się wpisanie daty opublikowania lub daty uzyskania patentu.");
    if (kind == 34 || kind == 35)
        return S("Zgodnie z decyzją MNiSW dopuszcza się wpisanie daty zgłoszenia lub daty opublikowania zgłoszenia.");
    if (kind == 7)
        return S("8.1.a Publikacje w czasopismach wyróżnionych przez Journal Citation Reports<br>8.1.b Publikacje w "
                 "czasopismach recenzowanych o zasięgu międzynarodowym, innych niż wyróżnione przez Journal Citation "
                 "Reports, w dziedzinach, dla których narzędziem opisu jest język angielski lub podstawowy dla danej "
                 "dyscypliny<br>8.1.c Publikacje w recenzowanych czasopismach zagranicznych innych niż wyróżnione przez "
                 "Journal Citation Reports<br>8.1.d Publikacje w recenzowanych czasopismach polskich o zasięgu co "
                 "najmniej krajowym");
    return {};
}

QString ChooseItem() { return S("- wybierz -"); }
QString TypeItem() { return S("- wpisz -"); }
QString ChooseOrTypeItem() { return S("- wybierz lub wpisz -"); }
QString OtherSourceItem() { return S("inne"); }

QStringList DomesticAwardGivers(int kind)
{
    QStringList givers{ChooseOrTypeItem()};
    if (kind == 48)
        givers << L({"Prezydenta Rzeczypospolitej Polskiej", "Prezesa Rady Ministrów", "ministra właściwego do spraw nauki",
                     "innego ministra", "krajowej izby gospodarczej", "medal na targach krajowych",
                     "medal na targach zagranicznych", "wyróżnienia na targach krajowych",
                     "wyróżnienia na targach zagranicznych"});
    else
        givers << L({"Prezesa Rady Ministrów", "ministra właściwego do spraw nauki", "Fundacji na Rzecz Nauki Polskiej",
                     "Prezesa Polskiej Akademii Nauk im. Marii Skłodowskiej-Curie"});
    return givers;
}

} // namespace vestrum::lists
