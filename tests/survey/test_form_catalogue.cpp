#include "survey/form_catalogue.h"
#include "survey/hint_table.h"
#include "storage/schema.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QSet>
#include <map>

using namespace vestrum;
using namespace vestrum::form;

namespace {

std::vector<std::pair<const Page*, const Control*>> allControls()
{
    std::vector<std::pair<const Page*, const Control*>> out;
    for (const Section& s : FormCatalogue())
        for (const Page& p : s.pages)
            ForEachControl(p, [&](const Row&, const Control& c) { out.push_back({&p, &c}); });
    return out;
}

bool tableHasField(const schema::TableDef& table, const QString& field)
{
    for (const auto& column : table.columns)
        if (column.name.compare(field, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

TEST(FormCatalogue, SectionsPagesAndChooserTexts)
{
    const auto& all = FormCatalogue();
    ASSERT_EQ(all.size(), 24u);
    const QStringList items = SectionChooserItems();
    ASSERT_EQ(items.size(), 24);
    EXPECT_EQ(items[1], QString::fromUtf8("2. Informacje o kierowniku jednostki naukowej "));
    EXPECT_EQ(items[13], QString::fromUtf8("14. Zrealizowane projekty*  badawcze, projekty celowe, projekty rozwojowe, "
                                           "umowy**  z innymi podmiotami"));
    EXPECT_EQ(items[23], QString::fromUtf8("Inne ważne informacje"));
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(all[i].number, i + 1);
        EXPECT_EQ(all[i].chooserText, items[i]);
        EXPECT_EQ(all[i].pageName, QStringLiteral("t%1").arg(i));
        EXPECT_FALSE(all[i].pages.empty());
    }
    // Sub-pages exactly where the form has them.
    EXPECT_EQ(all[0].pages.size(), 5u);
    EXPECT_EQ(all[7].pages.size(), 4u);
    EXPECT_EQ(all[14].pages.size(), 4u);
    ASSERT_EQ(all[19].pages.size(), 2u);
    for (int i : {0, 7, 14, 19})
        EXPECT_TRUE(all[i].hasSubPages()) << i;
    EXPECT_EQ(all[19].pages[1].title, QString::fromUtf8("Systemy jakości"));
}

TEST(FormCatalogue, EverySectionTagOnceWithItsEditCaption)
{
    std::vector<int> tags = SectionTags();
    std::vector<int> expected;
    for (int t = 2; t <= 26; ++t)
        if (t != 9 && t != 12 && t != 13 && t != 14 && t != 15 && t != 16 && t != 17 && t != 1)
            expected.push_back(t);
    for (int t = 100; t <= 104; ++t)
        expected.push_back(t);
    std::sort(tags.begin(), tags.end());
    EXPECT_EQ(tags, expected);
    for (int t : tags) {
        const PageRef ref = PageByTag(t);
        ASSERT_NE(ref.page, nullptr) << t;
        const bool listEditCaption = ref.page->kind == PageKind::Grid || ref.page->kind == PageKind::Chooser || t == 25;
        EXPECT_EQ(ref.page->editCaption, listEditCaption ? EditListCaption() : EditCaption()) << t;
    }
    EXPECT_TRUE(PageByTag(23).page->ownButtons);
    EXPECT_TRUE(PageByTag(26).page->ownButtons);
    EXPECT_EQ(PageByTag(26).sectionIndex, 23);
    EXPECT_EQ(PageByTag(21).page->title, QString::fromUtf8("Laboratoria badawcze"));
}

TEST(FormCatalogue, ControlNamesUniqueAndKnownOnesWhereExpected)
{
    QSet<QString> names;
    for (const auto& [page, control] : allControls()) {
        EXPECT_FALSE(control->name.isEmpty());
        EXPECT_FALSE(names.contains(control->name)) << control->name.toStdString();
        names.insert(control->name);
    }
    for (int r = 1; r <= 6; ++r)
        for (int c = 1; c <= 4; ++c)
            EXPECT_TRUE(names.contains(QStringLiteral("me3%1%2").arg(r).arg(c)));
    for (const char* n : {"c000", "e001", "e009", "e011", "e018", "lb022", "lv021", "lb032", "lv031", "rb031", "rb032",
                          "me41", "me56", "me64", "BitBtn36", "BitBtn37", "me732", "me8", "bb804", "bb904", "BitBtn15",
                          "bb905", "me86_1", "e86_2", "bb1204", "bb1302", "bb1404", "me1501", "bb1505", "bb1611",
                          "bb1619", "me1519_1", "bb1620", "bb1702", "me1813", "me1913", "me2003", "me221", "m222",
                          "m231", "e245", "m251"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(n))) << n;
    EXPECT_FALSE(names.contains(QStringLiteral("bb1614"))); // point 14) of section 15 does not exist
    // The licence counts come after point 19), in the order of the form.
    const PageRef impl = PageOfControl(QStringLiteral("me1519_3"));
    ASSERT_NE(impl.page, nullptr);
    QStringList order;
    ForEachControl(*impl.page, [&](const Row&, const Control& c) { order << c.name; });
    EXPECT_EQ(order.mid(order.indexOf(QStringLiteral("bb1619"))),
              (QStringList{QStringLiteral("bb1619"), QStringLiteral("me1519_3"), QStringLiteral("me1519_2"),
                           QStringLiteral("me1519_1")}));
}

TEST(FormCatalogue, EveryBindingNamesARealField)
{
    int stored = 0;
    for (const auto& [page, control] : allControls()) {
        std::vector<Binding> bindings;
        if (control->binding.isStored())
            bindings.push_back(control->binding);
        for (const GridColumn& column : control->columns)
            bindings.push_back(column.binding);
        for (const Binding& b : bindings) {
            const schema::TableDef* table = schema::findSurveyTable(b.table);
            ASSERT_NE(table, nullptr) << b.table.toStdString();
            EXPECT_TRUE(tableHasField(*table, b.field)) << b.table.toStdString() << "." << b.field.toStdString();
            ++stored;
        }
        // Every input the user types into reaches the database; derived sums never do.
        if (control->kind == ControlKind::Sum) {
            EXPECT_FALSE(control->binding.isStored()) << control->name.toStdString();
        }
        if (control->kind == ControlKind::Text || control->kind == ControlKind::UnicodeText
            || control->kind == ControlKind::WholeNumber || control->kind == ControlKind::Amount
            || control->kind == ControlKind::DropDown || control->kind == ControlKind::MultiLine) {
            EXPECT_TRUE(control->binding.isStored()) << control->name.toStdString();
        }
    }
    EXPECT_GT(stored, 100);

    // No two inputs write the same field (radio buttons share the version field on purpose).
    std::map<QString, QString> owner;
    for (const auto& [page, control] : allControls()) {
        if (!control->binding.isStored() || control->kind == ControlKind::Radio)
            continue;
        const QString key = (control->binding.table + QLatin1Char('.') + control->binding.field).toLower();
        EXPECT_EQ(owner.count(key), 0u) << key.toStdString() << " " << control->name.toStdString();
        owner[key] = control->name;
    }
}

TEST(FormCatalogue, NumberKindsMatchTheirColumnTypes)
{
    for (const auto& [page, control] : allControls()) {
        if (!control->binding.isStored())
            continue;
        const schema::TableDef* table = schema::findSurveyTable(control->binding.table);
        ASSERT_NE(table, nullptr);
        for (const auto& column : table->columns) {
            if (column.name.compare(control->binding.field, Qt::CaseInsensitive) != 0)
                continue;
            if (control->kind == ControlKind::Amount) {
                EXPECT_EQ(column.kind, schema::Kind::Number) << control->name.toStdString();
            }
            if (control->kind == ControlKind::WholeNumber) {
                EXPECT_EQ(column.kind, schema::Kind::Integer) << control->name.toStdString();
            }
        }
    }
}

TEST(FormCatalogue, RowMarkersAndListButtons)
{
    const auto& all = FormCatalogue();
    // Rows marked 1 keep their list buttons usable; pages without edit mode need no marker.
    for (const Section& s : all)
        for (const Page& p : s.pages)
            for (const Row& r : p.rows) {
                if (r.marker == NoteRow) {
                    EXPECT_TRUE(r.controls.empty());
                }
                for (const Control& c : r.controls) {
                    if (c.kind != ControlKind::ListButton)
                        continue;
                    EXPECT_GE(c.listKind, 1) << c.name.toStdString();
                    EXPECT_EQ(c.caption, InitialListCaption());
                    if (p.editable()) {
                        EXPECT_EQ(r.marker, LeftAloneRow) << c.name.toStdString();
                    }
                }
            }
    ASSERT_FALSE(all[2].pages.empty());
    const Page& s3 = all[2].pages[0];
    ASSERT_GE(s3.rows.size(), 2u);
    EXPECT_EQ(s3.rows[0].marker, NoteRow);
    EXPECT_EQ(s3.rows[1].marker, ColumnCaptionRow);
    EXPECT_EQ(s3.rows[1].captions.size(), 4);
    // Each list kind reached from one button only; grids carry their own kinds.
    QSet<int> kinds;
    for (const auto& [page, control] : allControls()) {
        if (control->listKind < 0)
            continue;
        EXPECT_FALSE(kinds.contains(control->listKind)) << control->listKind;
        kinds.insert(control->listKind);
    }
    EXPECT_EQ(kinds.size(), 51);
    EXPECT_EQ(ListKindForButtonTag(165), 41);
    EXPECT_EQ(ListKindForButtonTag(164), -1);
    EXPECT_EQ(SummaryCaption(12), QStringLiteral("liczba=12 -> wykaz"));
}

TEST(HintTable, HintsWithTextAndPageNumbers)
{
    const QString folder = QFileInfo(QStringLiteral(VESTRUM_FIXTURES "/../../resources/hints")).absoluteFilePath();
    HintTable hints = HintTable::load(folder);
    EXPECT_EQ(hints.text(1),
              QString::fromUtf8("Jednostka wypełniająca ankietę jest obowiązana do przechowywania pełnej dokumentacji "
                                "potwierdzającej podane informacje. Dokumentację tę należy przedstawić na każde "
                                "żądanie organu kontrolującego działalność jednostki."));
    const QSet<int> withText{1, 5, 7, 9, 10, 15, 21, 23, 24, 27, 29};
    for (int n = 0; n <= 30; ++n)
        EXPECT_EQ(hints.hasText(n), withText.contains(n)) << n;
    EXPECT_GT(hints.text(7).size(), 2000);
    EXPECT_TRUE(hints.panelText(7).contains(QLatin1Char('\n')));
    EXPECT_FALSE(hints.panelText(7).contains(QStringLiteral("<br>")));

    EXPECT_EQ(HintForPage(0, 4), 5);
    EXPECT_EQ(HintForPage(1), 6);
    EXPECT_EQ(HintForPage(2), 7);
    EXPECT_EQ(HintForPage(7, 3), 15);
    EXPECT_EQ(HintForPage(8), 0);
    EXPECT_EQ(HintForPage(9), 17);
    EXPECT_EQ(HintForPage(14, 1), 23);
    EXPECT_EQ(HintForPage(15), 0);
    EXPECT_EQ(HintForPage(16), 27);
    EXPECT_EQ(HintForPage(18), 29);
    EXPECT_EQ(HintForPage(19, 1), 0);
    EXPECT_EQ(HintForPage(23), 0);
}
