// FitGridColumns against the plain way it used to measure: every cell shaped for its one-line
// width and again laid out word-wrapped. The fitted grid must come out the same to the pixel,
// header row (bold, often over two lines) and cells with line breaks included.
#include "base/grid_rules.h"
#include "gui/common/list_grid_view.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

using namespace vestrum;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

// The fitting as it was, kept as the reference: every cell measured with its own metrics,
// one-line and then word-wrapped.
void ReferenceFit(QTableWidget* grid)
{
    std::vector<int> widest(static_cast<size_t>(grid->columnCount()), 0);
    std::vector<int> headers(widest.size(), 0);
    for (int c = 0; c < grid->columnCount(); ++c)
        for (int r = 0; r < grid->rowCount(); ++r) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it)
                continue;
            const int w = QFontMetrics(it->font().resolve(grid->font())).horizontalAdvance(it->text());
            widest[c] = std::max(widest[c], w);
            if (r == 0)
                headers[c] = w;
        }
    const std::vector<int> widths =
        grid::FitColumnWidths(widest, headers, grid->width(), grid->viewport()->width());
    for (int c = 0; c < grid->columnCount(); ++c)
        grid->setColumnWidth(c, widths[c]);
    for (int r = 0; r < grid->rowCount(); ++r) {
        int tallest = QFontMetrics(grid->font()).height();
        for (int c = 0; c < grid->columnCount(); ++c) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it || it->text().isEmpty())
                continue;
            const QRect box = QFontMetrics(it->font().resolve(grid->font()))
                                  .boundingRect(QRect(0, 0, std::max(1, widths[c] - 8), 100000), Qt::TextWordWrap,
                                                it->text());
            tallest = std::max(tallest, box.height());
        }
        grid->setRowHeight(r, tallest + 4);
    }
}

struct Fitted {
    std::vector<int> widths;
    std::vector<int> heights;
};

// Column widths as the header keeps them (it may hold a column wider than asked) and row heights.
Fitted Applied(const QTableWidget& grid)
{
    Fitted out;
    for (int c = 0; c < grid.columnCount(); ++c)
        out.widths.push_back(grid.columnWidth(c));
    for (int r = 0; r < grid.rowCount(); ++r)
        out.heights.push_back(grid.rowHeight(r));
    return out;
}

void Unfit(QTableWidget& grid)
{
    for (int c = 0; c < grid.columnCount(); ++c)
        grid.setColumnWidth(c, 300);
    for (int r = 0; r < grid.rowCount(); ++r)
        grid.setRowHeight(r, 7);
}

// Fits the grid in each font, set after the items exist as the program's font change does, and
// compares with the reference row by row.
void ExpectSameAsReference(QTableWidget& grid, const char* what)
{
    for (const QFont& font : {QFont(QStringLiteral("Arial"), 9), QFont(QStringLiteral("Arial"), 16),
                              QFont(QStringLiteral("DejaVu Serif"), 11)}) {
        SCOPED_TRACE(::testing::Message() << what << ", " << font.family().toStdString() << " " << font.pointSize());
        grid.setFont(font);
        ReferenceFit(&grid);
        const Fitted expected = Applied(grid);
        Unfit(grid);
        FitGridColumns(&grid);
        const Fitted actual = Applied(grid);
        EXPECT_EQ(actual.widths, expected.widths);
        ASSERT_EQ(actual.heights.size(), expected.heights.size());
        for (size_t r = 0; r < expected.heights.size(); ++r)
            EXPECT_EQ(actual.heights[r], expected.heights[r]) << "row " << r << ": "
                                                               << grid.item(static_cast<int>(r), 0)->text().toStdString();
    }
}

const char* const kWords[] = {"Źdźbło", "łąkowe,", "żółw", "gęś", "i", "jaźń", "—", "badania", "nad",
                              "przepięknymi,", "długimi", "tytułami", "publikacji", "Wrocław", "Łódź",
                              "„Przegląd”", "ff", "fj", "Żywność.", "ŚĆ", "(2008)", "12,50", "1000,00", "&"};

// Cell texts of every kind: repeated short ones, long unique ones to wrap, one-liners of every
// length near the column edge, line breaks, trailing and lone spaces, glyphs from fallback fonts.
QString CellText(int r, int c)
{
    if (c == 1) {
        QString t;
        for (int w = 0; w < 3 + (r * 5 + 3) % 19; ++w)
            t += S(kWords[(r * 7 + w * 3) % std::size(kWords)]) + u' ';
        return t.trimmed() + QString::number(r);
    }
    if (c == 2)
        return S(kWords[r % std::size(kWords)]);
    if (c == 3) {
        switch (r % 9) {
        case 0: return S("Kowalski J.\nŻuraw A.");
        case 1: return S("Ślęzak M. ");
        case 2: return S(" ");
        case 3: return QString();
        case 4: return S("Grzegorczyk-Wójcik E.\r\nNowak Z.\tx");
        case 5: return S("Wójcik \u2028 Zięba");
        case 6: return S("Λόγος 日本 ∑ x");
        case 7: return S("Kowalski J., Żuraw A., Ślęzak M.");
        default: return S("Maćkowiak-Pęcherz\u00adowska");
        }
    }
    // One-line texts whose widths step through the column's width, so some end exactly at the edge.
    return S("Wpływ stopów łożyskowych część ff").left(1 + (r * 3 + c) % 33);
}

ListGridView* MakeGrid(const QStringList& headers, int rows)
{
    auto* grid = new ListGridView;
    grid->resize(900, 500);
    grid->setHeaders(headers);
    std::vector<QStringList> data;
    for (int r = 0; r < rows; ++r) {
        QStringList row;
        for (int c = 0; c < headers.size(); ++c)
            row << CellText(r, c);
        data.push_back(row);
    }
    grid->setDataRows(data);
    return grid;
}

TEST(FitGridColumns, SameWidthsAndRowHeightsAsMeasuringEveryCell)
{
    // Narrow columns whose header is the widest text: the header sits right at the column edge.
    const QStringList narrowHeaders{S("Lp."), S("Tytuł publikacji"), S("Liczba punktów"), S("Autorzy\n(kolejność)"),
                                    S("Rok, tom, strony"), S("Czasopismo z wykazu ministerstwa")};
    std::unique_ptr<ListGridView> grid(MakeGrid(narrowHeaders, 240));
    ExpectSameAsReference(*grid, "wide grid");

    // Too wide for the grid: columns scaled down, headers and cells wrap.
    grid->resize(420, 300);
    ExpectSameAsReference(*grid, "scaled columns");

    // Fitted again after a sort marked a header with "* ", as a header click does.
    grid->sortByColumn(2);
    ExpectSameAsReference(*grid, "sorted");
}

TEST(FitGridColumns, HeaderTextsAtTheirOwnWidth)
{
    // Every header alone in its column: the column is exactly as wide as the bold header, which
    // then may or may not wrap depending on how its width rounds.
    QStringList headers;
    for (const char* h : {"Czasopismo", "Tytuł", "Autorzy", "Rok, tom, strony", "Liczba punktów", "Wydawnictwo",
                          "Język", "Nakład", "Seria", "ISSN / ISBN", "Wartość (zł)", "Uwagi ff", "Nr", "Kraj",
                          "Dyscyplina naukowa", "Punkty MEiN"})
        headers << S(h);
    auto grid = std::make_unique<ListGridView>();
    grid->resize(1600, 300);
    grid->setHeaders(headers);
    ExpectSameAsReference(*grid, "headers only");

    // Fonts without an explicit family for the items: the grid font decides everything.
    grid->setDataRows({QStringList{S("a"), S("Świętokrzyskie")}});
    ExpectSameAsReference(*grid, "one row");
}

TEST(FitGridColumns, OddTextsAloneInTheirRows)
{
    // Each text the only one in its row, so its own height decides: glyphs the font lacks (drawn
    // in a fallback font with other line metrics), line breaks of every kind, tabs, soft hyphens,
    // lone and trailing spaces, a mnemonic-like "&".
    auto grid = std::make_unique<ListGridView>();
    grid->resize(700, 400);
    grid->setHeaders({S("Tekst"), S("Nr")});
    std::vector<QStringList> rows;
    for (const char* text : {"Λόγος ∑", "日本", "x ∮ y", "ŉ Ǆ ẞ", "Kowalski J.\nŻuraw A.", "Wójcik\r\nZięba", "a\tb",
                             "Wójcik \u2028 Zięba", "Maćkowiak-Pęcherz\u00adowska", " ", "Ślęzak M.   ", "Ala & kot",
                             "\u200bŁódź", "e\u0301"})
        rows.push_back({S(text), QString()});
    grid->setDataRows(rows);
    ExpectSameAsReference(*grid, "odd texts");
}

TEST(FitGridColumns, PlainTableWidgetAndMissingItems)
{
    // The main window fits plain grids too, some cells never created and items with their own fonts.
    QTableWidget grid(12, 3);
    grid.resize(500, 300);
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 3; ++c)
            if ((r + c) % 4 != 0) {
                auto* it = new QTableWidgetItem(CellText(r * 5 + c, c + 1));
                if (r % 3 == 0) {
                    QFont f;
                    f.setItalic(true);
                    f.setPointSize(13);
                    it->setFont(f);
                }
                grid.setItem(r, c, it);
            }
    ExpectSameAsReference(grid, "plain grid");

    QTableWidget none(0, 0);
    FitGridColumns(&none);
    FitGridColumns(nullptr);
}

} // namespace
