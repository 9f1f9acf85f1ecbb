#include "base/number_format.h"

#include <QDate>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vestrum::numbers {
namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool isSign(QChar c) { return c == QLatin1Char('+') || c == QLatin1Char('-'); }

// Digits only, at least one; the value, or nothing when it does not fit in an int.
std::optional<int> parseDigits(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

QString TrimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

bool IsBlank(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0x20)
            return false;
    return true;
}

std::optional<int> ParseInteger(const QString& text)
{
    QStringView view(text);
    bool negative = false;
    if (!view.isEmpty() && isSign(view.front())) {
        negative = view.front() == QLatin1Char('-');
        view = view.mid(1);
    }
    if (view.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : view) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<double> ParseDecimal(const QString& text)
{
    // Checked by hand, then handed to the C locale's strtod with a dot: the separator is always
    // a comma here, whatever the machine's locale says.
    QByteArray ascii;
    ascii.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && isSign(text.at(i)))
        ascii.append(static_cast<char>(text.at(i++).unicode()));
    int mantissaDigits = 0;
    while (i < n && isDigit(text.at(i))) {
        ascii.append(static_cast<char>(text.at(i++).unicode()));
        ++mantissaDigits;
    }
    if (i < n && text.at(i) == QLatin1Char(',')) {
        ascii.append('.');
        ++i;
        while (i < n && isDigit(text.at(i))) {
            ascii.append(static_cast<char>(text.at(i++).unicode()));
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        ascii.append('e');
        ++i;
        if (i < n && isSign(text.at(i)))
            ascii.append(static_cast<char>(text.at(i++).unicode()));
        int exponentDigits = 0;
        while (i < n && isDigit(text.at(i))) {
            ascii.append(static_cast<char>(text.at(i++).unicode()));
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double value = QByteArray(ascii).toDouble(&ok); // C locale, always "."
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

int IntegerOrZero(const QString& text)
{
    return ParseInteger(TrimBlanks(text)).value_or(0);
}

double DecimalOrZero(const QString& text)
{
    return ParseDecimal(TrimBlanks(text)).value_or(0.0);
}

QString FormatInteger(qint64 value)
{
    return QString::number(value);
}

QLatin1String FormatAmountInto(AmountBuffer& buffer, double value)
{
    if (!std::isfinite(value))
        value = 0.0;
    // Rounded as printf's "%.2f" rounds, without its cost: lists format thousands of amounts.
    const std::to_chars_result written =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 2);
    const QLatin1String text(buffer.data(), written.ptr);
    if (text == QLatin1String("-0.00"))
        return QLatin1String("0,00");
    std::replace(buffer.data(), written.ptr, '.', ',');
    return text;
}

QString FormatAmount(double value)
{
    AmountBuffer buffer;
    return FormatAmountInto(buffer, value);
}

qint64 ToCents(double value)
{
    return std::llround(value * 100.0);
}

std::optional<QString> NormaliseDate(const QString& text)
{
    const qsizetype first = text.indexOf(QLatin1Char('/'));
    if (first < 0)
        return std::nullopt;
    const QString day = text.left(first);
    const QString rest = text.mid(first + 1);
    const qsizetype second = rest.indexOf(QLatin1Char('/'));
    if (second < 0)
        return std::nullopt;
    const QString month = rest.left(second);
    const QString year = rest.mid(second + 1).left(4);
    const auto d = ParseInteger(day);
    const auto m = ParseInteger(month);
    const auto y = ParseInteger(year);
    if (!d || !m || !y || *y < 1 || *y > 9999 || !QDate::isValid(*y, *m, *d))
        return std::nullopt;
    return QStringLiteral("%1/%2/%3")
        .arg(*d, 2, 10, QLatin1Char('0'))
        .arg(*m, 2, 10, QLatin1Char('0'))
        .arg(*y, 4, 10, QLatin1Char('0'));
}

std::optional<QString> NormalisePostalCode(const QString& text)
{
    // Signs are not accepted: a postal code is digits only.
    const auto area = parseDigits(text.left(2));
    if (!area || text.size() < 2)
        return std::nullopt;
    const auto office = parseDigits(text.mid(3, 3));
    if (!office)
        return std::nullopt;
    return QStringLiteral("%1-%2").arg(*area, 2, 10, QLatin1Char('0')).arg(*office, 3, 10, QLatin1Char('0'));
}

} // namespace vestrum::numbers
