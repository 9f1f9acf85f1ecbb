#include "lists/entry_checks.h"

#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace vestrum;
using namespace vestrum::lists;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

int indexOfCaption(const EntryForm& form, const QString& caption)
{
    for (int i = 0; i < form.count(); ++i)
        if (form.field(i).caption == caption)
            return i;
    return -1;
}

QStringList captions(int kind)
{
    QStringList c;
    for (const EntryField& f : EntryFieldsFor(kind))
        c << f.caption;
    return c;
}

} // namespace

TEST(EntryChecks, DatesAreNormalisedOrRefusedWithTheTextKept)
{
    const ExitCheck february = CheckOnExit(EntryCheck::Date, S("31/02/2008"), 2008);
    EXPECT_FALSE(february.ok);
    EXPECT_EQ(february.message, S("Podana wartość jest nieprawidłowa"));
    EXPECT_EQ(february.text, S("31/02/2008"));

    EXPECT_EQ(CheckOnExit(EntryCheck::Date, S("1/2/2008"), 2008).text, S("01/02/2008"));
    const ExitCheck trailing = CheckOnExit(EntryCheck::Date, S("01/02/2008r"), 2008);
    EXPECT_TRUE(trailing.ok);
    EXPECT_EQ(trailing.text, S("01/02/2008"));
    EXPECT_FALSE(CheckOnExit(EntryCheck::Date, S("1.2.2008"), 2008).ok);
    EXPECT_TRUE(CheckOnExit(EntryCheck::Date, S("29/02/2008"), 2008).ok);
    EXPECT_FALSE(CheckOnExit(EntryCheck::Date, S("29/02/2007"), 2008).ok);
    // Nothing typed, nothing checked.
    EXPECT_TRUE(CheckOnExit(EntryCheck::Date, QString(), 2008).ok);
}

TEST(EntryChecks, YearsKeepToTheirRangeUpToTheReportingYear)
{
    EXPECT_FALSE(CheckOnExit(EntryCheck::ElectionYear, S("1929"), 2008).ok);
    EXPECT_TRUE(CheckOnExit(EntryCheck::ElectionYear, S("1930"), 2008).ok);
    EXPECT_TRUE(CheckOnExit(EntryCheck::ElectionYear, S("2008"), 2008).ok);
    EXPECT_FALSE(CheckOnExit(EntryCheck::ElectionYear, S("2008"), 2007).ok);
    EXPECT_FALSE(CheckOnExit(EntryCheck::ElectionYear, S("1990r"), 2008).ok);
    EXPECT_FALSE(CheckOnExit(EntryCheck::ProductionYear, S("1949"), 2008).ok);
    EXPECT_TRUE(CheckOnExit(EntryCheck::ProductionYear, S("1950"), 2008).ok);
    EXPECT_FALSE(CheckOnExit(EntryCheck::ProductionYear, S("2009"), 2008).ok);
    EXPECT_TRUE(CheckOnExit(EntryCheck::Integer, S("-12"), 2008).ok);
    EXPECT_FALSE(CheckOnExit(EntryCheck::Integer, S("12,5"), 2008).ok);
}

TEST(EntryChecks, AmountsGiveOneMessageEachAndAreRewrittenWhenAccepted)
{
    const ExitCheck below = CheckOnExit(EntryCheck::ApparatusValue, S("499999,99"), 2008);
    EXPECT_FALSE(below.ok);
    EXPECT_EQ(below.message, S("Podana wartość zakupu aparatury nie przekracza wymaganego minimum - 500.000 PLN"));
    EXPECT_EQ(below.text, S("499999,99"));
    const ExitCheck letters = CheckOnExit(EntryCheck::ApparatusValue, S("dużo"), 2008);
    EXPECT_FALSE(letters.ok);
    EXPECT_EQ(letters.message, S("Podana wartość jest nieprawidłowa"));
    EXPECT_EQ(CheckOnExit(EntryCheck::ApparatusValue, S("500000"), 2008).text, S("500000,00"));

    const ExitCheck contract = CheckOnExit(EntryCheck::ContractValue, S("9999,99"), 2008);
    EXPECT_EQ(contract.message, S("Podana wartość umowy nie przekracza wymaganego minimum - 10.000 PLN"));
    EXPECT_EQ(contract.text, S("9999,99"));
    EXPECT_TRUE(CheckOnExit(EntryCheck::ContractValue, S("10000"), 2008).ok);

    EXPECT_EQ(CheckOnExit(EntryCheck::Amount, S("12,5"), 2008).text, S("12,50"));
    EXPECT_FALSE(CheckOnExit(EntryCheck::Amount, S("12.5"), 2008).ok);
}

TEST(EntryPages, EveryKindFillsEachOfItsColumnsExactlyOnce)
{
    for (int kind = 0; kind < ListKindCount; ++kind) {
        const auto columns = static_cast<int>(ListKindInfoOf(kind).columns.size());
        std::vector<int> fills(static_cast<size_t>(columns), 0);
        QSet<QString> panels;
        for (const EntryField& f : EntryFieldsFor(kind)) {
            ASSERT_GE(f.column, 0) << "kind " << kind << ": " << f.caption.toStdString();
            ++fills[static_cast<size_t>(f.column)];
            panels.insert(f.panelName());
            EXPECT_FALSE(f.panelName().mid(5).contains(QLatin1Char('p'))); // survives the "Panels" shortening
        }
        for (int c = 0; c < columns; ++c)
            EXPECT_EQ(fills[static_cast<size_t>(c)], 1) << "kind " << kind << " column " << c;
    }
}

TEST(EntryPages, CaptionsRowsAndItemsFollowTheKind)
{
    EXPECT_EQ(captions(28).value(0), S("Numer patentu"));
    EXPECT_EQ(captions(34).mid(0, 2), QStringList({S("Numer zgłoszenia"), S("Data zgłoszenia  (dd/mm/rrrr)")}));
    EXPECT_EQ(captions(34).value(4), S("Nazwa jednostki zgłaszającej wynalazek do opatentowania"));
    EXPECT_EQ(captions(28).size(), 5);
    EXPECT_EQ(captions(29).size(), 6);
    ASSERT_GT(EntryFieldsFor(31).size(), 5u);
    EXPECT_EQ(EntryFieldsFor(31)[5].items.value(1).left(18), S("kopia zgłoszenia d"));
    ASSERT_GT(EntryFieldsFor(29).size(), 5u);
    EXPECT_EQ(EntryFieldsFor(29)[5].items.value(1), S("oświadczenie podmiotu gospodarczego o zastosowaniu patentu"));

    EXPECT_EQ(captions(37).value(1), S("Data zgłoszenia  (dd/mm/rrrr)"));
    EXPECT_EQ(captions(38), QStringList({S("Data uzyskania  (dd/mm/rrrr)"), S("Tytuł (nazwa)"),
                                         S("Nazwiska twórców z jednostki naukowej")}));
    EXPECT_EQ(captions(2).value(0),
              S("Jednostka posiada uprawnienia do nadawania stopnia naukowego doktora habilitowanego"));
    EXPECT_FALSE(captions(8).contains(S("Tytuł rozdziału")));
    EXPECT_EQ(captions(11).value(2), S("Tytuł rozdziału"));
    EXPECT_TRUE(captions(25).contains(S("Nakłady na projekt w zł")));
    EXPECT_FALSE(captions(25).contains(S("Wysokość udziału finansowego wnioskodawcy")));
    EXPECT_TRUE(captions(26).contains(S("Wysokość udziału finansowego wnioskodawcy")));

    int dates = 0;
    for (const EntryPage& page : EntryPages())
        for (const EntryField& f : page.fields)
            if (f.caption.endsWith(S("(dd/mm/rrrr)")) || f.check == EntryCheck::Date) {
                EXPECT_EQ(f.check, EntryCheck::Date) << f.caption.toStdString();
                ++dates;
            }
    EXPECT_EQ(dates, 11);

    EXPECT_EQ(EntryHeading(0), S("Informacje o kierowniku jednostki naukowej"));
    EXPECT_EQ(EntryHeading(19), ListTitle(19));
    EXPECT_TRUE(EntryHint(7).contains(S("<br>8.1.b")));
    EXPECT_TRUE(EntryHint(33).isEmpty());
}

TEST(EntryForm, OneLinePerEmptyRequiredFieldInTabOrder)
{
    EntryForm leader(0);
    const EntryForm::Acceptance empty = leader.accept();
    EXPECT_EQ(empty.message(), S("Pole \"Nazwisko i imię\" nie może być puste\n"
                                 "Pole \"Stanowisko służbowe \" nie może być puste\n"
                                 "Pole \"Telefon służbowy\" nie może być puste"));
    EXPECT_EQ(empty.first, 0);
    leader.setText(0, S("Kowalski Jan"));
    leader.setText(2, S("   "));
    EXPECT_EQ(leader.accept().first, 1);
    EXPECT_EQ(leader.accept().lines.size(), 2);

    // Optional and read-only rows never count; an unset drop-down list does.
    EntryForm publication(3);
    EXPECT_EQ(publication.accept().lines.size(), 4);
    EntryForm membership(14);
    EXPECT_EQ(membership.accept().lines.value(3), S("Pole \"Rodzaj organizacji\" nie może pozostać nieokreślone"));
}

TEST(EntryForm, AnEditableDropDownOnItsFirstItemCountsAsUnset)
{
    EntryForm award(48);
    const int giver = award.indexOfRole(EntryRole::AwardGiver);
    award.setText(0, S("krajowa"));
    award.setText(1, S("Medal"));
    award.setText(giver, S("- WYBIERZ LUB WPISZ -"));
    EXPECT_EQ(award.accept().lines, QStringList{S("Pole \"Przyznana przez\" nie może pozostać nieokreślone")});
    award.setText(giver, S("innego ministra"));
    EXPECT_TRUE(award.accept().ok());

    // A foreign award is typed over "- wpisz -".
    award.choose(0, 2);
    EXPECT_EQ(award.items(giver), QStringList{S("- wpisz -")});
    EXPECT_FALSE(award.accept().ok());
    award.setText(giver, S("Royal Society"));
    EXPECT_EQ(award.row(), QStringList({S("zagraniczna"), S("Medal"), S("Royal Society")}));
}

TEST(EntryForm, AChangedAwardKeepsItsGiver)
{
    EntryForm domestic(47);
    domestic.fill({S("krajowa"), S("Nagroda"), S("Fundacji na Rzecz Nauki Polskiej")});
    const int giver = domestic.indexOfRole(EntryRole::AwardGiver);
    EXPECT_EQ(domestic.chosen(giver), 3);
    // A foreign award opens on the domestic givers too, its giver shown as typed; only the
    // user's change of origin replaces the list, "- wybierz -" giving "- wpisz -" as well.
    EntryForm foreign(47);
    foreign.fill({S("zagraniczna"), S("Nagroda"), S("Akademia Nauk Francji")});
    EXPECT_EQ(foreign.items(giver), DomesticAwardGivers(47));
    EXPECT_EQ(foreign.text(giver), S("Akademia Nauk Francji"));
    EXPECT_EQ(foreign.chosen(giver), -1);
    EXPECT_EQ(foreign.row().value(2), S("Akademia Nauk Francji"));
    foreign.choose(0, 0);
    EXPECT_EQ(foreign.items(giver), QStringList{S("- wpisz -")});
    foreign.choose(0, 1);
    EXPECT_EQ(foreign.items(giver), DomesticAwardGivers(47));
    EntryForm fresh(48);
    EXPECT_EQ(fresh.items(giver), DomesticAwardGivers(48));
}

TEST(EntryForm, DegreeRightsStoreEachCheckedDisciplineOnce)
{
    EXPECT_EQ(ScienceDomains().size(), 21u);
    EntryForm rights(1);
    const int list = rights.indexOfRole(EntryRole::Disciplines);
    rights.choose(0, 1); // nauk chemicznych
    ASSERT_EQ(rights.items(list).value(3), S("biotechnologii"));
    rights.setChecked(list, 3, true);
    EXPECT_EQ(rights.row(), QStringList({S("nauk chemicznych"), S("biotechnologii;")}));
    EXPECT_EQ(JoinDisciplines({S("prawa"), S("Prawa"), S("prawa kanonicznego")}), S("prawa;prawa kanonicznego;"));

    // Changing an entry re-selects the domain and the disciplines whatever their case.
    EntryForm changed(2);
    changed.fill({S("Nauk Technicznych"), S("informatyki; ELEKTRONIKI;nieznanej;")});
    EXPECT_EQ(changed.chosen(0), 12);
    EXPECT_EQ(changed.checkedItems(list), QStringList({S("elektroniki"), S("informatyki")}));
    // Another domain empties the list; "- wybierz -" leaves none.
    changed.choose(0, 0);
    EXPECT_TRUE(changed.items(list).isEmpty());
    EXPECT_EQ(changed.accept().lines.size(), 1);
    EntryForm unknown(1);
    unknown.fill({S("nauk alchemicznych"), S("złota;")});
    EXPECT_EQ(unknown.chosen(0), 0);
}

TEST(EntryForm, OtherPurchaseSourceIsRequiredOnlyForInne)
{
    EntryForm apparatus(50);
    const int source = apparatus.indexOfRole(EntryRole::PurchaseSource);
    const int other = apparatus.indexOfRole(EntryRole::OtherPurchaseSource);
    EXPECT_TRUE(apparatus.isReadOnly(other));
    apparatus.choose(source, static_cast<int>(apparatus.items(source).indexOf(S("inne"))));
    EXPECT_FALSE(apparatus.isReadOnly(other));
    EXPECT_TRUE(apparatus.accept().lines.contains(S("Pole \"Opis innego źródła zakupu\" nie może być puste")));
    apparatus.setText(other, S("darowizna"));
    apparatus.choose(source, 1);
    EXPECT_TRUE(apparatus.isReadOnly(other));
    EXPECT_TRUE(apparatus.text(other).isEmpty());
    EXPECT_FALSE(apparatus.accept().lines.join(QString()).contains(S("innego")));
}

TEST(EntryForm, PointsAndProjectsFollowTheKind)
{
    EXPECT_EQ(EntryForm(8).row().value(4), S("24"));
    EXPECT_EQ(EntryForm(11).row().value(5), S("3"));
    EntryForm changedMonograph(10);
    changedMonograph.fill({S("PWN"), S("Tytuł"), S("Autor"), S("2008"), S("99")});
    EXPECT_EQ(changedMonograph.row().value(4), S("12"));
    EXPECT_EQ(EntryForm(3).row().value(5), S("0"));

    EntryForm publication(4);
    publication.fill({S("Acta"), S("T"), S("A"), S("2008"), QString(), S("0,00")});
    publication.setListedJournal({S("Acta Physica"), S("15")});
    EXPECT_EQ(publication.row().value(4), S("Acta Physica"));
    EXPECT_EQ(publication.row().value(5), S("15,00"));

    EntryForm share(26);
    share.fill({S("N 1"), S("T"), S("01/01/2007"), S("01/01/2008"), S("K"), S("od 200.000 do 500.000 zł")});
    EXPECT_EQ(share.chosen(share.indexOfField(S("naklady"))), 2);
    EXPECT_EQ(share.row().value(5), S("od 200.000 do 500.000 zł"));
    EntryForm amount(25);
    amount.fill({S("N 1"), S("T"), S("01/01/2007"), S("01/01/2008"), S("K"), S("1234,50")});
    EXPECT_EQ(amount.text(amount.indexOfField(S("naklady"))), S("1234,50"));
}

TEST(EntryForm, StoredConferencesComeFromKind21Only)
{
    vestrum::testing::TempSurvey survey;
    const QString insert = QStringLiteral("insert into dane_wykaz_konferencji (rodzaj, nazwa, tytul_referatu) values (?, ?, '')");
    for (const auto& [kind, name] : std::vector<std::pair<int, const char*>>{
             {1, "Zjazd"}, {1, "Forum ' OR 1=1"}, {1, "Zjazd"}, {3, "Krajowa"}, {2, "Referat"}, {1, "Łódzkie Forum"},
             {1, "zjazd"}, {1, "Lubelskie Dni"}, {1, "ZJAZD"}})
        survey.connection.execute(insert, {kind, S(name)});
    // Polish order, names differing only in letter case once (as first stored).
    const QStringList names = StoredConferences(survey.connection);
    EXPECT_EQ(names, QStringList({S("Forum ' OR 1=1"), S("Lubelskie Dni"), S("Łódzkie Forum"), S("Zjazd")}));
    EntryForm paper(22, names);
    EXPECT_EQ(paper.items(0),
              QStringList({S("- wybierz -"), S("Forum ' OR 1=1"), S("Lubelskie Dni"), S("Łódzkie Forum"), S("Zjazd")}));
    paper.fill({S("Zjazd"), S("Referat")});
    EXPECT_EQ(paper.chosen(0), 4);
    vestrum::testing::TempSurvey empty;
    EXPECT_TRUE(StoredConferences(empty.connection).isEmpty());
    EXPECT_EQ(indexOfCaption(paper, S("Tytuł referatu")), 1);
}

// Years and whole numbers are kept without the blanks around them, so a year fits its four
// characters; the acceptance check names every field longer than its declared width.
TEST(EntryForm, NumbersAreTrimmedAndOverLongFieldsAreNamedWithTheirWidth)
{
    EntryForm membership(14);
    const int year = membership.indexOfField(QStringLiteral("Data_wyboru"));
    membership.setText(year, QStringLiteral(" 1930 "));
    EXPECT_TRUE(membership.leave(year, 2008).ok);
    EXPECT_EQ(membership.text(year), QStringLiteral("1930"));
    EntryForm publishing(13);
    const int copies = publishing.indexOfField(QStringLiteral("Naklad"));
    publishing.setText(copies, QStringLiteral("  500"));
    EXPECT_TRUE(publishing.leave(copies, 2008).ok);
    EXPECT_EQ(publishing.text(copies), QStringLiteral("500"));

    membership.setText(year, QStringLiteral("01930"));
    const int surname = membership.indexOfField(QStringLiteral("Nazwisko"));
    membership.setText(surname, QStringLiteral("Kowalski"));
    const auto tooLong = membership.checkWidths({{QStringLiteral("data_wyboru"), 4}, {QStringLiteral("Nazwisko"), 8}});
    EXPECT_EQ(tooLong.first, year);
    EXPECT_EQ(tooLong.lines, QStringList{S("Pole \"") + membership.field(year).caption
                                          + S("\" może zawierać najwyżej 4 znaki")});
    EXPECT_EQ(TooLongLine(S("X"), 1), S("Pole \"X\" może zawierać najwyżej 1 znak"));
    EXPECT_EQ(TooLongLine(S("X"), 12), S("Pole \"X\" może zawierać najwyżej 12 znaków"));
    EXPECT_EQ(TooLongLine(S("X"), 22), S("Pole \"X\" może zawierać najwyżej 22 znaki"));
}
