#include "print/report_entries.h"

namespace vestrum::report {
namespace {

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

const std::vector<ReportEntry>& ReportEntries()
{
    // index, text, parent, section, page, body, heading
    static const std::vector<ReportEntry> entries = {
        {0, S("1. Informacje o jednostce naukowej"), -1, 0, 0, Body::Nothing, HeadingForm::Heading},
        {1, S("  - dane podstawowe"), 0, 0, 1, Body::FieldRows, HeadingForm::PageCaption},
        {2, S("  - dane adresowe"), 0, 0, 2, Body::FieldRows, HeadingForm::PageCaption},
        {3, S("  - dyscypliny nauki"), 0, 0, 3, Body::ListBox, HeadingForm::PageCaption},
        {4, S("  - Polska Klasyfikacja Działalności"), 0, 0, 4, Body::ListBox, HeadingForm::PageCaption},
        {5, S("2. Informacje o kierowniku jednostki naukowej "), -1, 1, 0, Body::Grid, HeadingForm::Heading},
        {6, S("3. Zatrudnienie w działalności B+R (badania naukowe i prace rozwojowe) "), -1, 2, 0, Body::FieldRows, HeadingForm::Heading},
        {7, S("4. Ogólna liczba osób, dla których jednostka jest podstawowym miejscem pracy "), -1, 3, 0, Body::FieldRows, HeadingForm::Heading},
        {8, S("5. Warunki lokalowe"), -1, 4, 0, Body::FieldRows, HeadingForm::Heading},
        {9, S("6. Dane o bazie bibliotecznej"), -1, 5, 0, Body::FieldRows, HeadingForm::Heading},
        {10, S("7. Uprawnienia do nadawania stopni naukowych"), -1, 6, 0, Body::FieldRows, HeadingForm::Heading},
        {11, S("8. Dane o publikacjach naukowych i monografiach"), -1, 7, 0, Body::Nothing, HeadingForm::Heading},
        {12, S("  - wykazy publikacji"), 11, 7, 0, Body::FieldRows, HeadingForm::None},
        {13, S("  - wykazy monografii"), 11, 7, 1, Body::FieldRows, HeadingForm::None},
        {14, S("  - redaktorzy naczelni publikacji i monografii"), 11, 7, 2, Body::FieldRows, HeadingForm::None},
        {15, S("  - liczba cytowań publikacji z afiliacją jednostki"), 11, 7, 3, Body::FieldRows, HeadingForm::None},
        {16, S("9. Wydawnictwa własne"), -1, 8, 0, Body::Grid, HeadingForm::Heading},
        {17, S("10. Członkostwo z wyboru w organizacjach naukowych i komitetach redakcyjnych czasopism naukowych o zasięgu światowym"), -1, 9, 0, Body::Grid, HeadingForm::Heading},
        {18, S("11. Udział w międzynarodowych programach naukowych"), -1, 10, 0, Body::FieldRows, HeadingForm::Heading},
        {19, S("12. Udział w sieciach naukowych lub konsorcjach naukowo-przemysłoych"), -1, 11, 0, Body::FieldRows, HeadingForm::Heading},
        {20, S("13. Konferencje naukowe "), -1, 12, 0, Body::FieldRows, HeadingForm::Heading},
        {21, S("14. Zrealizowane projekty badawcze, projekty celowe, projekty rozwojowe, umowy z innymi podmiotami"), -1, 13, 0, Body::FieldRows, HeadingForm::Heading},
        {22, S("15. Patenty i wdrożenia"), -1, 14, 0, Body::Nothing, HeadingForm::Heading},
        {23, S("  - patenty"), 22, 14, 0, Body::FieldRows, HeadingForm::None},
        {24, S("  - prawa ochronne i autorskie"), 22, 14, 1, Body::FieldRows, HeadingForm::None},
        {25, S("  - wdrożenia, licencje, nowe produkty i technologie"), 22, 14, 2, Body::FieldRows, HeadingForm::None},
        {26, S("  - dokonania twórcze"), 22, 14, 3, Body::FieldRows, HeadingForm::None},
        {27, S("16. Nagrody i wyróżnienia"), -1, 15, 0, Body::FieldRows, HeadingForm::Heading},
        {28, S("17. Dane finansowe dotyczące działalności B+R "), -1, 16, 0, Body::FieldRows, HeadingForm::Heading},
        {29, S("18. Przychody ogółem "), -1, 17, 0, Body::FieldRows, HeadingForm::Heading},
        {30, S("19. Środki trwałe "), -1, 18, 0, Body::FieldRows, HeadingForm::Heading},
        {31, S("20. Laboratoria badawcze posiadające akredytację polskiego centrum akredytacji"), -1, 19, 0, Body::Nothing, HeadingForm::Heading},
        {32, S("  - laboratoria badawcze"), 31, 19, 0, Body::Grid, HeadingForm::ParentText},
        {33, S("  - wdrożone systemy jakości"), 31, 19, 1, Body::FieldRows, HeadingForm::OwnTextCapitalised},
        {34, S("21. Aparatura naukowo-badawcza zakupiona w roku, którego dotyczy ankieta i wartość jednostkowa zakupu (brutto), jeżeli wynosi powyżej 500.000 zł "), -1, 20, 0, Body::Grid, HeadingForm::Heading},
        {35, S("22. Informacja o najważniejszym osiągnięciu jednostki w roku, którego dotyczy ankieta"), -1, 21, 0, Body::MultiLine, HeadingForm::Heading},
        {36, S("23. Informacje o osobie odpowiedzialnej za sporządzenie ankiety"), -1, 22, 0, Body::FieldRows, HeadingForm::Heading},
        {37, S("Inne ważne informacje"), -1, 23, 0, Body::MultiLine, HeadingForm::Heading},
    };
    return entries;
}

std::vector<int> PartsOf(int parent)
{
    std::vector<int> parts;
    for (const ReportEntry& entry : ReportEntries())
        if (entry.parent == parent && parent >= 0)
            parts.push_back(entry.index);
    return parts;
}

int EntryOfVisiblePage(int sectionIndex, int pageIndex)
{
    if (sectionIndex == 0 && pageIndex == 0)
        return -1; // the reporting-year page belongs to no entry
    for (const ReportEntry& entry : ReportEntries()) {
        if (entry.sectionIndex != sectionIndex || entry.body == Body::Nothing)
            continue;
        if (entry.pageIndex == pageIndex)
            return entry.index;
    }
    return -1;
}

} // namespace vestrum::report
