#pragma once

// Publication titles in the forms a bibliography holds the journals of the shipped list: a fixed,
// deterministic set built from the list itself, each variant with the journal it stands for, so that
// a test can hold the matching to its shares and bench_journals can print them.

#include "lists/journal_matching.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace vestrum::testing {

enum class VariantKind { LetterCase, Punctuation, Ampersand, LeadingThe, Typo, SubtitleAdded, SubtitleRemoved,
                         PolishLetters, Issn, MadeUp };

inline const char* VariantKindName(VariantKind kind)
{
    switch (kind) {
    case VariantKind::LetterCase: return "wielkość liter";
    case VariantKind::Punctuation: return "interpunkcja";
    case VariantKind::Ampersand: return "& / and";
    case VariantKind::LeadingThe: return "The na początku";
    case VariantKind::Typo: return "literówka";
    case VariantKind::SubtitleAdded: return "podtytuł dopisany";
    case VariantKind::SubtitleRemoved: return "podtytuł pominięty";
    case VariantKind::PolishLetters: return "bez polskich liter";
    case VariantKind::Issn: return "ISSN bez łącznika";
    case VariantKind::MadeUp: return "tytuł spoza listy";
    }
    return "";
}

struct TitleVariant {
    VariantKind kind;
    QString title;
    QString issn;
    int journal = -1; // the matcher's index of the journal meant; -1 for a title the list does not hold
};

inline QString WithoutPolishLetters(const QString& text)
{
    static const QString from = QString::fromUtf8("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
    static const QString to = QStringLiteral("acelnoszzACELNOSZZ");
    QString out = text;
    for (QChar& ch : out)
        if (const qsizetype at = from.indexOf(ch); at >= 0)
            ch = to[at];
    return out;
}

// Two neighbouring letters of the longest word swapped.
inline QString WithTypo(const QString& title)
{
    const QStringList words = title.split(u' ');
    qsizetype longest = 0;
    for (qsizetype i = 1; i < words.size(); ++i)
        if (words[i].size() > words[longest].size())
            longest = i;
    QString word = words[longest];
    if (word.size() < 5)
        return {};
    std::swap(word[word.size() / 2], word[word.size() / 2 + 1]);
    QStringList changed = words;
    changed[longest] = word;
    return changed.join(u' ');
}

// The variants of every `stride`-th journal whose title allows them, and made-up titles.
inline std::vector<TitleVariant> JournalTitleVariants(const lists::JournalMatcher& matcher, int stride = 58)
{
    static const char* const kSubtitles[] = {"an international journal", "research and practice",
                                             "seria nowa", "official journal of the society"};
    static const char* const kWords[] = {"Zeszyty", "Naukowe", "Studia", "Przegląd", "Rocznik", "Wydziału",
                                         "Regionalne", "Prace", "Instytutu", "Biuletyn", "Kwartalnik", "Pomorski"};
    std::vector<TitleVariant> variants;
    for (int j = 0; j < matcher.size(); j += stride) {
        const lists::ListedJournal& journal = matcher.journal(j);
        const QString name = journal.name;
        variants.push_back({VariantKind::LetterCase, j % 2 == 0 ? name.toUpper() : name.toLower(), {}, j});
        QString punctuated = name;
        punctuated.replace(u' ', QStringLiteral(", "));
        variants.push_back({VariantKind::Punctuation, punctuated, {}, j});
        if (name.contains(QLatin1String(" and ")))
            variants.push_back({VariantKind::Ampersand, QString(name).replace(QLatin1String(" and "), QLatin1String(" & ")), {}, j});
        else if (name.contains(QLatin1String(" & ")))
            variants.push_back({VariantKind::Ampersand, QString(name).replace(QLatin1String(" & "), QLatin1String(" and ")), {}, j});
        if (name.startsWith(QLatin1String("The "), Qt::CaseInsensitive))
            variants.push_back({VariantKind::LeadingThe, name.mid(4), {}, j});
        else
            variants.push_back({VariantKind::LeadingThe, QStringLiteral("The ") + name, {}, j});
        if (const QString typo = WithTypo(name); !typo.isEmpty())
            variants.push_back({VariantKind::Typo, typo, {}, j});
        variants.push_back({VariantKind::SubtitleAdded,
                            name + QStringLiteral(": ") + QString::fromUtf8(kSubtitles[(j / stride) % 4]), {}, j});
        if (const QString key = lists::issnKey(journal.issn); !key.isEmpty())
            variants.push_back({VariantKind::Issn, QStringLiteral("Tytuł skrócony"), key, j});
        const int k = j / stride;
        variants.push_back({VariantKind::MadeUp,
                            QString::fromUtf8(kWords[k % 12]) + u' ' + QString::fromUtf8(kWords[(k * 5 + 3) % 12]) +
                                u' ' + QString::fromUtf8(kWords[(k * 7 + 1) % 12]) + QStringLiteral(" nr %1").arg(k),
                            {}, -1});
    }
    // Polish titles typed without their letters: every fifth journal that has them.
    for (int j = 0, seen = 0; j < matcher.size(); ++j) {
        const QString& name = matcher.journal(j).name;
        if (const QString plain = WithoutPolishLetters(name); plain != name && seen++ % 5 == 0)
            variants.push_back({VariantKind::PolishLetters, plain, {}, j});
    }
    // Titles with a subtitle typed without it: every such journal of the list whose first part is no
    // title of the list itself (that one would be meant).
    int taken = 0;
    for (int j = 0; j < matcher.size() && taken < 400; ++j) {
        const QStringView first = lists::titleBeforeSubtitle(matcher.journal(j).name);
        if (first.isEmpty() || matcher.match(first.toString()).kind != lists::MatchKind::None)
            continue;
        if (j % 7 == 0) {
            variants.push_back({VariantKind::SubtitleRemoved, first.toString(), {}, j});
            ++taken;
        }
    }
    return variants;
}

struct VariantOutcome {
    int variants = 0;
    int identified = 0; // the right journal identified
    int suggested = 0;  // not identified, the right journal among the suggestions
    int wrong = 0;      // another journal identified
    double share() const { return variants == 0 ? 0 : double(identified + suggested) / variants; }
};

// Whether the variant's journal is identified or suggested; a made-up title counts as found when
// nothing is identified for it.
inline void ScoreVariant(const lists::JournalMatcher& matcher, const TitleVariant& variant, VariantOutcome& outcome)
{
    ++outcome.variants;
    const lists::JournalMatch match = matcher.match(variant.title, variant.issn);
    auto sameJournal = [&](int other) {
        return other == variant.journal ||
               (variant.journal >= 0 && matcher.journal(other).name == matcher.journal(variant.journal).name &&
                matcher.journal(other).points == matcher.journal(variant.journal).points);
    };
    if (match.identified()) {
        if (sameJournal(match.journals.front()))
            ++outcome.identified;
        else
            ++outcome.wrong;
        return;
    }
    if (variant.journal < 0) {
        ++outcome.identified;
        return;
    }
    for (const lists::Suggestion& suggestion : matcher.suggest(variant.title, variant.issn))
        if (sameJournal(suggestion.journal)) {
            ++outcome.suggested;
            return;
        }
}

} // namespace vestrum::testing
