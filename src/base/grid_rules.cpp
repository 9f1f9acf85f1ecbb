#include "base/grid_rules.h"

#include <algorithm>

namespace vestrum::grid {

void MarkSortColumn(QStringList& headers, int column)
{
    for (QString& h : headers)
        if (h.startsWith(QLatin1Char('*')))
            h.remove(0, 2);
    if (column >= 0 && column < headers.size())
        headers[column].prepend(QStringLiteral("* "));
}

int SortColumnOf(const QStringList& headers)
{
    for (int i = 0; i < headers.size(); ++i)
        if (headers[i].startsWith(QLatin1Char('*')))
            return i;
    return -1;
}

namespace {

QString asciiLower(const QString& s)
{
    QString out = s;
    for (QChar& c : out)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return out;
}

} // namespace

void SortRows(std::vector<QStringList>& rows, int column, CaseFold fold)
{
    if (column < 0)
        return;
    std::stable_sort(rows.begin(), rows.end(), [column, fold](const QStringList& a, const QStringList& b) {
        const QString x = a.value(column);
        const QString y = b.value(column);
        if (fold == CaseFold::Ascii)
            return asciiLower(x) < asciiLower(y);
        return QString::compare(x, y, Qt::CaseInsensitive) < 0;
    });
}

int FindFirstContaining(const std::vector<QStringList>& rows, int column, const QString& text)
{
    const QString needle = text.toLower();
    if (needle.isEmpty())
        return -1;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].value(column).toLower().contains(needle))
            return static_cast<int>(i);
    return -1;
}

namespace {

// Columns widened back to their headers may push the sum past the room again: the columns still
// wider than their headers give it back, each in proportion to what it has above its header.
void takeExcessAboveFloors(std::vector<int>& widths, const std::vector<int>& floors, int room)
{
    long long sum = 0;
    long long spare = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        sum += widths[i];
        spare += widths[i] - floors[i];
    }
    const long long excess = std::min(sum - room, spare);
    if (excess <= 0)
        return;
    long long taken = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        const long long share = (excess * (widths[i] - floors[i]) + spare - 1) / spare; // rounded up
        const int cut = static_cast<int>(std::min<long long>({share, widths[i] - floors[i], excess - taken}));
        widths[i] -= cut;
        taken += cut;
    }
}

} // namespace

std::vector<int> FitColumnWidths(const std::vector<int>& widest, const std::vector<int>& headers, int clientWidth)
{
    std::vector<int> widths;
    long long sum = 0;
    for (int w : widest) {
        widths.push_back(w + 8);
        sum += w + 8;
    }
    // Columns are scaled whenever they would not fit beside a vertical scroll bar: columns that
    // only fit the outer width would put the last one under it.
    const int room = clientWidth - 24;
    const bool scaled = sum > room && room > 0 && !widths.empty();
    if (scaled) {
        const double factor = static_cast<double>(room) / static_cast<double>(sum);
        size_t widestIndex = 0;
        long long scaledSum = 0;
        for (size_t i = 0; i < widths.size(); ++i) {
            widths[i] = static_cast<int>(widths[i] * factor);
            scaledSum += widths[i];
            if (widths[i] > widths[widestIndex])
                widestIndex = i;
        }
        if (scaledSum > room)
            widths[widestIndex] -= static_cast<int>(scaledSum - room);
    }
    std::vector<int> floors(widths.size(), 0);
    for (size_t i = 0; i < widths.size() && i < headers.size(); ++i) {
        floors[i] = headers[i] + 8;
        widths[i] = std::max(widths[i], floors[i]);
    }
    if (scaled)
        takeExcessAboveFloors(widths, floors, room);
    return widths;
}

} // namespace vestrum::grid
