#pragma once

#include <QString>
#include <array>
#include <optional>

// The one place where the program turns numbers and dates into text and back. Amounts use a
// comma as decimal separator and are shown with two decimals ("%.2f", no thousands separator);
// integers are plain decimal; dates are dd/mm/rrrr. The main window, the list editor, the entry
// dialog and the text import all call these, so a rule changes in one place.
namespace vestrum::numbers {

// Removes every character up to U+0020 (blanks, tabs, line breaks) at both ends. Unlike
// QString::trimmed() it keeps a no-break space, which some activity codes begin with.
QString TrimBlanks(const QString& text);
// Empty after TrimBlanks.
bool IsBlank(const QString& text);

// A whole number: an optional sign and decimal digits, nothing else (no blanks), within 32 bits.
std::optional<int> ParseInteger(const QString& text);
// A decimal number with "," as separator: optional sign, digits, optional "," and digits, optional
// exponent. A dot is not a separator, so "12.5" is refused.
std::optional<double> ParseDecimal(const QString& text);

// The trimmed text as an integer, or 0 when it is not one.
int IntegerOrZero(const QString& text);
// The trimmed text as a decimal, or 0 when it is not one.
double DecimalOrZero(const QString& text);

QString FormatInteger(qint64 value);
// "%.2f" with a comma: 1234.5 -> "1234,50". A negative value that rounds to zero shows "0,00".
QString FormatAmount(double value);
// The same text written into `buffer`, without allocating: for lists of thousands of amounts.
using AmountBuffer = std::array<char, 400>; // room for the largest double in full
QLatin1String FormatAmountInto(AmountBuffer& buffer, double value);

// Whole hundredths of an amount, for comparisons that must not suffer binary rounding.
qint64 ToCents(double value);

// A typed date: day before the first "/", month before the next "/", then the first four
// characters as the year; each a whole number and together a real calendar date (years 1..9999).
// Gives "dd/mm/rrrr" ("5/3/2004" -> "05/03/2004"), or nothing when the text is not a date.
std::optional<QString> NormaliseDate(const QString& text);

// A typed postal code: two digits, any one separator character, three digits; gives "dd-ddd"
// ("00 950" -> "00-950"), or nothing. The third character is dropped whatever it is, so "00950"
// becomes "00-050".
std::optional<QString> NormalisePostalCode(const QString& text);

} // namespace vestrum::numbers
