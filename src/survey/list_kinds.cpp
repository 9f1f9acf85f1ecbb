#include "survey/list_kinds.h"

#include "base/error.h"
#include "survey/form_catalogue.h"

#include <QSet>

namespace vestrum::lists {
namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

using F = CellFormat;

ListColumn column(const char* header, const char* field, bool trimOnLoad, bool trimOnSave, CellFormat format = F::Text)
{
    ListColumn c;
    c.header = S(header);
    c.field = S(field);
    c.format = format;
    c.trimOnLoad = trimOnLoad;
    c.trimOnSave = trimOnSave;
    return c;
}

// The four ways a text cell travels.
ListColumn typed(const char* h, const char* f) { return column(h, f, false, false); }
ListColumn trimmed(const char* h, const char* f) { return column(h, f, true, true); }
ListColumn shownTrimmed(const char* h, const char* f) { return column(h, f, true, false); }
ListColumn savedTrimmed(const char* h, const char* f) { return column(h, f, false, true); }
ListColumn amount(const char* h, const char* f) { return column(h, f, false, true, F::Amount); }
ListColumn points(const char* h, const char* f) { return column(h, f, false, true, F::Points); }
ListColumn fixedPoints(const char* h, const char* f) { return column(h, f, false, false, F::FixedPoints); }

ListColumn limit(ListColumn c)
{
    c.limited = true;
    return c;
}

ListColumn addedLater(ListColumn c)
{
    c.addedLater = true;
    return c;
}

struct Builder {
    ListKindInfo info;

    Builder(int kind, int tag, int section, const char* point, const char* table)
    {
        info.kind = kind;
        info.buttonTag = tag;
        info.section = section;
        info.point = S(point);
        info.table = S(table);
    }
    Builder& title(const char* t)
    {
        info.fixedTitle = S(t);
        return *this;
    }
    Builder& by(const char* field, QVariant value)
    {
        info.discriminatorField = S(field);
        info.discriminator = std::move(value);
        return *this;
    }
    Builder& columns(std::vector<ListColumn> c)
    {
        info.columns = std::move(c);
        return *this;
    }
    Builder& blank(std::vector<int> b)
    {
        info.blankTest = std::move(b);
        return *this;
    }
    Builder& constant(const char* field, QVariant value)
    {
        info.constants.push_back({S(field), std::move(value)});
        return *this;
    }
    Builder& page(const char* p, int group)
    {
        info.entryPage = S(p);
        info.importGroup = group;
        return *this;
    }
};

// The five lists kept in a grid of the section page take their columns from the form catalogue,
// so the section page and the editor can never disagree about them. The declared entry holds only
// the fields whose width limits the entry dialog; completeGrid puts the form's columns in.
ListKindInfo mainWindowGrid(int kind, const char* entryPage, std::initializer_list<const char*> limitedFields)
{
    ListKindInfo info;
    info.kind = kind;
    info.mainWindowGrid = true;
    info.entryPage = S(entryPage);
    info.importGroup = kind;
    for (const char* f : limitedFields) {
        ListColumn c;
        c.field = S(f);
        c.limited = true;
        info.columns.push_back(c);
    }
    return info;
}

ListColumn gridColumn(const form::GridColumn& gc, const QSet<QString>& limited)
{
    ListColumn c;
    c.header = gc.header;
    c.field = gc.binding.field;
    switch (gc.binding.conversion) {
    case form::Conversion::UnicodeText:
        break;
    case form::Conversion::Integer:
        c.format = F::Integer;
        c.trimOnSave = true;
        break;
    case form::Conversion::Amount:
        c.format = F::Amount;
        c.trimOnSave = true;
        break;
    default:
        c.trimOnLoad = true;
        c.trimOnSave = true;
        break;
    }
    c.limited = limited.contains(c.field);
    return c;
}

ListKindInfo completeGrid(ListKindInfo info)
{
    QSet<QString> limited;
    for (const ListColumn& c : info.columns)
        limited.insert(c.field);
    info.columns.clear();
    for (const form::Section& section : form::FormCatalogue())
        for (const form::Page& page : section.pages)
            form::ForEachControl(page, [&](const form::Row&, const form::Control& control) {
                if (control.kind != form::ControlKind::Grid || control.listKind != info.kind)
                    return;
                info.section = section.number;
                info.sectionTag = page.tag;
                info.gridControl = control.name;
                info.table = control.binding.table;
                for (const form::GridColumn& gc : control.columns)
                    info.columns.push_back(gridColumn(gc, limited));
            });
    if (info.columns.empty())
        throw Error(QStringLiteral("Brak siatki wykazu %1 w opisie formularza.").arg(info.kind));
    return info;
}

std::vector<ListColumn> publicationColumns()
{
    return {limit(typed("Czasopismo", "Czasopismo")), typed("Tytuł", "Tytul"), typed("Autor (Autorzy)", "Autorzy"),
            typed("Rok, nr, str.", "Rok_tom_str"), typed("Czasopismo z listy MNiSW.", "Czasopismo_MEiN"),
            points("L.punktów", "Liczba_punktow"), addedLater(limit(trimmed("ISSN", "ISSN")))};
}

std::vector<ListColumn> monographColumns(bool chapters)
{
    std::vector<ListColumn> c{limit(typed("Wydawca", "Wydawca")), typed("Tytuł monografii", "Tytul")};
    if (chapters)
        c.push_back(typed("Tytuł rozdziału", "Tytul_rozdzialu"));
    c.push_back(typed("Autor (Autorzy)", "Autorzy"));
    c.push_back(typed("Rok, tom, str.", "Miejsce_rok_tom_str"));
    c.push_back(fixedPoints("L.punktów", "Liczba_punktow"));
    return c;
}

std::vector<ListColumn> projectColumns(const char* lastHeader)
{
    return {limit(savedTrimmed("numer projektu", "symbol")), limit(savedTrimmed("tytuł projektu", "tytul")),
            limit(trimmed("data rozpoczęcia", "data_rozpoczecia")), limit(trimmed("data zakończenia", "data_zakonczenia")),
            limit(savedTrimmed("kierownik projektu", "kierownik")), trimmed(lastHeader, "naklady")};
}

std::vector<ListColumn> patentColumns(bool document)
{
    std::vector<ListColumn> c{limit(savedTrimmed("numer patentu", "numer")), limit(trimmed("data opublikowania", "data")),
                              typed("tytuł (nazwa)", "tytul"), typed("nazwiska twórców", "nazwiska_tworcow"),
                              typed("uprawniony z patentu", "uprawniony")};
    if (document)
        c.push_back(typed("rodzaj dokumentu", "dokument"));
    return c;
}

std::vector<ListColumn> patentApplicationColumns()
{
    return {limit(savedTrimmed("numer zgłoszenia", "numer")), limit(trimmed("data zgłoszenia", "data")),
            typed("tytuł (nazwa)", "tytul"), typed("nazwiska twórców", "nazwiska_tworcow"),
            typed("jednostka zgłaszająca", "uprawniony")};
}

std::vector<ListColumn> protectionColumns(const char* dateHeader)
{
    return {limit(savedTrimmed("numer rejestracyjny", "numer")), limit(trimmed(dateHeader, "data")),
            typed("tytuł (nazwa)", "tytul"), typed("nazwiska twórców", "nazwiska_tworcow"),
            typed("jednostka zgłaszająca", "zglaszajacy")};
}

std::vector<ListKindInfo> declare()
{
    std::vector<ListKindInfo> all(ListKindCount);
    auto put = [&all](const Builder& b) { all[static_cast<size_t>(b.info.kind)] = b.info; };

    all[0] = mainWindowGrid(0, "kierownik", {"Nazwisko", "Stanowisko", "Telefon", "Email"});

    const char* const degreeTitles[] = {
        "Wykaz posiadanych uprawnień do nadawania stopnia naukowego doktora",
        "Wykaz posiadanych uprawnień do nadawania stopnia naukowego doktora habilitowanego"};
    const char* const degreeKinds[] = {"dr", "hab"};
    for (int i = 0; i < 2; ++i) {
        Builder b(1 + i, 1 + i, 7, "", "dane_wykaz_uprawnien");
        b.title(degreeTitles[i])
            .by("rodzaj", S(degreeKinds[i]))
            .columns({trimmed("nazwa stopnia", "nazwa_stopnia"), trimmed("w zakresie", "zakres")})
            .blank({0, 1})
            .page("uprawnienia dr", 1);
        b.info.countsDisciplines = true;
        put(b);
    }

    const char* const groups[] = {"a", "b", "c", "d"};
    for (int g = 1; g <= 4; ++g) {
        const QByteArray point = "8.1." + QByteArray(groups[g - 1]);
        put(Builder(g + 2, g + 24, 8, point.constData(), "dane_wykaz_publikacji")
                .by("grupa", g)
                .columns(publicationColumns())
                .blank({0, 1, 2})
                .constant("lista", S("2009"))
                .page("publikacje", 3));
    }

    put(Builder(7, 39, 8, "", "dane_wykaz_redaktor_czasopism")
            .columns({limit(typed("Nazwisko i imię", "nazwisko_imie")), typed("Tytuł czasopisma", "tytul_czasopisma"),
                      limit(shownTrimmed("ISSN czasopisma", "ISSN")), typed("Grupa czasopism", "grupa")})
            .blank({0, 1, 2})
            .page("redaktor czasopisma", 7));

    const int monographPoints[] = {24, 7, 12, 3};
    for (int g = 1; g <= 4; ++g) {
        const bool chapters = g == 2 || g == 4;
        const QByteArray point = "8.4." + QByteArray(groups[g - 1]);
        Builder b(g + 7, g + 28, 8, point.constData(), "dane_wykaz_monografii");
        b.by("grupa", g).columns(monographColumns(chapters)).blank({0, 1, 2}).page("monografie", chapters ? 9 : 8);
        b.info.fixedPoints = monographPoints[g - 1];
        put(b);
    }

    put(Builder(12, 40, 8, "", "dane_wykaz_redaktor_monografii")
            .columns({limit(typed("Nazwisko i imię", "nazwisko_imie")), typed("Tytuł", "tytul"),
                      limit(typed("Wydawnictwo", "wydawnictwo")), limit(typed("Rok wydania", "rok_wydania")),
                      typed("Język", "jezyk")})
            .blank({0, 1, 2})
            .page("redaktor monografii", 12));

    all[13] = mainWindowGrid(13, "wydawnictwa", {"Tytul", "Jezyk"});
    all[14] = mainWindowGrid(14, "członkostwo", {"Nazwisko", "Nazwa_organizacji", "Data_wyboru"});

    for (int r = 1; r <= 4; ++r) {
        const QByteArray point = "pt " + QByteArray::number(r);
        put(Builder(r + 14, r + 2, 11, point.constData(), "dane_wykaz_kontraktow")
                .by("rodzaj", r)
                .columns({limit(typed("nazwa kontraktu", "nazwa")), limit(typed("symbol", "symbol")),
                          limit(trimmed("nr ewidencyjny", "numer_ewid"))})
                .blank({0, 1, 2})
                .page("kontrakty", 15));
    }

    put(Builder(19, 7, 12, "pt 1", "dane_wykaz_sieci_nauk")
            .title("Liczba sieci naukowych, w których uczestniczy jednostka, opis specjalności naukowej sieci, wykaz "
                   "jednostek naukowych tworzących sieć naukową")
            .columns({limit(typed("nazwa sieci", "nazwa_sieci")), typed("opis specjalności", "opis_sieci"),
                      typed("wykaz jednostek", "wykaz_jednostek")})
            .blank({0, 1, 2})
            .page("sieci", 19));
    put(Builder(20, 8, 12, "pt 2", "dane_wykaz_konsorcjow")
            .title("Liczba konsorcjów naukowych, w których skład wchodzi jednostka naukowa, nazwa konsorcjum, zakres "
                   "działania konsorcjum, wykaz jednostek wchodzących w skład konsorcjum")
            .columns({limit(typed("nazwa konsorcjum", "nazwa")), typed("zakres działania", "zakres_dzialania"),
                      typed("wykaz jednostek", "wykaz_jednostek")})
            .blank({0, 1, 2})
            .page("konsorcja", 20));

    for (int r = 1; r <= 4; ++r) {
        const bool papers = r == 2 || r == 4;
        const QByteArray point = "pt " + QByteArray::number(r);
        Builder b(r + 20, r + 8, 13, point.constData(), "dane_wykaz_konferencji");
        std::vector<ListColumn> c{limit(typed("nazwa konferencji", "nazwa"))};
        if (papers)
            c.push_back(limit(typed("tytuł referatu", "tytul_referatu")));
        else
            b.constant("tytul_referatu", QString());
        b.by("rodzaj", r).columns(std::move(c)).blank({0});
        b.page(r == 2 ? "referaty 2" : r == 4 ? "referaty" : "konferencje", papers ? 22 : 21);
        put(b);
    }

    put(Builder(25, 13, 14, "pt 2", "dane_wykaz_projektow")
            .by("rodzaj", 1)
            .columns(projectColumns("nakłady"))
            .blank({0, 1, 2})
            .page("projekty", 25));
    put(Builder(26, 14, 14, "pt 3", "dane_wykaz_projektow")
            .by("rodzaj", 2)
            .columns(projectColumns("udział wnioskodawcy"))
            .blank({0, 1, 2})
            .page("projekty", 25));
    put(Builder(27, 17, 14, "pt 4", "dane_wykaz_umow")
            .by("rodzaj", 1)
            .columns({limit(savedTrimmed("symbol umowy", "symbol")), limit(savedTrimmed("przedmiot umowy", "tytul")),
                      trimmed("wartość", "wartosc"), limit(savedTrimmed("jednostka zlecająca", "zlecajacy")),
                      limit(trimmed("data rozpoczęcia", "data_rozpoczecia")),
                      limit(trimmed("data zakończenia", "data_zakonczenia"))})
            .blank({0, 1, 2, 3})
            .page("umowy", 27));

    // Section 15: points 1..20 are kinds 28..46 behind tags 151..170; point 14 and tag 164 are not lists.
    struct Patent {
        int kind;
        int rodzaj;
        const char* title;
    };
    const Patent patents[] = {
        {28, 1, "Uzyskane patenty międzynarodowe"},
        {29, 2, "Zastosowane patenty międzynarodowe uzyskane przez jednostkę naukową"},
        {30, 3, "Uzyskane patenty krajowe"},
        {31, 4, "Zastosowane patenty krajowe uzyskane przez jednostkę naukową"},
        {32, 5, "Zastosowane patenty, których właścicielem jest podmiot gospodarczy, a twórcami pracownicy jednostki"},
        {34, 7, "Zgłoszenia patentowe w Urzędzie Patentowym RP"},
        {35, 8, "Zgłoszenia w zagranicznych urzędach patentowych"},
    };
    for (const Patent& p : patents) {
        const bool application = p.rodzaj >= 7;
        const bool document = p.rodzaj == 2 || p.rodzaj == 4 || p.rodzaj == 5;
        const QByteArray point = "pt " + QByteArray::number(p.kind - 27);
        put(Builder(p.kind, p.kind + 123, 15, point.constData(), "dane_wykaz_patentow")
                .title(p.title)
                .by("rodzaj", p.rodzaj)
                .columns(application ? patentApplicationColumns() : patentColumns(document))
                .blank({0, 2, 3})
                .page("patenty", application ? 34 : document ? 29 : 28));
    }
    put(Builder(33, 156, 15, "pt 6", "dane_wykaz_umowy_patenty")
            .title("Umowy o wspólności prawa do patentu jednostki naukowej zawarte z podmiotem gospodarczym")
            .columns({typed("Informacja o umowie", "opis")})
            .blank({0})
            .page("umowy_patenty", 33));
    put(Builder(36, 159, 15, "pt 9", "dane_wykaz_praw_ochronnych")
            .title("Uzyskane prawa ochronne na wzory użytkowe ")
            .by("rodzaj", 1)
            .columns(protectionColumns("data uzyskania"))
            .blank({0, 2, 3})
            .page("prawa ochronne", 36));
    put(Builder(37, 160, 15, "pt 10", "dane_wykaz_praw_ochronnych")
            .title("Zgłoszone prawa ochronne na wzory użytkowe")
            .by("rodzaj", 2)
            .columns(protectionColumns("data zgłoszenia"))
            .blank({0, 2, 3})
            .page("prawa ochronne", 36));
    put(Builder(38, 161, 15, "pt 11", "dane_wykaz_praw_ochronnych")
            .title("Przysługujące prawa autorskie do utworu będącego wynikiem działalności twórczej o indywidualnym "
                   "charakterze, w szczególności w zakresie architektury, urbanistyki, wzornictwa przemysłowego oraz "
                   "sztuki")
            .by("rodzaj", 3)
            .columns({limit(trimmed("data uzyskania", "data")), typed("tytuł (nazwa)", "tytul"),
                      typed("nazwiska twórców", "nazwiska_tworcow")})
            .blank({0, 2})
            .page("prawa ochronne", 38));
    put(Builder(39, 162, 15, "pt 12", "dane_wykaz_procedur")
            .title("Opracowane i wprowadzone nowe procedury postępowania, np. terapeutycznego, leczniczego, "
                   "hodowlanego, technologicznego")
            .columns({trimmed("zasięg", "rodzaj"), limit(trimmed("data wprowadzenia", "data")),
                      typed("opis/tytuł (nazwa)", "opis"), typed("nazwiska twórców", "nazwiska_tworcow")})
            .blank({0, 2, 3})
            .page("procedury", 39));
    put(Builder(40, 163, 15, "pt 13", "dane_wykaz_wdrozen")
            .title("Udokumentowane i wykorzystane poza jednostką wdrożenia wyników badań naukowych i prac rozwojowych "
                   "prowadzonych w jednostce")
            .columns({limit(savedTrimmed("tytuł przedsięwzięcia", "Tytul")),
                      limit(savedTrimmed("słowa kluczowe", "Slowa_klucz")),
                      amount("przychody naukowej", "Przychody_jednostki"), savedTrimmed("opis efektów", "Opis_efektow"),
                      limit(savedTrimmed("jednostka wdrażająca", "Jednostka_wdrazajaca")),
                      limit(savedTrimmed("forma prawna", "Forma_prawna")),
                      limit(savedTrimmed("wycena wartości", "Wycena_wartosci")),
                      amount("przychody wdrażającej", "Przychody_wdrazajacego"),
                      savedTrimmed("efekty niewymierne", "niewymierne_efekty")})
            .blank({0, 2, 3})
            .page("wdrożenia", 40));
    const char* const productTitles[] = {
        "Nowe produkty, dla których uzyskano certyfikaty jakościowe w uprawnionych jednostkach",
        "Nowe produkty wprowadzone do obrotu handlowego, dla których uzyskano certyfikat zgodności z CE lub PN"};
    for (int r = 1; r <= 2; ++r) {
        const QByteArray point = "pt " + QByteArray::number(14 + r);
        put(Builder(40 + r, 164 + r, 15, point.constData(), "dane_wykaz_produktow")
                .title(productTitles[r - 1])
                .by("rodzaj", r)
                .columns({typed("nazwa/opis", "nazwa_opis"), typed("nazwa jednostki certyfikującej", "cetryfikujacy"),
                          limit(typed("numer certyfikatu", "numer")), limit(trimmed("data certyfikacji", "data")),
                          typed("podmiot wdrażający", "wdrazajacy")})
                .blank({0, 2, 3})
                .page("produkty", 41));
    }
    put(Builder(43, 167, 15, "pt 17", "dane_wykaz_technologii")
            .title("Technologie, dla których uzyskano standardy BAT (Najlepsza Dostępna Technika)")
            .columns({typed("nazwa/opis", "nazwa_opis"), limit(typed("numer świadectwa", "numer")),
                      limit(trimmed("data uzyskania", "data")), typed("podmiot wdrażający", "wdrazajacy")})
            .blank({0, 2, 3})
            .page("technologie", 43));
    put(Builder(44, 168, 15, "pt 18", "dane_wykaz_wdrozen_chronionych")
            .title("Przedmioty wdrożenia objęte kompleksową ochroną własności")
            .columns({typed("nazwa/opis", "nazwa_opis"), limit(trimmed("data uzyskania", "data")),
                      typed("podmiot wdrażający", "wdrazajacy")})
            .blank({0, 2})
            .page("wdrożenia chronione", 44));
    put(Builder(45, 169, 15, "pt 19", "dane_wykaz_licencji")
            .title("Sprzedane licencje, know-how itp. ogółem")
            .columns({typed("nazwa/opis", "nazwa_opis"), limit(trimmed("data sprzedaży", "data")),
                      typed("licencjonobiorca", "licencjonobiorca"), amount("wysokość opłaty", "oplata")})
            .blank({0, 2, 3})
            .page("licencje", 45));
    put(Builder(46, 170, 15, "pt 20", "dane_wykaz_dokonan")
            .title("Dokonania twórcze wnoszące znaczny wkład w rozwój sztuki")
            .columns({typed("nazwa dokonań", "nazwa"), limit(trimmed("data realizacji", "data")), typed("opis", "opis"),
                      typed("nazwiska twórców", "nazwiska_tworcow")})
            .blank({0, 2, 3})
            .page("dokonania", 46));

    for (int r = 1; r <= 2; ++r) {
        const QByteArray point = "pt " + QByteArray::number(r);
        put(Builder(46 + r, 22 + r, 16, point.constData(), "dane_wykaz_nagrod")
                .by("rodzaj", r)
                .columns({trimmed("krajowa/zagraniczna", "kraj_zagr"), limit(savedTrimmed("rodzaj", "typ")),
                          limit(savedTrimmed("nadający", "przyznajacy"))})
                .blank({0, 1, 2})
                .page("nagrody", 47));
    }

    all[49] = mainWindowGrid(49, "laboratoria", {"Nazwa", "Jednostka_akredytujaca"});
    all[50] = mainWindowGrid(50, "aparatura",
                             {"Nazwa", "Producent", "Typ_urzadzenia", "Nazwa_lab_uzytkujacego", "Opis_innego_zrodla"});
    return all;
}

// The kinds as declared above, main-window grids without their columns. The form catalogue reads
// its list buttons' kinds from here while it is being built, so this must not read the form.
const std::vector<ListKindInfo>& declaredKinds()
{
    static const std::vector<ListKindInfo> declared = declare();
    return declared;
}

} // namespace

QStringList ListKindInfo::headers() const
{
    QStringList h;
    for (const ListColumn& c : columns)
        h << c.header;
    return h;
}

int ListKindInfo::columnIndex(const QString& field) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].field.compare(field, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}


const std::vector<ListKindInfo>& ListCatalogue()
{
    static const std::vector<ListKindInfo> catalogue = [] {
        std::vector<ListKindInfo> all = declaredKinds();
        for (ListKindInfo& info : all)
            if (info.mainWindowGrid)
                info = completeGrid(std::move(info));
        return all;
    }();
    return catalogue;
}

bool isListKind(int kind) { return kind >= 0 && kind < ListKindCount; }

const ListKindInfo& ListKindInfoOf(int kind)
{
    if (!isListKind(kind))
        throw Error(QStringLiteral("Nieznany rodzaj wykazu: %1.").arg(kind));
    return ListCatalogue()[static_cast<size_t>(kind)];
}

QString ListTitle(int kind)
{
    const ListKindInfo& info = ListKindInfoOf(kind);
    if (!info.fixedTitle.isEmpty())
        return info.fixedTitle;
    if (info.mainWindowGrid)
        return form::SectionChooserItems().value(info.section - 1);
    for (const form::Section& section : form::FormCatalogue())
        for (const form::Page& page : section.pages)
            for (const form::Row& row : page.rows)
                for (const form::Control& control : row.controls)
                    if (control.kind == form::ControlKind::ListButton && control.listKind == kind)
                        return row.label;
    return {};
}

int ListKindForButtonTag(int tag)
{
    if (tag < 0)
        return -1;
    for (const ListKindInfo& info : declaredKinds())
        if (info.buttonTag == tag)
            return info.kind;
    return -1;
}

std::vector<int> ImportGroupKinds(int group)
{
    std::vector<int> kinds;
    for (const ListKindInfo& info : ListCatalogue())
        if (info.importGroup == group)
            kinds.push_back(info.kind);
    return kinds;
}

int DisciplineCount(const QString& scope)
{
    const int semicolons = static_cast<int>(scope.trimmed().count(QLatin1Char(';')));
    return semicolons > 0 ? semicolons : 1;
}

} // namespace vestrum::lists
