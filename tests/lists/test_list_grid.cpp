#include "lists/list_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

// Readable failures: Qt strings as UTF-8.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

#include <QCollator>
#include <QRandomGenerator>

using namespace vestrum::lists;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

const QLocale kPolish(QLocale::Polish, QLocale::Poland);

ListGrid twoColumns() { return ListGrid({S("Nazwa"), S("Opis")}); }

QStringList firstColumn(const ListGrid& g)
{
    QStringList out;
    for (const QStringList& r : g.rows())
        out << r.value(0);
    return out;
}

} // namespace

TEST(ListGrid, EmptyListAddingAndDeleting)
{
    ListGrid g = twoColumns();
    ASSERT_EQ(g.rowCount(), 1);
    EXPECT_TRUE(g.isEmpty());

    // adding to the empty list fills its blank row; the next entry is appended
    EXPECT_EQ(g.addRow({S("Ala")}), 0);
    EXPECT_EQ(g.rowCount(), 1);
    EXPECT_EQ(g.row(0), QStringList({S("Ala"), QString()}));
    EXPECT_FALSE(g.isEmpty());
    EXPECT_EQ(g.addRow({S("Ola"), S("x"), S("cut")}), 1);
    EXPECT_EQ(g.row(1), QStringList({S("Ola"), S("x")}));

    // an entry whose first cell is empty is still an entry: the next one must not overwrite it
    ListGrid h = twoColumns();
    h.addRow({QString(), S("tylko opis")});
    EXPECT_FALSE(h.isEmpty());
    EXPECT_EQ(h.addRow({S("druga")}), 1);
    EXPECT_EQ(h.row(0).value(1), S("tylko opis"));

    // deleting the only entry leaves one blank row
    g.removeRows(0, 1);
    EXPECT_EQ(g.rowCount(), 1);
    EXPECT_TRUE(g.isEmpty());

    for (const char* n : {"a", "b", "c", "d", "e"})
        g.addRow({S(n)});
    EXPECT_EQ(g.removeRows(1, 2), 1); // top of the former range
    EXPECT_EQ(firstColumn(g), QStringList({S("a"), S("d"), S("e")}));
    EXPECT_EQ(g.removeRows(2, 2), 1); // fewer rows remain: the last one
    EXPECT_EQ(g.removeRows(0, 5), 0);
    EXPECT_TRUE(g.isEmpty());

    g.setRows({});
    EXPECT_EQ(g.rowCount(), 1);
}

TEST(ListGrid, SortIsCaseInsensitivePolishAndStable)
{
    ListGrid g = twoColumns();
    const char* names[] = {"Żaba", "lato", "ala", "Łódź", "Ćma", "cyrk", "Ala", "zebra", "ALA", "łąka"};
    int i = 0;
    for (const char* n : names)
        g.addRow({S(n), QString::number(i++)});
    g.setHeaders({S("* Nazwa"), S("Opis")});
    g.sortBy(1, kPolish);
    EXPECT_EQ(g.headers(), QStringList({S("Nazwa"), S("* Opis")}));
    g.sortBy(0, kPolish);
    EXPECT_EQ(g.headers(), QStringList({S("* Nazwa"), S("Opis")}));
    EXPECT_EQ(g.sortColumn(), 0);
    EXPECT_EQ(firstColumn(g), QStringList({S("ala"), S("Ala"), S("ALA"), S("cyrk"), S("Ćma"), S("lato"), S("łąka"),
                                           S("Łódź"), S("zebra"), S("Żaba")}));
}

// The order must be exactly the one repeated passes of adjacent swaps give; equal keys in any
// case keep the order they had.
TEST(ListGrid, SortMatchesAdjacentSwapPasses)
{
    QCollator collator(kPolish);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QString alphabet = S("aAąĄbcćĆeęlłŁnńoóOsśzźżŻ -");
    QRandomGenerator random(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<QStringList> rows;
        for (int r = 0; r < 60; ++r) {
            QString key;
            const int length = random.bounded(0, 4);
            for (int k = 0; k < length; ++k)
                key += alphabet.at(random.bounded(static_cast<int>(alphabet.size())));
            rows.push_back({key, QString::number(r)});
        }
        std::vector<QStringList> expected = rows;
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (size_t k = 0; k + 1 < expected.size(); ++k)
                if (collator.compare(expected[k][0], expected[k + 1][0]) > 0) {
                    std::swap(expected[k], expected[k + 1]);
                    swapped = true;
                }
        }
        ListGrid g = twoColumns();
        g.setRows(rows);
        g.sortBy(0, kPolish);
        ASSERT_EQ(g.rows(), expected) << "round " << round;
    }
}

// Long lists have their keys made in two halves: texts repeated across the halves, in other
// letter cases, must still share their place, and equal keys keep their order.
TEST(ListGrid, LongListSortsAsAStableSortDoes)
{
    QCollator collator(kPolish);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QStringList words = {S("Łódź"), S("łódź"), S("lodz"), S("Acta"), S("acta"), S("ACTA"), S("Żuraw"),
                               S("zuraw"), S("Ćwiczenia"), S("cwiczenia"), S(""), S(" "), S("ą"), S("a")};
    QRandomGenerator random(11);
    std::vector<QStringList> rows;
    for (int r = 0; r < 9001; ++r) {
        QString key = words.at(random.bounded(static_cast<int>(words.size())));
        if (random.bounded(3) == 0)
            key += QString::number(random.bounded(40));
        rows.push_back({key, QString::number(r)});
    }
    std::vector<QStringList> expected = rows;
    std::stable_sort(expected.begin(), expected.end(),
                     [&collator](const QStringList& a, const QStringList& b) { return collator.compare(a[0], b[0]) < 0; });

    ListGrid g = twoColumns();
    g.setRows(rows);
    const std::vector<int> order = g.sortedOrder(0, kPolish);
    EXPECT_EQ(g.rows(), rows) << "the order is computed without moving a row";
    ASSERT_EQ(order.size(), rows.size());
    std::vector<QStringList> placed;
    for (const int r : order)
        placed.push_back(rows[static_cast<size_t>(r)]);
    EXPECT_EQ(placed, expected);

    g.sortBy(0, kPolish);
    EXPECT_EQ(g.rows(), expected);
}

// Titles often share a long start (numbered parts, one journal's volumes); the sort skips what two texts share
// and must still order them as the collator orders the whole texts: case, Polish letters, a letter written as
// a base and a combining mark, a text that is the start of another.
TEST(ListGrid, TextsSharingALongStartSortAsTheCollatorOrdersThemWhole)
{
    QCollator collator(kPolish);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QStringList starts = {S("Wpływ mikrostruktury na właściwości stopów — część"),
                                S("Wpływ mikrostruktury na właściwości stopów — Część"),
                                S("Wpływ mikrostruktury na właściwości stopów"), S("Wpływ mikrostruktury")};
    const QStringList ends = {S(""), S(" "), S(" 1"), S(" 12"), S(" 2"), S(" a"), S(" A"), S(" ą"), S(" Ą"),
                              S(" e\u0301"), S(" \u00e9"), S(" z"), S(" ż"), S(" Ż"), S(" -"), S("  b"), S("a b")};
    QRandomGenerator random(13);
    // In the second round the first half of the list shares a longer start than the second half does.
    for (const int firstHalfStarts : {int(starts.size()), 1}) {
        std::vector<QStringList> rows;
        for (int r = 0; r < 6001; ++r) {
            const int start = random.bounded(r < 3000 ? firstHalfStarts : static_cast<int>(starts.size()));
            rows.push_back({starts.at(start) + ends.at(random.bounded(static_cast<int>(ends.size())))
                                + ends.at(random.bounded(static_cast<int>(ends.size()))),
                            QString::number(r)});
        }
        std::vector<QStringList> expected = rows;
        std::stable_sort(expected.begin(), expected.end(), [&collator](const QStringList& a, const QStringList& b) {
            return collator.compare(a[0], b[0]) < 0;
        });

        ListGrid g = twoColumns();
        g.setRows(rows);
        g.sortBy(0, kPolish);
        EXPECT_EQ(g.rows(), expected) << "first half from " << firstHalfStarts << " starts";
    }
}

TEST(ListGrid, DuplicatesIgnoreCaseAndKeepTheFirst)
{
    ListGrid g = twoColumns();
    g.addRow({S("Łąka"), S("zielona")});
    g.addRow({S("łąka"), S("zielona ")});
    EXPECT_FALSE(g.hasDuplicates()); // differs in one column
    g.addRow({S("Inna"), S("x")});
    g.addRow({S("ŁĄKA"), S("ZIELONA")});
    g.addRow({S("inna"), S("X")});
    g.addRow({S("łąka"), S("Zielona")});
    EXPECT_TRUE(g.hasDuplicates());
    EXPECT_EQ(g.removeDuplicates(), 3);
    EXPECT_EQ(g.rows(), (std::vector<QStringList>{{S("Łąka"), S("zielona")},
                                                  {S("łąka"), S("zielona ")},
                                                  {S("Inna"), S("x")}}));
    EXPECT_FALSE(g.hasDuplicates());
    EXPECT_FALSE(twoColumns().hasDuplicates());
}
