#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The encodings a Polish text file comes in, told apart from its bytes alone: a byte-order mark, the
// NUL bytes of UTF-16 without one, valid UTF-8, and for the two single-byte code pages the letters
// "ą", "ś", "ź" (and capitals), the only Polish letters they place differently.
namespace vestrum::importing {

enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Windows1250, Iso88592 };

// Every encoding in the order the window's chooser offers them.
const std::vector<TextEncoding>& TextEncodings();

// "UTF-8", "UTF-16LE", "UTF-16BE", "Windows-1250", "ISO-8859-2": the names shown and printed.
QString EncodingName(TextEncoding encoding);
// The value of --encoding: utf-8, utf-16le, utf-16be, windows-1250, iso-8859-2 (letter case ignored).
std::optional<TextEncoding> EncodingFromOption(const QString& option);

TextEncoding DetectEncoding(const QByteArray& bytes);

// The bytes read in `encoding`; a byte-order mark of that encoding is dropped. Bytes that are not
// text in it (broken UTF-8, an odd last UTF-16 byte) become U+FFFD rather than being lost silently.
QString DecodeAs(const QByteArray& bytes, TextEncoding encoding);

} // namespace vestrum::importing
