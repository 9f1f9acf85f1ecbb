// FitGridColumns against the plain way of measuring: every text of every row shaped whole for its
// width and laid out word-wrapped for its height. The fitted grid must come out the same to the
// pixel, on the first screen of rows, on one in the middle and on the last, although the grid only
// estimates most widths and lays out rows as they come into view.
#include "base/grid_rules.h"
#include "gui/common/list_grid_view.h"
#include "lists/list_catalogue.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <cmath>

using namespace vestrum;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

bool BreaksLine(QChar ch) { return ch == u'\n' || ch == u'\r' || ch == QChar(0x2028) || ch == QChar(0x2029); }

// The width in which a text is drawn word-wrapped without breaking: its widest line's advance plus
// what the line's last letter overhangs to the right, rounded up.
int NeededWidth(const QFont& font, const QString& text)
{
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    QString line;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !BreaksLine(text[i])) {
            line += text[i];
            continue;
        }
        qreal overhang = 0;
        for (qsizetype k = line.size() - 1; k >= 0; --k)
            if (!line[k].isSpace()) {
                overhang = std::min(std::abs(std::min<qreal>(0, metrics.minRightBearing())),
                                    std::max<qreal>(0, -metrics.rightBearing(line[k])));
                break;
            }
        widest = std::max(widest, metrics.horizontalAdvance(line) + overhang);
        if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n')
            ++i;
        line.clear();
    }
    return static_cast<int>(std::ceil(widest - 1e-6));
}

int WrappedHeight(const QFont& font, const QString& text, int room)
{
    return QFontMetrics(font).boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, text).height();
}

struct Reference {
    std::vector<int> widths;
    int headerHeight = 0;
    std::vector<int> rowHeights;
};

// The fit measured the plain way: widest text + 8, rows wrapped at width - 8, height + 4.
Reference ReferenceFit(const ListGridView& grid)
{
    const QFont cells = grid.font();
    const QFont headers = grid.headerFont();
    std::vector<int> widest(static_cast<size_t>(grid.columnCount()), 0);
    std::vector<int> headerWidths(widest.size(), 0);
    for (int c = 0; c < grid.columnCount(); ++c) {
        widest[c] = NeededWidth(headers, grid.cell(c, 0));
        // A narrowed column keeps its header's longest word.
        for (const QString& word : grid.cell(c, 0).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            headerWidths[c] = std::max(headerWidths[c], NeededWidth(headers, word));
        for (int r = 0; r < grid.dataRowCount(); ++r)
            widest[c] = std::max(widest[c], NeededWidth(cells, grid.list().cell(c, r)));
    }
    Reference out;
    out.widths = grid::FitColumnWidths(widest, headerWidths, grid.viewport()->width());
    out.headerHeight = QFontMetrics(headers).height();
    for (int c = 0; c < grid.columnCount(); ++c)
        out.headerHeight = std::max(out.headerHeight, WrappedHeight(headers, grid.cell(c, 0), std::max(1, out.widths[c] - 8)));
    out.headerHeight += 4;
    for (int r = 0; r < grid.dataRowCount(); ++r) {
        int tallest = QFontMetrics(cells).height();
        for (int c = 0; c < grid.columnCount(); ++c)
            if (!grid.list().cell(c, r).isEmpty())
                tallest = std::max(tallest, WrappedHeight(cells, grid.list().cell(c, r), std::max(1, out.widths[c] - 8)));
        out.rowHeights.push_back(tallest + 4);
    }
    return out;
}

std::vector<int> ColumnWidths(const ListGridView& grid)
{
    std::vector<int> out;
    for (int c = 0; c < grid.columnCount(); ++c)
        out.push_back(grid.columnWidth(c));
    return out;
}

void Unfit(ListGridView& grid)
{
    for (int c = 0; c < grid.columnCount(); ++c)
        grid.horizontalHeader()->resizeSection(c, 300);
}

// The rows in view, as the grid shows them, against the reference.
void ExpectScreenAsReference(ListGridView& grid, const Reference& expected, const char* screen)
{
    grid.layOutVisibleRows();
    const int first = std::max(0, grid.rowAt(0));
    int last = grid.rowAt(grid.viewport()->height() - 1);
    if (last < 0)
        last = grid.dataRowCount() - 1;
    for (int r = first; r <= last; ++r)
        EXPECT_EQ(grid.rowHeight(r), expected.rowHeights[r]) << screen << " row " << r << ": "
                                                             << grid.list().cell(1, r).toStdString();
}

// Fits the grid in each font, set after the rows exist as the program's font change does, and
// compares with the reference.
void ExpectSameAsReference(ListGridView& grid, const char* what)
{
    for (const QFont& font : {QFont(QStringLiteral("Arial"), 9), QFont(QStringLiteral("Arial"), 16),
                              QFont(QStringLiteral("DejaVu Serif"), 11)}) {
        SCOPED_TRACE(::testing::Message() << what << ", " << font.family().toStdString() << " " << font.pointSize());
        grid.setFont(font);
        Unfit(grid);
        FitGridColumns(&grid);
        const Reference expected = ReferenceFit(grid);
        EXPECT_EQ(ColumnWidths(grid), expected.widths);
        EXPECT_EQ(grid.headerHeight(), expected.headerHeight);
        grid.scrollToTop();
        ExpectScreenAsReference(grid, expected, "first screen");
        grid.scrollTo(grid.model()->index(grid.dataRowCount() / 2, 0), QAbstractItemView::PositionAtTop);
        ExpectScreenAsReference(grid, expected, "middle screen");
        grid.scrollToBottom();
        grid.layOutVisibleRows();
        grid.scrollToBottom(); // the rows laid out at the bottom may have made the grid taller
        ExpectScreenAsReference(grid, expected, "last screen");
        grid.scrollToTop();
    }
}

const char* const kWords[] = {"Źdźbło", "łąkowe,", "żółw", "gęś", "i", "jaźń", "—", "badania", "nad",
                              "przepięknymi,", "długimi", "tytułami", "publikacji", "Wrocław", "Łódź",
                              "„Przegląd”", "ff", "fj", "Żywność.", "ŚĆ", "(2008)", "12,50", "1000,00", "&",
                              "AVATAR", "Tytuł", "office", "WAWA"};

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

std::unique_ptr<ListGridView> MakeGrid(const QStringList& headers, int rows)
{
    auto grid = std::make_unique<ListGridView>();
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
    std::unique_ptr<ListGridView> grid = MakeGrid(narrowHeaders, 600);
    ExpectSameAsReference(*grid, "wide grid");

    // Too wide for the grid: columns scaled down, headers and cells wrap.
    grid->resize(420, 300);
    ExpectSameAsReference(*grid, "scaled columns");

    // Fitted again after a sort marked a header with "* ", as a header press does.
    grid->sortByColumn(2);
    ExpectSameAsReference(*grid, "sorted");
}

TEST(FitGridColumns, HeaderTextsAtTheirOwnWidth)
{
    // Every header alone in its column: the column is exactly as wide as the bold header.
    QStringList headers;
    for (const char* h : {"Czasopismo", "Tytuł", "Autorzy", "Rok, tom, strony", "Liczba punktów", "Wydawnictwo",
                          "Język", "Nakład", "Seria", "ISSN / ISBN", "Wartość (zł)", "Uwagi ff", "Nr", "Kraj",
                          "Dyscyplina naukowa", "Punkty MEiN"})
        headers << S(h);
    auto grid = std::make_unique<ListGridView>();
    grid->resize(1600, 300);
    grid->setHeaders(headers);
    ExpectSameAsReference(*grid, "headers only");

    grid->setDataRows({QStringList{S("a"), S("Świętokrzyskie")}});
    ExpectSameAsReference(*grid, "one row");

    // After deleting the only row: one blank row, the headers whole.
    grid->clearData();
    ExpectSameAsReference(*grid, "blank row");
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
                             "\u200bŁódź", "e\u0301", "Effi office", "fff", "T.", "AVAVAV", "f"})
        rows.push_back({S(text), QString()});
    grid->setDataRows(rows);
    ExpectSameAsReference(*grid, "odd texts");

    ListGridView none;
    none.setHeaders({});
    FitGridColumns(&none);
    FitGridColumns(nullptr);
}

// The complaint: with room to spare, "* Czasopismo" and "Artykul testowy" wrapped and "nauk
// chemicznych" showed as "nauk". Every header and cell of every list kind is drawn on one line
// in a grid that has room for it, at three user fonts.
TEST(FitGridColumns, NothingWrapsWhenThereIsRoom)
{
    const QStringList samples{S("Artykul testowy"), S("nauk chemicznych"), S("Przegląd Elektrotechniczny"),
                              S("12,50"), S("Żywność. Nauka. Technologia. Jakość"), S("ff"), S("Wójcik-Łęcka")};
    for (const QFont& font : {QFont(QStringLiteral("Arial"), 9), QFont(QStringLiteral("Arial"), 16),
                              QFont(QStringLiteral("DejaVu Serif"), 11)}) {
        for (int kind = 0; kind <= 50; ++kind) {
            if (!lists::isListKind(kind))
                continue;
            SCOPED_TRACE(::testing::Message() << "kind " << kind << ", " << font.family().toStdString() << " "
                                              << font.pointSize());
            ListGridView grid;
            grid.resize(9000, 400); // room for the widest kind (50) at the largest font
            grid.setFont(font);
            QStringList headers = lists::ListKindInfoOf(kind).headers();
            grid::MarkSortColumn(headers, 0);
            grid.setHeaders(headers);
            std::vector<QStringList> rows;
            for (int r = 0; r < samples.size(); ++r) {
                QStringList row;
                for (int c = 0; c < headers.size(); ++c)
                    row << samples[(r + c) % samples.size()];
                rows.push_back(row);
            }
            grid.setDataRows(rows);
            FitGridColumns(&grid);
            const QFont bold = grid.headerFont();
            constexpr int kUnlimited = 100000;
            for (int c = 0; c < grid.columnCount(); ++c) {
                const QString header = grid.cell(c, 0);
                const int room = grid.columnWidth(c) - 8;
                EXPECT_GE(room, QFontMetrics(bold).horizontalAdvance(header)) << header.toStdString();
                EXPECT_EQ(WrappedHeight(bold, header, room), WrappedHeight(bold, header, kUnlimited))
                    << header.toStdString();
                for (int r = 0; r < grid.dataRowCount(); ++r) {
                    const QString text = grid.list().cell(c, r);
                    EXPECT_GE(room, QFontMetrics(font).horizontalAdvance(text)) << text.toStdString();
                    // the room the cell draws in, grid line and margins taken off, is that room
                    const QRect drawn = grid.cellTextRect(grid.visualRect(grid.model()->index(r, c)));
                    EXPECT_EQ(drawn.width(), room);
                    EXPECT_GE(drawn.height(), WrappedHeight(font, text, room)) << text.toStdString();
                    EXPECT_EQ(WrappedHeight(font, text, room), WrappedHeight(font, text, kUnlimited))
                        << text.toStdString();
                }
            }
            EXPECT_EQ(grid.headerHeight(), grid.horizontalHeader()->height());
        }
    }
}

TEST(FitGridColumns, DraggedBordersStayUntilTheNextFit)
{
    std::unique_ptr<ListGridView> grid = MakeGrid({S("Lp."), S("Tytuł publikacji"), S("Uwagi")}, 300);
    grid->resize(700, 400);
    FitGridColumns(grid.get());
    const std::vector<int> fitted = ColumnWidths(*grid);
    EXPECT_EQ(grid->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);
    EXPECT_EQ(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_TRUE(grid->horizontalHeader()->isVisible() || !grid->horizontalHeader()->isHidden());
    EXPECT_FALSE(grid->verticalHeader()->isHidden()); // row borders can be dragged

    // The user widens the title column: the rows in view wrap at the new width, the width stays
    // while the grid scrolls, a cell changes or a row height is dragged.
    const int tallBefore = grid->rowHeight(0);
    ASSERT_GE(fitted.size(), 2u);
    grid->horizontalHeader()->resizeSection(1, fitted[1] + 400);
    EXPECT_LE(grid->rowHeight(0), tallBefore);
    grid->verticalHeader()->resizeSection(2, 90);
    grid->scrollTo(grid->model()->index(200, 0));
    grid->setCell(1, 5, S("zmieniony"));
    grid->layOutVisibleRows();
    EXPECT_EQ(grid->columnWidth(1), fitted[1] + 400);
    grid->scrollToTop();
    grid->layOutVisibleRows();
    EXPECT_EQ(grid->rowHeight(2), 90);

    FitGridColumns(grid.get());
    EXPECT_NE(grid->columnWidth(1), fitted[1] + 400);
    EXPECT_EQ(ColumnWidths(*grid), ReferenceFit(*grid).widths);
}

TEST(ListGrid, HeaderPressSortsInPolishOrder)
{
    // Section grids sort as the list editor does: Polish letters in their places, case ignored,
    // equal texts in their old order, and the first row selected.
    ListGridView grid;
    grid.resize(600, 300);
    grid.setHeaders({S("Nazwa"), S("Nr")});
    grid.setDataRows({{S("zeta"), S("1")}, {S("Łódź"), S("2")}, {S("łabędź"), S("3")}, {S("Lublin"), S("4")},
                      {S("Żory"), S("5")}, {S("ćma"), S("6")}, {S("apteka"), S("7")}, {S("Apteka"), S("8")},
                      {S("Ćwierć"), S("9")}, {S("cyna"), S("10")}});
    grid.show();
    QHeaderView* header = grid.horizontalHeader();
    QTest::mousePress(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    QStringList order;
    for (int r = 1; r < grid.rowCount(); ++r)
        order << grid.cell(0, r);
    EXPECT_EQ(order, QStringList({S("apteka"), S("Apteka"), S("cyna"), S("ćma"), S("Ćwierć"), S("Lublin"),
                                  S("łabędź"), S("Łódź"), S("zeta"), S("Żory")}));
    EXPECT_EQ(grid.headers(), QStringList({S("* Nazwa"), S("Nr")}));
    EXPECT_EQ(grid.currentDataRow(), 0);

    // A press on a column border resizes instead of sorting.
    const int border = header->sectionViewportPosition(1) + header->sectionSize(1) - 1;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(border, header->height() / 2));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(border, header->height() / 2));
    EXPECT_EQ(grid.headers(), QStringList({S("* Nazwa"), S("Nr")}));
}

} // namespace
