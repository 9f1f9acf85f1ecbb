#include "lists/journal_matching.h"
#include "lists/journal_matching_internal.h"

#include <algorithm>

// The keys journals are matched by: an ISSN's eight characters, a title's lower case and its matching key,
// the part before a subtitle.
namespace vestrum::lists {
namespace {

bool isWordLetter(QChar ch)
{
    if (ch.unicode() < 0x80) // the plain letters and digits of nearly every title, without a table
        return static_cast<unsigned>((ch.unicode() | 0x20) - u'a') < 26u || static_cast<unsigned>(ch.unicode() - u'0') < 10u;
    return ch.isLetterOrNumber() || ch.category() == QChar::Mark_NonSpacing;
}

QChar lowered(QChar ch)
{
    if (ch.unicode() < 0x80)
        return static_cast<unsigned>(ch.unicode() - u'A') < 26u ? QChar(ch.unicode() | 0x20) : ch;
    return ch.toLower();
}

void endWord(QString& key, qsizetype wordStart)
{
    const QStringView word = QStringView(key).mid(wordStart);
    if (word == u"and" || word == u"i") {
        key.truncate(wordStart);
        key += u'&';
    }
}

void startWord(QString& key, qsizetype& wordStart)
{
    if (!key.isEmpty())
        key += u' ';
    wordStart = key.size();
}

// The eight characters of an ISSN in `digits`; false when the text holds no ISSN.
bool parseIssn(QStringView text, char16_t (&digits)[8])
{
    auto isDash = [](QChar ch) { return ch == u'-' || ch == u'\u2010' || ch == u'\u2011' || ch == u'\u2013'; };
    auto isAsciiDigit = [](QChar ch) { return ch.isDigit() && ch.unicode() < 0x80; };
    int count = 0;
    qsizetype i = 0;
    // A label in front ("ISSN", "e-ISSN:") is passed over.
    while (i < text.size() && !isAsciiDigit(text[i]))
        ++i;
    for (; i < text.size() && count < 8; ++i) {
        const QChar ch = text[i];
        if (isAsciiDigit(ch))
            digits[count++] = ch.unicode();
        else if ((ch == u'x' || ch == u'X') && count == 7)
            digits[count++] = u'X';
        else if (!(isDash(ch) && count == 4) && !ch.isSpace())
            return false;
    }
    // Eight characters and then no further digit: "123456789" is no ISSN.
    return count == 8 && !(i < text.size() && text[i].isLetterOrNumber());
}

} // namespace

namespace matching {

// An ISSN as a number (four bits a character), 0 when the text holds none.
quint64 issnCode(QStringView text)
{
    char16_t digits[8];
    if (!parseIssn(text, digits))
        return 0;
    quint64 code = 0;
    for (const char16_t ch : digits)
        code = (code << 4) | (ch == u'X' ? 11u : static_cast<quint64>(ch - u'0') + 1);
    return code;
}

// matchingKey written into `key`, which keeps its room from call to call.
void writeMatchingKey(QStringView title, QString& key)
{
    key.resize(0);
    qsizetype wordStart = -1; // where the word being written began, -1 between words
    for (const QChar ch : title) {
        if (isWordLetter(ch)) {
            if (wordStart < 0)
                startWord(key, wordStart);
            key += lowered(ch);
            continue;
        }
        if (wordStart >= 0) {
            endWord(key, wordStart);
            wordStart = -1;
        }
        if (ch == u'&') {
            startWord(key, wordStart);
            key += u'&';
            wordStart = -1;
        }
    }
    if (wordStart >= 0)
        endWord(key, wordStart);
    // A leading "the" goes, unless it is the whole title.
    if (key.startsWith(QLatin1String("the ")))
        key.remove(0, 4);
}

// The lower case of a title as QString::toLower makes it, in `buffer`: a plain ASCII title (nearly
// all of them) is lowered without a new string.
QStringView lowerCase(QStringView title, QString& buffer)
{
    if (std::all_of(title.begin(), title.end(), [](QChar ch) { return ch.unicode() < 0x80; })) {
        buffer.resize(title.size());
        std::transform(title.begin(), title.end(), buffer.begin(), lowered);
    } else {
        buffer = title.toString().toLower();
    }
    return buffer;
}

} // namespace matching

using matching::writeMatchingKey;

QString partLetter(int part)
{
    switch (part) {
    case 0:
        return QStringLiteral("A");
    case 1:
        return QStringLiteral("B");
    case 2:
        return QStringLiteral("C");
    default:
        return QString::number(part);
    }
}

QString issnKey(QStringView text)
{
    char16_t digits[8];
    return parseIssn(text, digits) ? QString::fromUtf16(digits, 8) : QString();
}

QStringView titleBeforeSubtitle(QStringView title)
{
    title = title.trimmed();
    qsizetype cut = title.indexOf(u':');
    for (const char16_t* dash : {u" - ", u" \u2013 ", u" \u2014 "}) {
        const qsizetype at = title.indexOf(QStringView(dash));
        if (at >= 0 && (cut < 0 || at < cut))
            cut = at;
    }
    if (cut <= 0)
        return {};
    const QStringView first = title.left(cut).trimmed();
    return matchingKey(first).isEmpty() ? QStringView() : first;
}

QString matchingKey(QStringView title)
{
    QString key;
    key.reserve(title.size());
    writeMatchingKey(title, key);
    return key;
}

} // namespace vestrum::lists
