#include "update/version.h"

#include <QStringList>

namespace vestrum::update {
namespace {

constexpr int kMaxPartDigits = 9;
constexpr VersionNumber kWeights[4] = { 1000, 100, 10, 1 };

std::optional<VersionNumber> parsePart(const QString& part)
{
    if (part.isEmpty() || part.size() > kMaxPartDigits)
        return std::nullopt;
    VersionNumber value = 0;
    for (const QChar c : part) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

std::optional<VersionNumber> ParseVersion(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    VersionNumber number = 0;
    for (int i = 0; i < 4; ++i) {
        const auto part = parsePart(parts[i]);
        if (!part)
            return std::nullopt;
        number += *part * kWeights[i];
    }
    return number;
}

VersionNumber InstalledVersion(const QString& text)
{
    return ParseVersion(text.trimmed()).value_or(0);
}

QString VersionText(VersionNumber number)
{
    if (number < 0)
        number = 0;
    return QStringLiteral("%1.%2.%3.%4")
        .arg(number / 1000)
        .arg(number / 100 % 10)
        .arg(number / 10 % 10)
        .arg(number % 10);
}

} // namespace vestrum::update
