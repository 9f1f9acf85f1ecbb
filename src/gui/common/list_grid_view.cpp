#include "gui/common/list_grid_view.h"

#include "base/grid_rules.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QHeaderView>
#include <QRawFont>

#include <cmath>
#include <memory>
#include <utility>

namespace vestrum {

ListGridView::ListGridView(QWidget* parent) : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(true);
    setColumnCount(1);
    setRowCount(2);
    connect(this, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (row == 0)
            sortByColumn(column);
    });
}

void ListGridView::setHeaders(const QStringList& headers)
{
    setColumnCount(static_cast<int>(headers.size()));
    if (rowCount() < 2)
        setRowCount(2);
    for (int c = 0; c < headers.size(); ++c)
        setCell(c, 0, headers[c]);
    styleHeaderRow();
}

QStringList ListGridView::headers() const
{
    QStringList out;
    for (int c = 0; c < columnCount(); ++c)
        out << cell(c, 0);
    return out;
}

QString ListGridView::cell(int column, int row) const
{
    const QTableWidgetItem* it = item(row, column);
    return it ? it->text() : QString();
}

void ListGridView::setCell(int column, int row, const QString& text)
{
    QTableWidgetItem* it = item(row, column);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, column, it);
    }
    it->setText(text);
}

std::vector<QStringList> ListGridView::dataRows() const
{
    std::vector<QStringList> rows;
    for (int r = 1; r < rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < columnCount(); ++c)
            row << cell(c, r);
        rows.push_back(row);
    }
    return rows;
}

void ListGridView::setDataRows(const std::vector<QStringList>& rows)
{
    setRowCount(1 + std::max<int>(1, static_cast<int>(rows.size())));
    for (int r = 1; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            setCell(c, r, r - 1 < static_cast<int>(rows.size()) ? rows[r - 1].value(c) : QString());
}

void ListGridView::clearData() { setDataRows({}); }

void ListGridView::sortByColumn(int column)
{
    if (column < 0 || column >= columnCount())
        return;
    QStringList h = headers();
    grid::MarkSortColumn(h, column);
    for (int c = 0; c < h.size(); ++c)
        setCell(c, 0, h[c]);
    std::vector<QStringList> rows = dataRows();
    grid::SortRows(rows, column);
    setDataRows(rows);
    if (rowCount() > 1) {
        setCurrentCell(1, 0);
        selectRow(1);
    }
    emit sorted(column);
}

void ListGridView::styleHeaderRow()
{
    QFont bold;
    bold.setBold(true); // only the weight: family and size follow the grid's font
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem* it = item(0, c);
        if (!it)
            continue;
        it->setFlags(Qt::ItemIsEnabled);
        it->setBackground(palette().button());
        it->setFont(bold);
    }
}

namespace {

// What fitting a grid measures, per distinct font its items resolve to. The texts of a list repeat
// (journals, authors, points), so a text is shaped at most once for its width and once per room
// for its word-wrapped height.
class FontMeasure {
public:
    explicit FontMeasure(const QFont& font)
        : font_(font), metrics_(font), primary_(QRawFont::fromFont(font)),
          slack_(std::abs(std::min<qreal>(0, metrics_.minRightBearing())) + 1)
    {
    }

    const QFont& font() const { return font_; }

    // The width QFontMetrics::horizontalAdvance gives (the rounded advance).
    int advance(const QString& text) { return qRound(entry(text).width); }

    // The height of the word-wrapped box of `text` laid out `room` pixels wide, as
    // QFontMetrics::boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, text) gives it.
    int wrappedHeight(const QString& text, int room)
    {
        Entry& e = entry(text);
        if (e.width + slack_ <= room && fitsOneLine(text, e)) {
            if (oneLine_ < 0)
                oneLine_ = layout(text, room);
            return oneLine_;
        }
        const auto key = std::make_pair(text, room);
        auto it = wrapped_.constFind(key);
        if (it == wrapped_.constEnd())
            it = wrapped_.insert(key, layout(text, room));
        return *it;
    }

private:
    struct Entry {
        qreal width = 0;
        int plain = -1; // 1: one run of the font's own glyphs, nothing that breaks a line; 0: not; -1: not known yet
    };

    Entry& entry(const QString& text)
    {
        auto it = entries_.find(text);
        if (it == entries_.end())
            it = entries_.insert(text, Entry{metrics_.horizontalAdvance(text), -1});
        return *it;
    }

    int layout(const QString& text, int room) const
    {
        return QFontMetrics(font_).boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, text).height();
    }

    // A text whose unrounded advance plus the font's largest overhang to the right fits the room
    // is laid out on one line, provided nothing in it breaks a line, widens it at a break or falls
    // back to another font. Such a line is as high as any other one-line text of the font. Text
    // that is not plain is measured the full way.
    // The rounded advance is no test: the widest text of a column gets exactly its rounded width as
    // room, and when its true width is a fraction more the layout wraps it (the two-line headers).
    bool fitsOneLine(const QString& text, Entry& e)
    {
        if (e.plain < 0) {
            e.plain = 1;
            for (const char32_t ch : QStringView(text).toUcs4()) {
                if (ch < 0x20 || ch == 0x9c || ch == 0xad || ch == 0x2028 || ch == 0x2029 || ch == 0xfffc ||
                    !covered(ch)) {
                    e.plain = 0;
                    break;
                }
            }
        }
        return e.plain == 1;
    }

    bool covered(char32_t ch)
    {
        auto it = covered_.constFind(ch);
        if (it == covered_.constEnd())
            it = covered_.insert(ch, primary_.isValid() && primary_.supportsCharacter(ch));
        return *it;
    }

    QFont font_;
    QFontMetricsF metrics_;
    QRawFont primary_;
    qreal slack_;
    int oneLine_ = -1;
    QHash<QString, Entry> entries_;
    QHash<std::pair<QString, int>, int> wrapped_;
    QHash<char32_t, bool> covered_;
};

class GridFonts {
public:
    explicit GridFonts(const QFont& base) : base_(base) {}

    // An item's own font only overrides what it sets (the header's bold); the rest is the grid's.
    FontMeasure& of(const QTableWidgetItem* item)
    {
        const QFont font = item->font().resolve(base_);
        for (const std::unique_ptr<FontMeasure>& known : fonts_)
            if (known->font() == font)
                return *known;
        fonts_.push_back(std::make_unique<FontMeasure>(font));
        return *fonts_.back();
    }

private:
    QFont base_;
    std::vector<std::unique_ptr<FontMeasure>> fonts_;
};

} // namespace

void FitGridColumns(QTableWidget* grid)
{
    if (!grid || grid->columnCount() == 0)
        return;
    const bool wasVisible = grid->isVisible();
    grid->setUpdatesEnabled(false);
    const int columns = grid->columnCount();
    const int rows = grid->rowCount();
    GridFonts fonts(grid->font());
    std::vector<int> widest(static_cast<size_t>(columns), 0);
    std::vector<int> headers(widest.size(), 0);
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it)
                continue;
            const int w = fonts.of(it).advance(it->text());
            widest[c] = std::max(widest[c], w);
            if (r == 0)
                headers[c] = w;
        }
    const std::vector<int> widths =
        grid::FitColumnWidths(widest, headers, grid->width(), grid->viewport()->width());
    for (int c = 0; c < columns; ++c)
        grid->setColumnWidth(c, widths[c]);
    const int lineHeight = QFontMetrics(grid->font()).height();
    for (int r = 0; r < rows; ++r) {
        int tallest = lineHeight;
        for (int c = 0; c < columns; ++c) {
            const QTableWidgetItem* it = grid->item(r, c);
            if (!it || it->text().isEmpty())
                continue;
            tallest = std::max(tallest, fonts.of(it).wrappedHeight(it->text(), std::max(1, widths[c] - 8)));
        }
        grid->setRowHeight(r, tallest + 4);
    }
    grid->setUpdatesEnabled(true);
    if (wasVisible)
        grid->viewport()->update();
}

} // namespace vestrum
