#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Matching a publication's journal against the ministry's list: what is plainly the same journal is
// identified, the rest gets the nearest journals of the list as suggestions, and a title that fits
// several journals is said to be ambiguous rather than silently given the first.
//
// Identification, in this order:
//   1. an ISSN or e-ISSN of the row that names exactly one journal;
//   2. the title, letter case aside, naming exactly one journal;
//   3. the title's key (matchingKey) naming exactly one journal.
// A title that names several journals by 2 or 3 is ambiguous: nothing is identified and all of
// them are offered. Suggestions are never applied by the program: the points decide the evaluation,
// so the user chooses.
namespace vestrum::lists {

// One journal of the list as matching sees it.
struct ListedJournal {
    QString name;
    QString points;
    int part = 0; // `rodzaj`: 0, 1 or 2
    QString issn;
    QString eissn;
    // The ministry's second title and its ISSN pair (empty in lists that lack them): matched as the
    // first ones are, though a publication always takes `name`.
    QString name2;
    QString issn2;
    QString eissn2;
};

// "A", "B" or "C" for the parts 0, 1 and 2 of the list.
QString partLetter(int part);

// The eight characters of an ISSN ("12345678", a check "x" upper-cased), from the forms people
// type: "1234-5678", "12345678", "ISSN 1234-567x". Empty when the text holds no ISSN.
QString issnKey(QStringView text);

// The key under which titles count as one: lower case; "&", "and" and "i" (Polish "and") one word;
// blanks, punctuation, dots and hyphens all only separate words, however many and wherever they
// stand; a leading "The" dropped. Letters keep their diacritics (Polish letters tell journals apart).
QString matchingKey(QStringView title);

// A title's part before its subtitle (before the first ":" or a dash between blanks), trimmed;
// empty when the title has no subtitle.
QStringView titleBeforeSubtitle(QStringView title);

enum class MatchKind {
    None,      // nothing on the list fits
    Issn,      // identified by ISSN or e-ISSN
    Title,     // identified by the title, letter case aside
    Key,       // identified by the title's key
    Ambiguous, // several journals fit: `journals` holds them all
};

struct JournalMatch {
    MatchKind kind = MatchKind::None;
    std::vector<int> journals; // indexes into the list; one when identified
    bool identified() const { return kind == MatchKind::Issn || kind == MatchKind::Title || kind == MatchKind::Key; }
};

struct Suggestion {
    int journal = -1;      // index into the list
    double similarity = 0; // 0..1, trigram similarity of the keys
};

// The list's journals indexed for matching. Journals are kept in the order given (the list's name
// order), which is also the order in which ties are broken. The look-ups of whole keys are made
// with the matcher; the index of trigrams costs about as much again and only suggestions need it,
// so it is made on the first suggestion.
class JournalMatcher {
public:
    // Titles at least this similar to a journal's are worth offering. Measured on the shipped list
    // (29,037 journals; bench_journals prints the figures again): a listed title with one letter
    // dropped or two swapped keeps a similarity of 0.56 or more to its journal in 95 of 100 cases
    // (median 0.82), 98.6% stay above 0.4 and 98.5% find their journal first; a title short of one
    // word keeps 0.57 or more in 95 of 100 (99.8% above 0.4). Made-up titles of words of Polish
    // titles come to their nearest journal at 0.22 at the median, 0.33 at the 90th and 0.45 at the
    // 99th percentile: at 0.4 only 3 in 100 of them are offered anything.
    static constexpr double kSimilarityFloor = 0.4;
    static constexpr int kSuggestionCount = 3;
    // A typed title is also compared without its subtitle, and each listed title also by its part
    // before a subtitle; such a likeness counts for this share of a whole title's (bench_journals
    // prints the shares of each kind of variant found).
    static constexpr double kQueryPartWeight = 0.8;
    static constexpr double kListPartWeight = 0.9;

    JournalMatcher();
    explicit JournalMatcher(std::vector<ListedJournal> journals);
    ~JournalMatcher();
    JournalMatcher(JournalMatcher&&) noexcept;
    JournalMatcher& operator=(JournalMatcher&&) noexcept;

    int size() const { return static_cast<int>(journals_.size()); }
    const ListedJournal& journal(int index) const { return journals_.at(static_cast<size_t>(index)); }
    bool hasIssn() const;

    // Identification of one title (and the ISSN typed with it, if any).
    JournalMatch match(const QString& title, const QString& issn = QString()) const;

    // For a title that is not identified: the journals it names when it is ambiguous (all of them),
    // otherwise the nearest journals by trigram similarity, at most kSuggestionCount, none below the
    // floor; most similar first, ties in the list's order. Thread-safe once the index exists
    // (prepareSuggestions).
    std::vector<Suggestion> suggest(const QString& title, const QString& issn = QString()) const;
    std::vector<Suggestion> nearest(const QString& title, int count = kSuggestionCount,
                                    double floor = kSimilarityFloor) const;
    // Builds the trigram index now (it is built on the first suggestion otherwise).
    void prepareSuggestions() const;

    // How alike a typed title is to a journal as the suggestions weigh it: the highest similarity of
    // the title, or of its part before a subtitle, to any form of the journal, each part weighted.
    double likeness(const QString& title, int journal) const;

    // The trigram similarity of two titles' keys (Jaccard index of their trigram sets).
    static double similarity(const QString& a, const QString& b);

private:
    struct KeyIndex;
    std::vector<Suggestion> nearestForms(QStringView title, int count, double floor) const;
    struct TrigramIndex;
    std::vector<int> journalsWithIssn(const QString& issn) const;
    std::vector<int> journalsWithTitle(const QString& lowered) const;
    std::vector<int> journalsWithKey(const QString& key) const;

    std::vector<ListedJournal> journals_;
    std::unique_ptr<KeyIndex> keys_;
    mutable std::unique_ptr<TrigramIndex> trigrams_;
    mutable std::unique_ptr<std::mutex> building_ = std::make_unique<std::mutex>();
};

} // namespace vestrum::lists
