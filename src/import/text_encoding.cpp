#include "import/text_encoding.h"

#include "base/codepage.h"

#include <QStringDecoder>
#include <array>

namespace vestrum::importing {
namespace {

bool startsWith(const QByteArray& bytes, std::initializer_list<unsigned char> mark)
{
    if (bytes.size() < static_cast<qsizetype>(mark.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char b : mark)
        if (static_cast<unsigned char>(bytes.at(i++)) != b)
            return false;
    return true;
}

const std::array<unsigned char, 3> kUtf8Mark { 0xEF, 0xBB, 0xBF };

bool hasMark(const QByteArray& bytes, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return startsWith(bytes, { kUtf8Mark[0], kUtf8Mark[1], kUtf8Mark[2] });
    case TextEncoding::Utf16LE:
        return startsWith(bytes, { 0xFF, 0xFE });
    case TextEncoding::Utf16BE:
        return startsWith(bytes, { 0xFE, 0xFF });
    default:
        return false;
    }
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString decoded = decoder.decode(bytes); // decodes only when converted to a string
    return !decoder.hasError();
}

// UTF-16 without a mark: text files hold no NUL byte, while UTF-16 writes one for every character of
// ASCII, so the NULs give it away, and the half of the pairs they fall in gives the byte order. A Polish
// text is mostly ASCII, so at least a quarter of its characters carry a NUL; a few stray NULs in a file of
// another encoding do not make it UTF-16 (it is then refused as holding NUL).
std::optional<TextEncoding> utf16ByNuls(const QByteArray& bytes)
{
    qsizetype evenNuls = 0;
    qsizetype oddNuls = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes.at(i) == 0)
            ++((i % 2 == 0) ? evenNuls : oddNuls);
    const qsizetype all = evenNuls + oddNuls;
    const qsizetype characters = bytes.size() / 2;
    if (all == 0)
        return std::nullopt;
    if (oddNuls * 4 >= all * 3 && oddNuls * 4 >= characters)
        return TextEncoding::Utf16LE;
    if (evenNuls * 4 >= all * 3 && evenNuls * 4 >= characters)
        return TextEncoding::Utf16BE;
    return std::nullopt;
}

bool isLetterByte(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte >= 0xA0;
}

// "ą", "ś", "ź", "Ą", "Ś", "Ź": the bytes of Windows-1250 and of ISO-8859-2 (every other Polish letter
// has one byte in both). A byte counts only beside a letter, so "±5%" of a Windows-1250 text is no
// "ą" of ISO-8859-2.
TextEncoding singleByteEncoding(const QByteArray& bytes)
{
    constexpr std::array<unsigned char, 6> windows1250 { 0xB9, 0x9C, 0x9F, 0xA5, 0x8C, 0x8F };
    constexpr std::array<unsigned char, 6> iso88592 { 0xB1, 0xB6, 0xBC, 0xA1, 0xA6, 0xAC };
    std::array<bool, 256> isWindows {}, isIso {};
    for (unsigned char b : windows1250)
        isWindows[b] = true;
    for (unsigned char b : iso88592)
        isIso[b] = true;

    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype windowsLetters = 0;
    qsizetype isoLetters = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = data[i];
        if (b < 0x80)
            continue;
        // ISO-8859-2 has control characters there, never text.
        if (b < 0xA0)
            return TextEncoding::Windows1250;
        if (!isWindows[b] && !isIso[b])
            continue;
        const bool besideLetter = (i > 0 && isLetterByte(data[i - 1])) || (i + 1 < n && isLetterByte(data[i + 1]));
        if (!besideLetter)
            continue;
        windowsLetters += isWindows[b] ? 1 : 0;
        isoLetters += isIso[b] ? 1 : 0;
    }
    return isoLetters > windowsLetters ? TextEncoding::Iso88592 : TextEncoding::Windows1250;
}

} // namespace

const std::vector<TextEncoding>& TextEncodings()
{
    static const std::vector<TextEncoding> all { TextEncoding::Utf8, TextEncoding::Utf16LE, TextEncoding::Utf16BE,
        TextEncoding::Windows1250, TextEncoding::Iso88592 };
    return all;
}

QString EncodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16BE");
    case TextEncoding::Windows1250:
        return QStringLiteral("Windows-1250");
    case TextEncoding::Iso88592:
        return QStringLiteral("ISO-8859-2");
    }
    return {};
}

std::optional<TextEncoding> EncodingFromOption(const QString& option)
{
    for (TextEncoding encoding : TextEncodings())
        if (EncodingName(encoding).compare(option, Qt::CaseInsensitive) == 0)
            return encoding;
    return std::nullopt;
}

TextEncoding DetectEncoding(const QByteArray& bytes)
{
    for (TextEncoding marked : { TextEncoding::Utf8, TextEncoding::Utf16LE, TextEncoding::Utf16BE })
        if (hasMark(bytes, marked))
            return marked;
    if (const auto utf16 = utf16ByNuls(bytes))
        return *utf16;
    if (isValidUtf8(bytes))
        return TextEncoding::Utf8;
    return singleByteEncoding(bytes);
}

QString DecodeAs(const QByteArray& bytes, TextEncoding encoding)
{
    QByteArrayView view(bytes);
    if (hasMark(bytes, encoding))
        view = view.sliced(encoding == TextEncoding::Utf8 ? 3 : 2);
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless).decode(view);
    case TextEncoding::Utf16LE:
        return QStringDecoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless).decode(view);
    case TextEncoding::Utf16BE:
        return QStringDecoder(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless).decode(view);
    case TextEncoding::Windows1250:
        return codepage::fromWindows1250(view.toByteArray());
    case TextEncoding::Iso88592:
        return codepage::fromIso88592(view.toByteArray());
    }
    return {};
}

} // namespace vestrum::importing
