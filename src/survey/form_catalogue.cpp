#include "survey/form_catalogue.h"

#include "survey/list_kinds.h"

namespace vestrum::form {
namespace {

using C = Conversion;
using K = ControlKind;
using L = RowLayout;

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

const char* const kDetails = "dane_szczegolowe";
const char* const kBasic = "dane_podstawowe";

Binding bind(const char* table, const char* field, Conversion conversion)
{
    return {S(table), S(field), conversion};
}

Control ctl(const char* name, ControlKind kind, Binding binding = {})
{
    Control c;
    c.name = S(name);
    c.kind = kind;
    c.binding = std::move(binding);
    return c;
}

Control detail(const char* name, ControlKind kind, const char* field)
{
    const Conversion conv = kind == K::Amount ? C::Amount : C::Integer;
    return ctl(name, kind, bind(kDetails, field, conv));
}

Control dropDown(const char* name, Binding binding, std::initializer_list<const char*> items)
{
    Control c = ctl(name, K::DropDown, std::move(binding));
    for (const char* item : items)
        c.items << S(item);
    return c;
}

Control listButton(const char* name, int tag)
{
    Control c = ctl(name, K::ListButton);
    c.buttonTag = tag;
    c.listKind = ListKindForButtonTag(tag);
    c.caption = InitialListCaption();
    return c;
}

Row row(RowLayout layout, const char* label, std::vector<Control> controls = {}, RowMarker marker = OrdinaryRow)
{
    Row r;
    r.marker = marker;
    r.layout = layout;
    r.label = S(label);
    r.controls = std::move(controls);
    return r;
}

Row heading(const char* label, RowMarker marker = OrdinaryRow) { return row(L::Heading, label, {}, marker); }
Row note(const char* label) { return row(L::Heading, label, {}, NoteRow); }
Row above(const char* label, Control c) { return row(L::LabelAbove, label, {std::move(c)}); }
Row right(const char* label, std::vector<Control> c, RowMarker marker = OrdinaryRow)
{
    return row(L::FieldsRight, label, std::move(c), marker);
}
Row captions(std::initializer_list<const char*> texts)
{
    Row r = row(L::Captions, "", {}, ColumnCaptionRow);
    for (const char* t : texts)
        r.captions << S(t);
    return r;
}
Row listRow(const char* label, const char* name, int tag, RowMarker marker)
{
    return row(L::ListButton, label, {listButton(name, tag)}, marker);
}

Page page(const char* title, PageKind kind, QString editCaption, int tag, int hint, std::vector<Row> rows)
{
    Page p;
    p.title = S(title);
    p.kind = kind;
    p.editCaption = std::move(editCaption);
    p.tag = tag;
    p.hint = hint;
    p.rows = std::move(rows);
    return p;
}

Page gridPage(const char* title, int tag, int hint, const char* name, int listKind, const char* table,
              std::initializer_list<std::pair<const char*, std::pair<const char*, Conversion>>> columns)
{
    Control grid = ctl(name, K::Grid);
    grid.listKind = listKind;
    grid.binding = {S(table), {}, C::None};
    for (const auto& [header, field] : columns)
        grid.columns.push_back({S(header), bind(table, field.first, field.second)});
    return page(title, PageKind::Grid, EditListCaption(), tag, hint, {row(L::Grid, "", {grid})});
}

// ---------------------------------------------------------------------------------------------

Section section1()
{
    Section s;
    s.subPageControl = S("PageControl1");
    s.hint = 1;
    s.pages.push_back(page("Rok sprawozdawczy", PageKind::Form, EditCaption(), 100, 1,
                           {above("Sprawozdanie za rok",
                                  dropDown("c000", bind(kDetails, "Rok_sprawozdawczy", C::ReportingYear),
                                           {"2007", "2008"}))}));
    s.pages.push_back(page(
        "Dane podstawowe", PageKind::Form, EditCaption(), 101, 2,
        {above("Pełna nazwa jednostki", ctl("e001", K::UnicodeText, bind(kBasic, "nazwa", C::UnicodeText))),
         above("Nazwa skrócona", ctl("e002", K::UnicodeText, bind(kBasic, "Akronim", C::UnicodeText))),
         above("REGON", ctl("e003", K::Text, bind(kBasic, "Regon", C::CodePageText))),
         above("Data założenia (dd/mm/rrrr)", ctl("e004", K::Text, bind(kBasic, "DataZal", C::CodePageText))),
         above("Rodzaj jednostki",
               dropDown("c005", bind(kBasic, "Rodzaj", C::Choice),
                        {"- wybierz rodzaj -", "podstawowa jednostka organizacyjna szkoły wyższej",
                         "placówka naukowa Polskiej Akademii Nauk", "jednostka badawczo-rozwojowa",
                         "międzynarodowy instytut naukowy utworzony na podstawie odrębnych przepisów",
                         "jednostka organizacyjna posiadająca status jednostki badawczo-rozwojowej",
                         "Polska Akademia Umiejętności", "inna jednostka naukowa"})),
         above("Kategoria jednostki",
               dropDown("c006", bind(kBasic, "Kategoria", C::Choice),
                        {"- wybierz kategorię - ", "1", "2", "3", "4", "5", "M"})),
         above("Nazwa jednostki nadrzędnej (jeżeli dotyczy)",
               ctl("e007", K::UnicodeText, bind(kBasic, "Nadrzedna_nazwa", C::UnicodeText))),
         above("REGON jednostki nadrzędnej  (jeżeli dotyczy)",
               ctl("e008", K::Text, bind(kBasic, "Nadrzedna_REGON", C::CodePageText))),
         above("Organ sprawujący nadzór nad jednostką (jeżeli dotyczy)",
               ctl("e009", K::UnicodeText, bind(kBasic, "Nadzorujaca_nazwa", C::UnicodeText)))}));
    s.pages.push_back(page(
        "Dane adresowe", PageKind::Form, EditCaption(), 102, 3,
        {above("Kod pocztowy", ctl("e011", K::Text, bind(kBasic, "Kod_pocztowy", C::CodePageText))),
         above("Miejscowość", ctl("e012", K::UnicodeText, bind(kBasic, "Miasto", C::UnicodeText))),
         above("Województwo",
               dropDown("c013", bind(kBasic, "Wojewodztwo", C::ChoiceExact),
                        {"- wybierz województwo -", "dolnośląskie", "kujawsko-pomorskie", "lubelskie", "lubuskie",
                         "łódzkie", "małopolskie", "mazowieckie", "opolskie", "podkarpackie", "podlaskie",
                         "pomorskie", "śląskie", "świętokrzyskie", "warmińsko-mazurskie", "wielkopolskie",
                         "zachodniopomorskie"})),
         above("Ulica", ctl("e014", K::UnicodeText, bind(kBasic, "Ulica", C::UnicodeText))),
         above("Numer", ctl("e015", K::Text, bind(kBasic, "Numer", C::CodePageText))),
         above("Telefon", ctl("e016", K::Text, bind(kBasic, "Tel", C::CodePageText))),
         above("Fax", ctl("e017", K::Text, bind(kBasic, "Fax", C::CodePageText))),
         above("E-mail", ctl("e018", K::Text, bind(kBasic, "Email", C::CodePageText)))}));

    auto chooser = [](const char* search, const char* catalogue, const char* headers, const char* chosen,
                      Binding binding, const char* field, const char* find, const char* add, const char* remove) {
        Control cat = ctl(catalogue, K::CatalogueList);
        cat.caption = S(headers);
        Control lb = ctl(chosen, K::ChosenList, std::move(binding));
        Control edit = ctl(field, K::SearchField);
        Control bFind = ctl(find, K::Button);
        bFind.caption = S("znajdź");
        Control bAdd = ctl(add, K::Button);
        bAdd.caption = S("Dodaj");
        Control bRemove = ctl(remove, K::Button);
        bRemove.caption = S("Usuń");
        return row(L::Chooser, search, {edit, bFind, cat, bAdd, bRemove, lb});
    };
    s.pages.push_back(page("Dyscypliny naukowe", PageKind::Chooser, EditListCaption(), 103, 4,
                           {chooser("Dyscyplina", "lv021", "kod|dyscyplina", "lb022",
                                    bind("dane_dyscypliny", "Dyscyplina", C::DisciplineCodes), "e023", "b024",
                                    "b025", "b026")}));
    Control rb2004 = ctl("rb031", K::Radio, bind("dane_pkd", "rok", C::PkdVersion));
    rb2004.caption = S("2004");
    Control rb2007 = ctl("rb032", K::Radio, bind("dane_pkd", "rok", C::PkdVersion));
    rb2007.caption = S("2007");
    rb2007.checked = true;
    s.pages.push_back(page("Polska Klasyfikacja Działalności", PageKind::Chooser, EditListCaption(), 104, 5,
                           {chooser("PKD:", "lv031", "kod|PKD", "lb032", bind("dane_pkd", "pkd", C::PkdCodes),
                                    "e033", "b034", "b035", "b036"),
                            row(L::Heading, "Wersja klasyfikacji:", {rb2004, rb2007})}));
    return s;
}

Section section3()
{
    Section s;
    s.hint = 7;
    const char* labels[] = {"1) Osoby z tytułem naukowym profesora i tytułem profesora w zakresie sztuki",
                            "2) Osoby ze stopniem naukowym doktora habilitowanego  i doktora habilitowanego w "
                            "zakresie sztuki",
                            "3) Osoby ze stopniem naukowym doktora i doktora w zakresie sztuki",
                            "4) Pozostałe osoby z wykształceniem wyższym", "5) Pozostałe osoby"};
    const char* staff[] = {"prof", "hab", "dr", "wyz", "inne"};
    std::vector<Row> rows;
    rows.push_back(note("Liczba osób, dla których jednostka jest głównym miejscem pracy, zatrudnionych na podstawie "
                        "stosunku pracy (w tym liczba kobiet), bez przeliczenia na pełny wymiar czasu pracy** "
                        "(liczba N, o której mowa w § 4 ust. 4 pkt 3 i 4 rozporządzenia), oraz zatrudnionych w "
                        "przeliczeniu na pełny wymiar czasu pracy (PWCP) i w przeliczeniu na ekwiwalenty pełnego "
                        "wymiaru czasu pracy EPC***"));
    rows.push_back(captions({"Liczba N ogółem", "Liczba N kobiety", "PWCP ogółem", "EPC ogółem"}));
    for (int r = 0; r < 5; ++r) {
        const QString st = QString::fromLatin1(staff[r]);
        auto field = [&](int col, const QString& f, ControlKind kind, Conversion conv) {
            Control c;
            c.name = QStringLiteral("me3%1%2").arg(r + 1).arg(col);
            c.kind = kind;
            c.binding = {S(kDetails), QStringLiteral("Zatr_BR_%1_%2").arg(st, f), conv};
            return c;
        };
        rows.push_back(right(labels[r], {field(1, S("N"), K::WholeNumber, C::StrictInteger),
                                         field(2, S("N_kobiet"), K::WholeNumber, C::StrictInteger),
                                         field(3, S("etat"), K::Amount, C::Amount),
                                         field(4, S("EPC"), K::Amount, C::Amount)}));
    }
    rows.push_back(right("Ogółem", {ctl("me361", K::Sum), ctl("me362", K::Sum), ctl("me363", K::Sum),
                                    ctl("me364", K::Sum)}));
    s.pages.push_back(page("", PageKind::Form, EditCaption(), 3, 7, std::move(rows)));
    return s;
}

Section section5()
{
    Section s;
    s.hint = 9;
    s.pages.push_back(page(
        "", PageKind::Form, EditCaption(), 5, 9,
        {heading("Powierzchnia terenu"),
         right("- własnego [ha] ", {detail("me51", K::Amount, "Pow_teren_wlasny")}),
         right("- użytkowanego, stanowiącego własność innych podmiotów [ha]",
               {detail("me52", K::Amount, "Pow_teren_od_innych")}),
         right("- przekazanego do użytkowania innym podmiotom w celu uzyskania przychodów [ha]",
               {detail("me53", K::Amount, "Pow_teren_dla_innych")}),
         heading("Powierzchnia pomieszczeń", LeftAloneRow),
         right("-  będących własnością jednostki [m2]", {detail("me54", K::Amount, "Pow_pom_wlasne")}),
         right("- wynajmowanych od innych podmiotów [m2]", {detail("me55", K::Amount, "Pow_pom_wynaj_od")}),
         right("- wynajmowanych innym podmiotom w celu uzyskania przychodów [m2]",
               {detail("me56", K::Amount, "Pow_pom_wynaj_innym")})}));
    return s;
}

Section section7()
{
    Section s;
    s.hint = 11;
    s.pages.push_back(page(
        "", PageKind::Form, EditCaption(), 7, 11,
        {listRow("Posiadane uprawnienia do nadawania stopni naukowych doktora lub stopni doktora sztuki", "BitBtn36",
                 1, LeftAloneRow),
         listRow("Posiadane uprawnienia do nadawania stopni naukowych doktora habilitowanego lub stopni doktora "
                 "habilitowanego sztuki",
                 "BitBtn37", 2, LeftAloneRow),
         heading("Liczba stopni i tytułów uzyskanych w danym roku przez pracowników jednostki"),
         captions({"Wszyscy", "Kobiety"}),
         right("Liczba tytułów naukowych profesora i tytułów profesora sztuki ",
               {detail("me711", K::WholeNumber, "Liczba_uzysk_prof"),
                detail("me712", K::WholeNumber, "Liczba_uzysk_prof_kobiety")}),
         right("Liczba stopni naukowych doktora habilitowanego lub stopni doktora habilitowanego sztuki ",
               {detail("me721", K::WholeNumber, "Liczba_uzysk_hab"),
                detail("me722", K::WholeNumber, "Liczba_uzysk_hab_kobiety")}),
         right("Liczba stopni naukowych doktora lub stopni doktora sztuki ",
               {detail("me731", K::WholeNumber, "Liczba_uzysk_dr"),
                detail("me732", K::WholeNumber, "Liczba_uzysk_dr_kobiety")})}));
    return s;
}

Section section8()
{
    Section s;
    s.subPageControl = S("PageControl2");
    s.hint = 12;
    s.pages.push_back(page(
        "Wykazy publikacji", PageKind::List, {}, -1, 12,
        {right("Liczba publikacji ogółem (zliczana z wykazów)", {ctl("me8", K::Sum)}, LeftAloneRow),
         listRow("8.1.a Publikacje w czasopismach wyróżnionych przez Journal Citation Reports", "bb801", 25,
                 OrdinaryRow),
         listRow("8.1.b Publikacje w czasopismach recenzowanych o zasięgu międzynarodowym, innych niż wyróżnione "
                 "przez Journal Citation Reports, w dziedzinach, dla których narzędziem opisu jest język angielski "
                 "lub podstawowy dla danej dyscypliny",
                 "bb802", 26, OrdinaryRow),
         listRow("8.1.c Publikacje w recenzowanych czasopismach zagranicznych innych niż wyróżnione przez Journal "
                 "Citation Reports",
                 "bb803", 27, OrdinaryRow),
         listRow("8.1.d Publikacje w recenzowanych czasopismach polskich o zasięgu co najmniej krajowym", "bb804", 28,
                 OrdinaryRow)}));
    s.pages.push_back(page(
        "Wykazy monografii", PageKind::List, {}, -1, 13,
        {listRow("8.4.a Autorstwo monografii lub podręcznika akademickiego w języku angielskim lub podstawowym dla "
                 "danej dyscypliny",
                 "bb901", 29, OrdinaryRow),
         listRow("8.4.b Autorstwo rozdziału w monografii lub podręczniku akademickim w języku angielskim lub "
                 "podstawowym dla danej dyscypliny",
                 "bb902", 30, OrdinaryRow),
         listRow("8.4.c Autorstwo monografii lub podręcznika akademickiego w języku polskim lub innym niż "
                 "angielski i niepodstawowym dla danej dyscypliny",
                 "bb903", 31, OrdinaryRow),
         listRow("8.4.d Autorstwo rozdziału w monografii lub podręczniku akademickim w języku polskim lub innym niż "
                 "angielski i niepodstawowym dla danej dyscypliny",
                 "bb904", 32, OrdinaryRow)}));
    s.pages.push_back(page(
        "Redaktorzy naczelni publikacji i monografii", PageKind::List, {}, -1, 14,
        {listRow("Redaktorzy naczelni czasopism wymienionych w p. 8.1.a - 8.1.d będący pracownikami jednostki",
                 "BitBtn15", 39, OrdinaryRow),
         listRow("Redakorzy naczelni wieloautorskich monografii, podręczników akademickich lub serii wydawniczych "
                 "będący pracownikami jednostki",
                 "bb905", 40, OrdinaryRow)}));
    s.pages.push_back(page(
        "Liczba cytowań z afiliacją jednostki *", PageKind::Form, EditCaption(), 8, 15,
        {heading("Liczba cytowań publikacji z afiliacją jednostki w ostatnim roku, z którego są dostępne dane"),
         above("Liczba", ctl("me86_1", K::WholeNumber, bind(kDetails, "Liczba_cytowan_lista_A", C::IntegerAsText))),
         row(L::TallText, "Źródło danych",
             {ctl("e86_2", K::MultiLine, bind(kDetails, "Zrodlo_cytowan_lista_A", C::UnicodeLong))})}));
    return s;
}

Section listSection(int hint, std::initializer_list<std::tuple<const char*, const char*, int>> buttons,
                    RowMarker marker = OrdinaryRow)
{
    Section s;
    s.hint = hint;
    std::vector<Row> rows;
    for (const auto& [label, name, tag] : buttons)
        rows.push_back(listRow(label, name, tag, marker));
    s.pages.push_back(page("", PageKind::List, {}, -1, hint, std::move(rows)));
    return s;
}

Section section14()
{
    Section s = listSection(
        21,
        {{"2) Liczba i wykaz zrealizowanych projektów badawczych ", "bb1501", 13},
         {"3) Liczba i wykaz zrealizowanych projektów celowych ", "bb1502", 14},
         {"4) Liczba i wykaz zrealizowanych i zakończonych osiągnięciem celu umów o wartości powyżej 10 tys. zł na "
          "opracowanie nowych technologii, materiałów, wyrobów, systemów i usług, zawartych z innymi podmiotami",
          "bb1505", 17}},
        LeftAloneRow);
    auto& rows = s.pages.front().rows;
    rows.insert(rows.begin(), right("1) Liczba zrealizowanych projektów badawczych i projektów celowych "
                                    "finansowanych lub dofinansowanych ze środków finansowych na naukę (zliczana z "
                                    "wykazów)",
                                    {ctl("me1501", K::Sum)}));
    return s;
}

Section section15()
{
    Section s;
    s.subPageControl = S("PageControl3");
    s.hint = 22;
    auto listPage = [](const char* title, int hint,
                       std::initializer_list<std::tuple<const char*, const char*, int>> buttons) {
        std::vector<Row> rows;
        for (const auto& [label, name, tag] : buttons)
            rows.push_back(listRow(label, name, tag, LeftAloneRow));
        return page(title, PageKind::List, {}, -1, hint, std::move(rows));
    };
    s.pages.push_back(listPage(
        "Patenty", 22,
        {{"1) Uzyskane patenty międzynarodowe", "bb1601", 151},
         {"2) Zastosowane patenty międzynarodowe uzyskane przez jednostkę naukową", "bb1602", 152},
         {"3) Uzyskane patenty krajowe", "bb1603", 153},
         {"4) Zastosowane patenty krajowe uzyskane przez jednostkę naukową", "bb1604", 154},
         {"5) Zastosowane patenty, których właścicielem jest podmiot gospodarczy, a twórcami pracownicy jednostki",
          "bb1605", 155},
         {"6) Umowy o wspólności prawa do patentu jednostki naukowej zawarte z podmiotem gospodarczym", "bb1606",
          156},
         {"7) Zgłoszenia patentowe w Urzędzie Patentowym RP", "bb1607", 157},
         {"8) Zgłoszenia w zagranicznych urzędach patentowych", "bb1608", 158}}));
    s.pages.push_back(listPage(
        "Prawa ochronne i autorskie", 23,
        {{"9) Uzyskane prawa ochronne na wzory użytkowe ", "bb1609", 159},
         {"10) Zgłoszone prawa ochronne na wzory użytkowe", "bb1610", 160},
         {"11) Przysługujące prawa autorskie do utworu będącego wynikiem działalności twórczej o indywidualnym "
          "charakterze, w szczególności w zakresie architektury, urbanistyki, wzornictwa przemysłowego oraz sztuki",
          "bb1611", 161}}));
    Page impl = listPage(
        "Wdrożenia, licencje, nowe produkty i technologie", 24,
        {{"12) Opracowane i wprowadzone nowe procedury postępowania, np. terapeutycznego, leczniczego, hodowlanego, "
          "technologicznego",
          "bb1612", 162},
         {"13) Udokumentowane i wykorzystane poza jednostką wdrożenia wyników badań naukowych i prac rozwojowych "
          "prowadzonych w jednostce",
          "bb1613", 163},
         {"15) Nowe produkty, dla których uzyskano certyfikaty jakościowe w uprawnionych jednostkach", "bb1615", 165},
         {"16) Nowe produkty wprowadzone do obrotu handlowego, dla których uzyskano certyfikat zgodności z CE lub PN",
          "bb1616", 166},
         {"17) Technologie, dla których uzyskano standardy BAT (Najlepsza Dostępna Technika)", "bb1617", 167},
         {"18) Przedmioty wdrożenia objęte kompleksową ochroną własności", "bb1618", 168},
         {"19) Sprzedane licencje, know-how itp. ogółem", "bb1619", 169}});
    impl.rows.push_back(right("Licencje o opłacie licencyjnej powyżej 1 mln zł", {ctl("me1519_3", K::Sum)},
                              LeftAloneRow));
    impl.rows.push_back(right("Licencje o opłacie licencyjnej od 500 tys. do 1 mln zł", {ctl("me1519_2", K::Sum)},
                              LeftAloneRow));
    impl.rows.push_back(right("Licencje o opłacie licencyjnej poniżej 500 tys. zł", {ctl("me1519_1", K::Sum)},
                              LeftAloneRow));
    s.pages.push_back(std::move(impl));
    s.pages.push_back(
        listPage("Dokonania twórcze", 25,
                 {{"20) Dokonania twórcze wnoszące znaczny wkład w rozwój sztuki", "bb1620", 170}}));
    return s;
}

Section section17()
{
    Section s;
    s.hint = 27;
    auto a = [](const char* name, const char* field) { return detail(name, K::Amount, field); };
    s.pages.push_back(page(
        "", PageKind::Form, EditCaption(), 18, 27,
        {note("Wszystkie dane należy podawać w PLN"),
         heading("1) Nakłady wewnętrzne faktycznie poniesione na działalność B+R"),
         right("ogółem (bez amortyzacji środków trwałych)*", {a("me1801", "Naklady_BR_z_amort")}),
         heading("2) Nakłady bieżące na działalność B+R**"),
         right("ogółem", {a("me1802", "Naklady_biez_BR_ogolem")}),
         right("a) badania podstawowe", {a("me1803", "Naklady_biez_BR_b_podst")}),
         right("b) badania przemysłowe", {a("me1804", "Naklady_biez_BR_b_stos")}),
         right("c) prace rozwojowe", {a("me1805", "Naklady_biez_BR_p_rozw")}),
         heading("3) Nakłady inwestycyjne na środki trwałe***"),
         right("ogółem", {a("me1806", "Naklady_inw_ogolem")}),
         right("a) nakłady inwestycyjne na zakup aparatury naukowo-badawczej****", {a("me1807", "Naklady_inw_aparat")}),
         right("b) nakłady inwestycyjne na budynki i lokale, obiekty inżynierii lądowej i wodnej oraz grunty",
               {a("me1808", "Naklady_inw_budynki")}),
         heading("4) Źródła finansowania inwestycji"),
         right("ogółem", {a("me1813", "Zrodla_fin_inwest_ogolem")}),
         right("a) środki własne (fundusz jednostki)", {a("me1809", "Zrodla_fin_inwest_wlasne")}),
         right("b) środki z budżetu państwa, ogółem", {a("me1810", "Zrodla_fin_inwest_budzet")}),
         right("- środki finansowe na naukę", {a("me1811", "Zrodla_fin_inwest_budzet_nauka")}),
         right("- inne źródła, ogółem", {a("me1812", "Zrodla_fin_inwest_inne")})}));
    return s;
}

Section section18()
{
    Section s;
    s.hint = 28;
    auto a = [](const char* name, const char* field) { return detail(name, K::Amount, field); };
    s.pages.push_back(page(
        "", PageKind::Form, EditCaption(), 19, 28,
        {note("Wszystkie dane należy podawać w PLN"),
         heading("1) Przychody w zakresie działalności B+R", LeftAloneRow),
         right("ogółem", {a("me1901", "Przych_BR_ogolem")}),
         right("a) przychody ze środków finansowych na naukę, ogółem", {a("me1902", "Przych_BR_sfn_ogolem")}),
         right("- dotacja na finansowanie podstawowej działalności statutowej", {a("me1903", "Przych_BR_sfn_dot_statut")}),
         right("- dotacja na badania własne", {a("me1904", "Przych_BR_sfn_bad_wlas")}),
         right("- dotacja na utrzymanie specjalnego urządzenia badawczego", {a("me1905", "Przych_BR_sfn_spub")}),
         right("- dotacja na badania wspólne sieci naukowej", {a("me1906", "Przych_BR_sfn_sieci")}),
         right("b) przychody ze środków ustalonych w innych częściach budżetu państwa niż środki finansowe na naukę",
               {a("me1907", "Przych_BR_budzet_inne")}),
         right("c) przychody z tytułu umów zawartych z innymi podmiotami ze sprzedaży gotowych rozwiązań uzyskanych "
               "w wyniku prac B+R wykonanych w jednostce bez udziału środków finansowych na naukę ogółem",
               {a("me1908", "Przych_BR_um_sprzed_ogolem")}),
         right("- przychody ze źródeł zagranicznych", {a("me1909", "Przych_BR_um_sprzed_zagr")}),
         right("d) przychody z tytułu umów zawartych z innymi podmiotami na wykonanie w jednostce prac B+R bez "
               "udziału środków finansowych na naukę, zakończonych w roku objętym ankietą osiągnięciem zakładanego "
               "celu (podaje się łącznie przychody ze wszystkich lat realizacji zakończonej umowy; nie podaje się "
               "przychodów z umowy niezakończonej w roku objętym ankietą) ogółem",
               {a("me1910", "Przych_BR_um_wyk_ogolem")}),
         right("- przychody ze źródeł zagranicznych", {a("me1911", "Przych_BR_um_wyk_zagr")}),
         heading("2) Inne przychody"),
         right("ogółem", {a("me1912", "Przych_inne")}),
         right("- przychody z wydzielonej działalności gospodarczej", {a("me1913", "Przych_inne_dzial_gosp")})}));
    return s;
}

Section section20()
{
    Section s;
    s.subPageControl = S("PageControl4");
    s.pages.push_back(gridPage("Laboratoria badawcze", 21, 0, "sg20", 49, "dane_laboratoria",
                               {{"Nazwa laboratorium", {"Nazwa", C::CodePageText}},
                                {"Profil działalności", {"Profil", C::CodePageText}},
                                {"Jednostka akredytująca", {"Jednostka_akredytujaca", C::CodePageText}},
                                {"Liczba procedur", {"Liczba_procedur", C::Integer}},
                                {"Zakres procedur", {"Zakres_procedur", C::CodePageText}}}));
    s.pages.push_back(page(
        "Systemy jakości", PageKind::Form, EditListCaption(), 25, 0,
        {right("Liczba  wdrożonych międzynarodowych systemów jakości, przyjętych w Unii Europejskiej",
               {ctl("me221", K::WholeNumber, bind(kDetails, "Liczba_syst_jakosci", C::IntegerOrZero))}),
         row(L::TallText, "Opis wdrożonych międzynarodowych systemów jakości, przyjętych w Unii Europejskiej",
             {ctl("m222", K::MultiLine, bind(kDetails, "Opis_systemow_jakosci", C::CodePageLongAsIs))})}));
    return s;
}

Section textSection(int tag, const char* name, const char* field)
{
    Section s;
    Page p = page("", PageKind::Text, EditCaption(), tag, 0,
                  {row(L::TallText, "", {ctl(name, K::MultiLine, bind(kDetails, field, C::CodePageLong))})});
    p.ownButtons = true;
    s.pages.push_back(std::move(p));
    return s;
}

std::vector<Section> build()
{
    std::vector<Section> all;
    all.push_back(section1());
    all.push_back([] {
        Section s;
        s.hint = 6;
        s.pages.push_back(gridPage("", 2, 6, "sg2", 0, "dane_kierownictwo",
                                   {{"Nazwisko i imię", {"Nazwisko", C::UnicodeText}},
                                    {"Stanowisko służbowe", {"Stanowisko", C::CodePageText}},
                                    {"Telefon służbowy", {"Telefon", C::CodePageText}},
                                    {"E-mail", {"Email", C::CodePageText}}}));
        return s;
    }());
    all.push_back(section3());
    all.push_back([] {
        Section s;
        s.hint = 8;
        s.pages.push_back(page("", PageKind::Form, EditCaption(), 4, 8,
                               {right("Ogółem liczba osób, dla których jednostka jest głównym miejscem pracy",
                                      {detail("me41", K::WholeNumber, "Zatr_poza_BR")})}));
        return s;
    }());
    all.push_back(section5());
    all.push_back([] {
        Section s;
        s.hint = 10;
        s.pages.push_back(page("", PageKind::Form, EditCaption(), 6, 10,
                               {heading("1) Liczba woluminów książek"),
                                right("ogółem", {detail("me61", K::WholeNumber, "Liczba_ksiazek")}),
                                heading("2) Liczba woluminów czasopism"),
                                right("ogółem", {detail("me62", K::WholeNumber, "Liczba_czasopism")}),
                                right("- prenumerowanych krajowych", {detail("me63", K::WholeNumber, "Liczba_czas_pren_kraj")}),
                                right("- prenumerowanych zagranicznych",
                                      {detail("me64", K::WholeNumber, "Liczba_czas_pren_zagr")})}));
        return s;
    }());
    all.push_back(section7());
    all.push_back(section8());
    all.push_back([] {
        Section s;
        s.pages.push_back(gridPage("", 10, 0, "sg9", 13, "dane_wydawnictwa",
                                   {{"Tytuł", {"Tytul", C::UnicodeText}},
                                    {"Język", {"Jezyk", C::CodePageText}},
                                    {"Nakład", {"Naklad", C::Integer}},
                                    {"Typ", {"Typ", C::CodePageText}}}));
        return s;
    }());
    all.push_back([] {
        Section s;
        s.hint = 17;
        s.pages.push_back(gridPage("", 11, 17, "sg10", 14, "dane_czlonkostwo",
                                   {{"Nazwisko i imię", {"Nazwisko", C::UnicodeText}},
                                    {"Nazwa organizacji/czasopisma", {"Nazwa_organizacji", C::UnicodeText}},
                                    {"Rok wyboru", {"Data_wyboru", C::CodePageText}},
                                    {"Rodzaj organizacji", {"Rodzaj_organizacji", C::CodePageText}}}));
        return s;
    }());
    all.push_back(listSection(
        18, {{"1) Liczba i wykaz (nazwa, symbol, numer ewidencyjny)  kontraktów w ramach projektów lub akcji Programu "
              "Ramowego Unii Europejskiej, zrealizowanych i rozliczonych z udziałem jednostki lub z udziałem "
              "pracowników jednostki, dla których jest ona podstawowym miejscem pracy",
              "bb1201", 3},
             {"2) Liczba i wykaz (nazwa, symbol, numer ewidencyjny) zrealizowanych przez jednostkę kontraktów na "
              "koordynowanie projektów w Programie Ramowym Unii Europejskiej",
              "bb1202", 4},
             {"3) Liczba i wykaz (nazwa, symbol, numer ewidencyjny) zrealizowanych i rozliczonych przez jednostkę "
              "kontraktów w ramach innych programów Unii Europejskiej",
              "bb1203", 5},
             {"4) Liczba i wykaz (nazwa, symbol, numer ewidencyjny) zrealizowanych i rozliczonych przez jednostkę "
              "kontraktów w ramach programów spoza Unii Europejskiej",
              "bb1204", 6}}));
    all.push_back(listSection(
        19, {{"1) Liczba sieci naukowych, w których uczestniczy jednostka, opis specjalności naukowej sieci, wykaz "
              "jednostek naukowych tworzących sieć naukową",
              "bb1301", 7},
             {"2) Liczba konsorcjów naukowych, w których skład wchodzi jednostka naukowa, nazwa konsorcjum, zakres "
              "działania konsorcjum, wykaz jednostek wchodzących w skład konsorcjum",
              "bb1302", 8}}));
    all.push_back(listSection(
        20, {{"1) Liczba i nazwy konferencji międzynarodowych zorganizowanych przez jednostkę", "bb1401", 9},
             {"2) Liczba i tytuły referatów zagranicznych przedstawionych na konferencjach międzynarodowych "
              "zorganizowanych przez jednostkę",
              "bb1402", 10},
             {"3) Liczba i nazwy konferencji krajowych zorganizowanych przez jednostkę", "bb1403", 11},
             {"4) Liczba i tytuły referatów plenarnych na  konferencjach międzynarodowych wygłoszonych przez "
              "pracowników jednostki na zaproszenie",
              "bb1404", 12}}));
    all.push_back(section14());
    all.push_back(section15());
    all.push_back(listSection(
        0, {{"1) Wykaz nagród krajowych i zagranicznych za działalność naukową", "bb1701", 23},
            {"2) Wykaz nagród i wyróżnień za zastosowanie praktyczne wyników prac B+R", "bb1702", 24}}));
    all.push_back(section17());
    all.push_back(section18());
    all.push_back([] {
        Section s;
        s.hint = 29;
        auto a = [](const char* name, const char* field) { return detail(name, K::Amount, field); };
        s.pages.push_back(page(
            "", PageKind::Form, EditCaption(), 20, 29,
            {note("Wszystkie dane należy podawać w PLN"),
             right("1) Wartość brutto środków trwałych na koniec roku", {a("me2001", "Sr_trw_brutto_srodkow")}),
             right("2) Wartość brutto aparatury naukowo-badawczej zaliczanej do środków trwałych na koniec roku*",
                   {a("me2002", "Sr_trw_brutto_aparat")}),
             right("3) Umorzenie aparatury naukowo-badawczej zaliczanej do środków trwałych na koniec roku**",
                   {a("me2003", "Sr_trw_umoz_aparat")})}));
        return s;
    }());
    all.push_back(section20());
    all.push_back([] {
        Section s;
        s.pages.push_back(gridPage("", 22, 0, "sg21", 50, "dane_aparatura",
                                   {{"Nazwa urządzenia", {"Nazwa", C::CodePageText}},
                                    {"Producent", {"Producent", C::CodePageText}},
                                    {"Rok produkcji ", {"Rok_produkcji", C::Integer}},
                                    {"Typ urządzenia", {"Typ_urzadzenia", C::CodePageText}},
                                    {"Typ wyposażenia ", {"Typ_wyposazenia", C::CodePageText}},
                                    {"Nazwa laboratorium użytkującego aparaturę", {"Nazwa_lab_uzytkujacego", C::CodePageText}},
                                    {"Opis danych technicznych", {"Dane_techniczne", C::CodePageText}},
                                    {"Opis zastosowania ", {"Zastosowanie", C::CodePageText}},
                                    {"Wartość brutto", {"Wartosc_brutto", C::Amount}},
                                    {"Źródła zakupu", {"Zrodlo_zakupu", C::CodePageText}},
                                    {"Opis innego źródła zakupu", {"Opis_innego_zrodla", C::CodePageText}}}));
        return s;
    }());
    all.push_back(textSection(23, "m231", "Najwazniejsze_osiagniecie"));
    all.push_back([] {
        Section s;
        auto cp = [](const char* name, const char* field, ControlKind kind) {
            return ctl(name, kind, bind(kDetails, field, C::CodePageText));
        };
        s.pages.push_back(page("", PageKind::Form, EditCaption(), 24, 0,
                               {above("Nazwisko", cp("e241", "Wypelniajacy_nazwisko", K::UnicodeText)),
                                above("Imię", cp("e242", "Wypelniajacy_imie", K::UnicodeText)),
                                above("Telefon", cp("e243", "Wypelniajacy_telefon", K::Text)),
                                above("Fax", cp("e244", "Wypelniajacy_fax", K::Text)),
                                above("E-mail", cp("e245", "Wypelniajacy_email", K::Text))}));
        return s;
    }());
    all.push_back(textSection(26, "m251", "Inne_informacje"));

    const QStringList items = SectionChooserItems();
    for (int i = 0; i < static_cast<int>(all.size()); ++i) {
        all[i].number = i + 1;
        all[i].chooserText = items.value(i);
        all[i].pageName = QStringLiteral("t%1").arg(i);
    }
    return all;
}

} // namespace

QString EditCaption() { return S("wpisz/zmień dane"); }
QString EditListCaption() { return S("dodaj, usuń lub zmień"); }
QString SaveCaption() { return S("zapisz zmiany"); }
QString DiscardCaption() { return S("pomiń zmiany"); }
QString InitialListCaption() { return S("wykaz (0 pozycji)"); }
QString SummaryCaption(int count) { return QStringLiteral("liczba=%1 -> wykaz").arg(count); }

QStringList SectionChooserItems()
{
    static const QStringList items = [] {
        QStringList l;
        for (const char* t :
             {"1. Informacje o jednostce naukowej", "2. Informacje o kierowniku jednostki naukowej ",
              "3. Zatrudnienie w działalności B+R (badania naukowe i prace rozwojowe)* ",
              "4. Ogólna liczba osób, dla których jednostka jest głównym miejscem pracy ", "5. Warunki lokalowe*",
              "6. Dane o bazie bibliotecznej*", "7. Uprawnienia do nadawania stopni",
              "8. Dane o publikacjach naukowych i monografiach", "9. Wydawnictwa własne",
              "10. Członkostwo z wyboru w organizacjach naukowych i komitetach redakcyjnych czasopism naukowych o "
              "zasięgu światowym",
              "11. Udział w międzynarodowych programach naukowych",
              "12. Udział w sieciach naukowych lub konsorcjach naukowo-przemysłowych", "13. Konferencje naukowe ",
              "14. Zrealizowane projekty*  badawcze, projekty celowe, projekty rozwojowe, umowy**  z innymi "
              "podmiotami",
              "15. Patenty i wdrożenia", "16. Nagrody i wyróżnienia", "17. Dane finansowe dotyczące działalności B+R ",
              "18. Przychody ogółem ", "19. Środki trwałe ",
              "20. Laboratoria badawcze posiadające akredytację polskiego centrum akredytacji",
              "21. Aparatura naukowo-badawcza zakupiona w roku, którego dotyczy ankieta i wartość jednostkowa zakupu "
              "(brutto), jeżeli wynosi powyżej 500.000 zł ",
              "22. Informacja o najważniejszym osiągnięciu jednostki w roku, którego dotyczy ankieta",
              "23. Informacje o osobie odpowiedzialnej za sporządzenie ankiety", "Inne ważne informacje"})
            l << S(t);
        return l;
    }();
    return items;
}

const std::vector<Section>& FormCatalogue()
{
    static const std::vector<Section> catalogue = build();
    return catalogue;
}

PageRef PageByTag(int tag)
{
    if (tag < 0)
        return {};
    const auto& all = FormCatalogue();
    for (int s = 0; s < static_cast<int>(all.size()); ++s)
        for (int p = 0; p < static_cast<int>(all[s].pages.size()); ++p)
            if (all[s].pages[p].tag == tag)
                return {&all[s], &all[s].pages[p], s, p};
    return {};
}

PageRef PageOfControl(const QString& name)
{
    const auto& all = FormCatalogue();
    for (int s = 0; s < static_cast<int>(all.size()); ++s)
        for (int p = 0; p < static_cast<int>(all[s].pages.size()); ++p)
            for (const Row& r : all[s].pages[p].rows)
                for (const Control& c : r.controls)
                    if (c.name == name)
                        return {&all[s], &all[s].pages[p], s, p};
    return {};
}

const Control* FindControl(const QString& name)
{
    const PageRef ref = PageOfControl(name);
    if (!ref.page)
        return nullptr;
    for (const Row& r : ref.page->rows)
        for (const Control& c : r.controls)
            if (c.name == name)
                return &c;
    return nullptr;
}

std::vector<int> SectionTags()
{
    std::vector<int> tags;
    for (const Section& s : FormCatalogue())
        for (const Page& p : s.pages)
            if (p.tag >= 0)
                tags.push_back(p.tag);
    return tags;
}

int ListKindForButtonTag(int tag) { return lists::ListKindForButtonTag(tag); }

} // namespace vestrum::form
