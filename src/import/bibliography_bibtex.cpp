#include "import/bibliography.h"

#include <QHash>
#include <algorithm>

// BibTeX as reference managers write it: entries "@type{key, field = value, ...}" (or with round
// brackets), values in braces, in quotes, numbers or @string macros joined by "#", text outside
// entries and "%" lines between fields ignored. The reader never recurses: braces are counted, and
// a macro is expanded when it is defined, so "@string{a = b} @string{b = a}" only leaves an empty
// text. A value broken off by the end of the file, or by a line that starts the next entry, ends
// its entry there; the reader goes on from that next entry.
namespace vestrum::importing {
namespace {

// What all macro expansions together may produce: "@string{b = a # a}" a few dozen times doubles a
// text beyond any memory; a real file stays far below.
constexpr qsizetype kExpansionBudget = 16 * 1024 * 1024;
// A value of a field or a macro is cut here; titles and names are far shorter.
constexpr qsizetype kMaxValueLength = 1024 * 1024;

bool isIdentifierChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u':' || c == u'.' || c == u'+' || c == u'/'
        || c == u'\'';
}

bool isBlankChar(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}

class BibTeXReader {
public:
    explicit BibTeXReader(const QString& text)
        : t_(text)
        , n_(text.size())
    {
        static const char* const months[]
            = { "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec" };
        for (int m = 0; m < 12; ++m)
            macros_.insert(QString::fromLatin1(months[m]), QString::number(m + 1));
    }

    Bibliography read()
    {
        Bibliography out;
        out.format = BibliographyFormat::BibTeX;
        while (seekEntry()) {
            const qsizetype start = pos_;
            if (!readEntry(out)) {
                ++out.unreadable;
                // Go on from the entry that broke this one off (or from the end).
                pos_ = std::max(pos_, start + 1);
            }
        }
        return out;
    }

private:
    using Fields = QHash<QString, QString>;

    // Moves to the next "@" that starts an entry; false at the end.
    bool seekEntry()
    {
        while (pos_ < n_) {
            const qsizetype at = t_.indexOf(u'@', pos_);
            if (at < 0) {
                pos_ = n_;
                return false;
            }
            pos_ = at;
            if (entryHeadAt(at))
                return true;
            ++pos_;
        }
        return false;
    }

    // "@type{" or "@type(" at `i`, blanks allowed before the bracket.
    bool entryHeadAt(qsizetype i) const
    {
        qsizetype j = i + 1;
        const qsizetype nameStart = j;
        while (j < n_ && t_[j].isLetter())
            ++j;
        if (j == nameStart)
            return false;
        while (j < n_ && isBlankChar(t_[j]))
            ++j;
        return j < n_ && (t_[j] == u'{' || t_[j] == u'(');
    }

    // A line that starts (after blanks) with an entry head: no value of a real file holds one, so a
    // value still open there was never closed.
    bool brokenOffAt(qsizetype i, bool lineBlankSoFar) const { return lineBlankSoFar && entryHeadAt(i); }

    void skipBlanksAndComments()
    {
        while (pos_ < n_) {
            const QChar c = t_[pos_];
            if (isBlankChar(c)) {
                ++pos_;
            } else if (c == u'%') {
                while (pos_ < n_ && t_[pos_] != u'\n' && t_[pos_] != u'\r')
                    ++pos_;
            } else {
                return;
            }
        }
    }

    QString readIdentifier()
    {
        const qsizetype start = pos_;
        while (pos_ < n_ && isIdentifierChar(t_[pos_]))
            ++pos_;
        return t_.mid(start, pos_ - start);
    }

    bool readEntry(Bibliography& out)
    {
        ++pos_; // '@'
        const QString type = readIdentifier().toLower();
        skipBlanksAndComments();
        const QChar close = t_[pos_] == u'{' ? u'}' : u')';
        ++pos_;
        if (type == QLatin1String("comment") || type == QLatin1String("preamble"))
            return skipGroup(close);
        if (type == QLatin1String("string"))
            return readStringMacro(close);
        return readFields(type, close, out);
    }

    // The rest of an "@comment{...}" or "@preamble{...}", braces counted.
    bool skipGroup(QChar close)
    {
        int depth = 0;
        bool lineBlank = false;
        while (pos_ < n_) {
            const QChar c = t_[pos_];
            if (c == u'@' && brokenOffAt(pos_, lineBlank))
                return false;
            lineBlank = c == u'\n' || c == u'\r' || (lineBlank && isBlankChar(c));
            ++pos_;
            if (c == u'{')
                ++depth;
            else if (c == u'}' && depth > 0)
                --depth;
            else if (c == close && depth == 0)
                return true;
        }
        return false;
    }

    bool readStringMacro(QChar close)
    {
        skipBlanksAndComments();
        const QString name = readIdentifier().toLower();
        skipBlanksAndComments();
        if (name.isEmpty() || pos_ >= n_ || t_[pos_] != u'=')
            return skipGroup(close);
        ++pos_;
        QString value;
        if (!readValue(value, true))
            return false;
        macros_.insert(name, value);
        return skipGroup(close);
    }

    bool readFields(const QString& type, QChar close, Bibliography& out)
    {
        // The citation key runs to the first comma.
        while (pos_ < n_ && t_[pos_] != u',' && t_[pos_] != close) {
            if (t_[pos_] == u'@' && brokenOffAt(pos_, true))
                return false;
            ++pos_;
        }
        Fields fields;
        for (;;) {
            skipBlanksAndComments();
            if (pos_ >= n_)
                return false;
            const QChar c = t_[pos_];
            if (c == close) {
                ++pos_;
                break;
            }
            if (c == u',') {
                ++pos_;
                continue;
            }
            if (c == u'@' && entryHeadAt(pos_))
                return false;
            const QString name = readIdentifier().toLower();
            if (name.isEmpty()) {
                ++pos_; // a stray character between fields
                continue;
            }
            skipBlanksAndComments();
            if (pos_ >= n_ || t_[pos_] != u'=')
                continue;
            ++pos_;
            QString value;
            if (!readValue(value, false))
                return false;
            if (!fields.contains(name))
                fields.insert(name, value);
        }
        out.entries.push_back(entryOf(type, fields));
        return true;
    }

    void append(QString& value, QStringView part, bool fromMacro)
    {
        qsizetype room = kMaxValueLength - value.size();
        if (fromMacro)
            room = std::min(room, budget_);
        const qsizetype taken = std::clamp<qsizetype>(part.size(), 0, std::max<qsizetype>(room, 0));
        value += part.first(taken);
        if (fromMacro)
            budget_ -= taken;
    }

    // value ("#" value)*, each a braced text, a quoted text, a number or a macro; the raw text is
    // kept with its braces (names are split by them).
    bool readValue(QString& value, bool definingMacro)
    {
        for (;;) {
            skipBlanksAndComments();
            if (pos_ >= n_)
                return false;
            const QChar c = t_[pos_];
            if (c == u'{' || c == u'"') {
                const qsizetype start = pos_ + 1;
                if (!skipDelimited(c == u'{'))
                    return false;
                append(value, QStringView(t_).sliced(start, pos_ - 1 - start), definingMacro);
            } else if (isIdentifierChar(c)) {
                const QString word = readIdentifier();
                const bool number = std::all_of(word.begin(), word.end(), [](QChar d) { return d.isDigit(); });
                append(value, number ? QStringView(word) : QStringView(macros_.value(word.toLower())), !number);
            } else {
                return true; // nothing more of this value: the caller sees "," or the end of the entry
            }
            skipBlanksAndComments();
            if (pos_ < n_ && t_[pos_] == u'#') {
                ++pos_;
                continue;
            }
            return true;
        }
    }

    // From an opening brace or quote at pos_ to just after its closing one.
    bool skipDelimited(bool braced)
    {
        int depth = braced ? 1 : 0;
        ++pos_;
        bool lineBlank = false;
        while (pos_ < n_) {
            const QChar c = t_[pos_];
            if (c == u'@' && brokenOffAt(pos_, lineBlank))
                return false;
            lineBlank = c == u'\n' || c == u'\r' || (lineBlank && isBlankChar(c));
            ++pos_;
            if (c == u'\\' && pos_ < n_ && (t_[pos_] == u'{' || t_[pos_] == u'}' || t_[pos_] == u'"')) {
                ++pos_; // an escaped brace or quote counts as text
            } else if (c == u'{') {
                ++depth;
            } else if (c == u'}') {
                if (--depth == 0 && braced)
                    return true;
                depth = std::max(depth, 0);
            } else if (c == u'"' && !braced && depth == 0) {
                return true;
            }
        }
        return false;
    }

    const QString& t_;
    const qsizetype n_;
    qsizetype pos_ = 0;
    qsizetype budget_ = kExpansionBudget;
    QHash<QString, QString> macros_;

    static BibEntry entryOf(const QString& type, const Fields& fields);
};

// --- names ---------------------------------------------------------------------------------------

// "A and B and C" at brace depth 0, "and" in any letter case between blanks.
QStringList splitNames(const QString& raw)
{
    QStringList names;
    int depth = 0;
    qsizetype start = 0;
    const qsizetype n = raw.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = raw[i];
        if (c == u'{')
            ++depth;
        else if (c == u'}')
            depth = std::max(0, depth - 1);
        else if (depth == 0 && isBlankChar(c) && i + 4 < n && raw.mid(i + 1, 3).compare(QLatin1String("and"),
                     Qt::CaseInsensitive) == 0 && isBlankChar(raw[i + 4])) {
            names << raw.mid(start, i - start);
            start = i + 5;
            i += 4;
        }
    }
    names << raw.mid(start);
    return names;
}

// Parts between commas at depth 0, each cut into words at blanks at depth 0.
std::vector<QStringList> nameParts(const QString& name)
{
    std::vector<QStringList> parts(1);
    QString word;
    int depth = 0;
    auto endWord = [&] {
        if (!word.isEmpty())
            parts.back() << word;
        word.clear();
    };
    for (const QChar c : name) {
        if (c == u'{')
            ++depth;
        else if (c == u'}')
            depth = std::max(0, depth - 1);
        if (depth == 0 && c == u',') {
            endWord();
            parts.emplace_back();
        } else if (depth == 0 && (isBlankChar(c) || c == u'~')) {
            endWord();
        } else {
            word += c;
        }
    }
    endWord();
    return parts;
}

// A lower-case first letter marks "von", "van der", "de la" as part of the family name.
bool startsLowerCase(const QString& word)
{
    for (const QChar c : word) {
        if (c.isLetter())
            return c.isLower();
        if (c == u'{')
            return false; // a braced word is taken as written
    }
    return false;
}

BibPerson personOf(const QString& rawName)
{
    BibPerson person;
    const QString name = rawName.trimmed();
    const std::vector<QStringList> parts = nameParts(name);
    if (name.size() > 1 && name.front() == u'{' && name.back() == u'}' && parts.size() == 1
        && parts.front().size() == 1) {
        person.family = DecodeLatex(name).simplified();
        person.literal = true;
        return person;
    }
    if (parts.size() >= 2) {
        person.family = DecodeLatex(parts.front().join(u' ')).simplified();
        person.given = DecodeLatex(parts.back().join(u' ')).simplified();
        return person;
    }
    const QStringList& words = parts.front();
    if (words.isEmpty())
        return person;
    qsizetype familyFrom = words.size() - 1;
    for (qsizetype k = 1; k + 1 < words.size(); ++k)
        if (startsLowerCase(words[k])) {
            familyFrom = k;
            break;
        }
    person.family = DecodeLatex(words.mid(familyFrom).join(u' ')).simplified();
    person.given = DecodeLatex(words.mid(0, familyFrom).join(u' ')).simplified();
    return person;
}

std::vector<BibPerson> peopleOf(const QString& raw)
{
    std::vector<BibPerson> people;
    if (raw.trimmed().isEmpty())
        return people;
    for (const QString& name : splitNames(raw)) {
        if (name.trimmed().compare(QLatin1String("others"), Qt::CaseInsensitive) == 0) {
            people.push_back({ QStringLiteral("i in."), QString(), true });
            continue;
        }
        BibPerson person = personOf(name);
        if (!person.family.isEmpty())
            people.push_back(std::move(person));
    }
    return people;
}

QString plain(const QString& raw)
{
    return DecodeLatex(raw).simplified();
}

QString firstYear(const QString& text)
{
    for (qsizetype i = 0; i + 4 <= text.size(); ++i) {
        const QStringView four = QStringView(text).sliced(i, 4);
        if (std::all_of(four.begin(), four.end(), [](QChar c) { return c.isDigit(); })
            && (i + 4 == text.size() || !text[i + 4].isDigit()))
            return four.toString();
        while (i < text.size() && text[i].isDigit())
            ++i;
    }
    return {};
}

EntryKind kindOfType(const QString& type)
{
    if (type == QLatin1String("article"))
        return EntryKind::Article;
    if (type == QLatin1String("book"))
        return EntryKind::Book;
    if (type == QLatin1String("incollection") || type == QLatin1String("inbook"))
        return EntryKind::Chapter;
    return EntryKind::Other;
}

} // namespace

BibEntry BibTeXReader::entryOf(const QString& type, const Fields& fields)
{
    auto field = [&fields](const char* name) { return plain(fields.value(QString::fromLatin1(name))); };
    BibEntry entry;
    entry.kind = kindOfType(type);
    entry.typeLabel = QLatin1Char('@') + type;
    entry.journal = field("journal");
    if (entry.journal.isEmpty())
        entry.journal = field("journaltitle");
    entry.title = field("title");
    entry.bookTitle = field("booktitle");
    // A classic "@inbook" names the book in "title" and the chapter in "chapter".
    if (type == QLatin1String("inbook") && entry.bookTitle.isEmpty()) {
        entry.bookTitle = entry.title;
        entry.title = field("chapter");
    }
    entry.authors = peopleOf(fields.value(QStringLiteral("author")));
    entry.year = firstYear(field("year"));
    if (entry.year.isEmpty())
        entry.year = firstYear(field("date"));
    entry.volume = field("volume");
    entry.issue = field("number");
    if (entry.issue.isEmpty())
        entry.issue = field("issue");
    // "12--34" is LaTeX's en dash between pages.
    entry.pages = plain(QString(fields.value(QStringLiteral("pages"))).replace(QLatin1String("--"), QLatin1String("-")))
                      .replace(QChar(0x2013), u'-');
    entry.issn = field("issn");
    entry.publisher = field("publisher");
    entry.place = field("address");
    if (entry.place.isEmpty())
        entry.place = field("location");
    return entry;
}

Bibliography ReadBibTeX(const QString& text)
{
    return BibTeXReader(text).read();
}

// --- LaTeX ---------------------------------------------------------------------------------------

namespace {

// The combining mark of an accent command, or 0. Every accent is one character: a switch, not a
// look-up, as each backslash of a file comes here.
char16_t accentMark(QStringView command)
{
    if (command.size() != 1)
        return 0;
    switch (command.front().unicode()) {
    case u'\'': return 0x0301;
    case u'`': return 0x0300;
    case u'^': return 0x0302;
    case u'"': return 0x0308;
    case u'~': return 0x0303;
    case u'=': return 0x0304;
    case u'.': return 0x0307;
    case u'u': return 0x0306;
    case u'v': return 0x030C;
    case u'H': return 0x030B;
    case u'c': return 0x0327;
    case u'k': return 0x0328;
    case u'r': return 0x030A;
    case u'd': return 0x0323;
    case u'b': return 0x0331;
    default: return 0;
    }
}

// The text a letter command stands for; empty for a command that only formats its argument.
QString letterCommand(const QString& name, bool accented)
{
    static const QHash<QString, QString> letters = {
        { QStringLiteral("l"), QStringLiteral("ł") }, { QStringLiteral("L"), QStringLiteral("Ł") },
        { QStringLiteral("o"), QStringLiteral("ø") }, { QStringLiteral("O"), QStringLiteral("Ø") },
        { QStringLiteral("ss"), QStringLiteral("ß") }, { QStringLiteral("ae"), QStringLiteral("æ") },
        { QStringLiteral("AE"), QStringLiteral("Æ") }, { QStringLiteral("oe"), QStringLiteral("œ") },
        { QStringLiteral("OE"), QStringLiteral("Œ") }, { QStringLiteral("aa"), QStringLiteral("å") },
        { QStringLiteral("AA"), QStringLiteral("Å") }, { QStringLiteral("i"), QStringLiteral("ı") },
        { QStringLiteral("j"), QStringLiteral("ȷ") }, { QStringLiteral("textendash"), QStringLiteral("–") },
        { QStringLiteral("textemdash"), QStringLiteral("—") }, { QStringLiteral("textquoteright"), QStringLiteral("’") },
        { QStringLiteral("textquoteleft"), QStringLiteral("‘") }, { QStringLiteral("textasciitilde"), QStringLiteral("~") },
        { QStringLiteral("textunderscore"), QStringLiteral("_") }, { QStringLiteral("textbackslash"), QStringLiteral("\\") },
        { QStringLiteral("S"), QStringLiteral("§") }, { QStringLiteral("P"), QStringLiteral("¶") },
        { QStringLiteral("dh"), QStringLiteral("ð") }, { QStringLiteral("DH"), QStringLiteral("Ð") },
        { QStringLiteral("th"), QStringLiteral("þ") }, { QStringLiteral("TH"), QStringLiteral("Þ") },
        { QStringLiteral("ng"), QStringLiteral("ŋ") }, { QStringLiteral("NG"), QStringLiteral("Ŋ") },
    };
    // Under an accent the dotless i and j are the letters themselves: \'{\i} is "í".
    if (accented && (name == QLatin1String("i") || name == QLatin1String("j")))
        return name;
    return letters.value(name);
}

} // namespace

QString DecodeLatex(const QString& text)
{
    QString out;
    out.reserve(text.size());
    char16_t pendingMark = 0; // an accent waiting for its letter
    auto put = [&](QStringView letters) {
        for (const QChar c : letters) {
            out += c;
            if (pendingMark != 0 && c.isLetter())
                out += QChar(pendingMark);
            pendingMark = 0;
        }
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'{' || c == u'}' || c == u'$')
            continue;
        if (c == u'~') {
            put(u" ");
            continue;
        }
        if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            const bool em = i + 2 < n && text[i + 2] == u'-';
            put(em ? u"—" : u"–");
            i += em ? 2 : 1;
            continue;
        }
        if (c != u'\\' || i + 1 >= n) {
            put(QStringView(text.constData() + i, 1));
            continue;
        }
        const QChar next = text[i + 1];
        if (!next.isLetter()) {
            ++i;
            if (const char16_t mark = accentMark(QStringView(text.constData() + i, 1)); mark != 0) {
                pendingMark = mark;
            } else if (next == u'\\' || next == u',' || next == u' ') {
                put(u" ");
            } else if (next != u'-') { // "\-" is only a hyphenation point
                put(QStringView(text.constData() + i, 1));
            }
            continue;
        }
        qsizetype end = i + 1;
        while (end < n && text[end].isLetter() && text[end].unicode() < 0x80)
            ++end;
        const QString name = text.mid(i + 1, end - i - 1);
        i = end - 1;
        while (i + 1 < n && (text[i + 1] == u' ' || text[i + 1] == u'\t'))
            ++i; // blanks after a command word belong to the command
        if (const char16_t mark = accentMark(name); mark != 0 && name.size() == 1) {
            pendingMark = mark;
            continue;
        }
        const QString letters = letterCommand(name, pendingMark != 0);
        if (!letters.isEmpty())
            put(letters);
    }
    const bool ascii = std::all_of(out.cbegin(), out.cend(), [](QChar c) { return c.unicode() < 0x80; });
    return ascii ? out : out.normalized(QString::NormalizationForm_C);
}

} // namespace vestrum::importing
