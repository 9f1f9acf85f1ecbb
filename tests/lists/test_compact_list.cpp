#include "lists/compact_list.h"
#include "lists/list_grid.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

using namespace vestrum::lists;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

const QLocale kPolish(QLocale::Polish, QLocale::Poland);

} // namespace

// Bytes are taken as they stand only when decoding and encoding them again gives them back; the
// rest must be refused so that the caller stores what the text decodes to.
TEST(CompactList, TakesOnlyBytesThatSpellTheirTextExactly)
{
    const std::vector<QByteArray> wellFormed = {
        "", "plain ASCII text, longer than eight bytes", "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85",
        "\xE2\x82\xAC and \xF0\x9F\x98\x80", "\xEF\xBF\xBE", "\xF4\x8F\xBF\xBF", QByteArray("a\0b", 3)};
    const std::vector<QByteArray> refused = {
        "A\xFF" "B",        // a byte that never occurs
        "\xC0\xAF",         // an overlong "/"
        "\xE0\x80\xAF",     // another
        "\xED\xA0\x80",     // a surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "12345678\x80",     // a stray continuation byte after a word of ASCII
        "ab\xE2\x82",       // cut short
        "\xEF\xBB\xBFtekst" // a byte-order mark in front
    };
    CompactList list({S("A")});
    for (const QByteArray& bytes : wellFormed) {
        EXPECT_TRUE(list.appendUtf8(bytes)) << bytes.toHex().toStdString();
        EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << bytes.toHex().toStdString();
    }
    for (const QByteArray& bytes : refused)
        EXPECT_FALSE(list.appendUtf8(bytes)) << bytes.toHex().toStdString();
    ASSERT_EQ(list.rowCount(), static_cast<int>(wellFormed.size()));
    for (int r = 0; r < list.rowCount(); ++r)
        EXPECT_EQ(list.cell(r, 0), wellFormed[static_cast<size_t>(r)]);

    // a broken surrogate pair is encoded as a cell of its own, never joining the next one
    list.appendText(QStringView(u"x\xD800"));
    list.appendText(QStringView(u"\xDC00y"));
    EXPECT_EQ(QString::fromUtf8(list.cell(list.rowCount() - 2, 0)), S("x\xEF\xBF\xBD"));
    EXPECT_EQ(QString::fromUtf8(list.cell(list.rowCount() - 1, 0)), S("\xEF\xBF\xBDy"));
}

// The compact form of a grid holds the same cells, keeps an empty list's blank row, and sorts every
// column as the grid sorts it: repeated texts, texts equal but for letter case, Polish letters,
// and enough distinct texts for the keys to be made on two threads.
TEST(CompactList, HoldsAndSortsWhatTheGridHolds)
{
    const ListGrid empty({S("Nazwa"), S("Opis")});
    const CompactList compactEmpty = CompactCopy(empty);
    EXPECT_EQ(compactEmpty.rowCount(), 1);
    EXPECT_TRUE(compactEmpty.cell(0, 0).isEmpty() && compactEmpty.cell(0, 1).isEmpty());
    EXPECT_EQ(compactEmpty.rowSize(0), 0);

    const QStringList words = {S("Łódź"), S("łódź"), S("lodz"), S("Acta"), S("ACTA"), S("Żuraw"),
                               S("zuraw"), S("Ćwiczenia"), S(""), S(" "), S("ą"), S("a")};
    QRandomGenerator random(7);
    std::vector<QStringList> rows;
    for (int r = 0; r < 12000; ++r) {
        QString text = words.at(random.bounded(static_cast<int>(words.size())));
        if (random.bounded(2) == 0)
            text += QString::number(random.bounded(9000));
        rows.push_back({text, words.at(r % words.size()), QString::number(r)});
    }
    ListGrid grid({S("Nazwa"), S("Opis"), S("Nr")});
    grid.setRows(rows);
    CompactList compact = CompactCopy(grid);
    ASSERT_EQ(compact.rowCount(), grid.rowCount());
    for (int r = 0; r < grid.rowCount(); r += 997) {
        qsizetype size = 0;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(compact.cell(r, c), grid.cell(c, r).toUtf8());
            size += compact.cell(r, c).size();
        }
        EXPECT_EQ(compact.rowSize(r), size);
    }
    for (int column = 0; column < 2; ++column)
        EXPECT_EQ(compact.sortedOrder(column, kPolish), grid.sortedOrder(column, kPolish)) << column;

    compact.markSortColumn(1);
    grid.markSortColumn(1);
    EXPECT_EQ(compact.headers(), grid.headers());
}

// A long list's block and cell ends move to bigger rooms several times as they grow (from the heap
// to mapped memory, and on); every cell must keep its bytes through each move, in the list, in a
// copy and in a list moved elsewhere, and a copy must not share its bytes with the original.
TEST(CompactList, KeepsEveryCellThroughTheGrowthOfALongList)
{
    CompactList list({S("Tytuł"), S("Uwagi")});
    std::vector<QByteArray> expected;
    for (int r = 0; r < 40000; ++r) {
        const QByteArray title = QByteArray::number(r) + QByteArray(r % 200, 'a' + r % 26);
        const QString note = r == 20000 ? QString(3 << 20, u'ż') : S("Łódź %1").arg(r); // one cell of 6 MB
        ASSERT_TRUE(list.appendUtf8(title));
        list.appendText(note);
        expected.push_back(title);
        expected.push_back(note.toUtf8());
    }
    const auto holdsEveryCell = [&](const CompactList& held) {
        if (held.rowCount() != static_cast<int>(expected.size() / 2))
            return false;
        for (int r = 0; r < held.rowCount(); ++r)
            for (int c = 0; c < 2; ++c)
                if (held.cell(r, c) != expected[static_cast<size_t>(2 * r + c)])
                    return false;
        return true;
    };
    EXPECT_TRUE(holdsEveryCell(list));

    CompactList copy = list;
    ASSERT_TRUE(copy.appendUtf8("extra"));
    copy.appendText(u"row");
    EXPECT_TRUE(holdsEveryCell(list)) << "the original is left as it was";
    EXPECT_EQ(copy.cell(copy.rowCount() - 1, 1), QByteArrayView("row"));

    const CompactList moved = std::move(list);
    EXPECT_TRUE(holdsEveryCell(moved));
}
