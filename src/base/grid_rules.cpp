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

std::vector<int> FitColumnWidths(const std::vector<int>& widest, const std::vector<int>& headers, int outerWidth,
                                 int clientWidth)
{
    std::vector<int> widths;
    long long sum = 0;
    for (int w : widest) {
        widths.push_back(w + 8);
        sum += w + 8;
    }
    const int room = clientWidth - 24;
    if (sum > outerWidth && room > 0 && !widths.empty()) {
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
    for (size_t i = 0; i < widths.size() && i < headers.size(); ++i)
        widths[i] = std::max(widths[i], headers[i] + 8);
    return widths;
}

} // namespace vestrum::grid
