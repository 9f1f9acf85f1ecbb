#pragma once

#include "lists/journal_matching.h"

#include <QChar>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <span>
#include <vector>

// What the files of journal matching share (the keys, the index, the suggestions); nothing outside lists/
// includes this header.
namespace vestrum::lists {
namespace matching {

using Trigram = quint64;

// Keeps a query's trigram count well inside the 16-bit hit counters.
constexpr qsizetype kLongestQuery = 2000;

inline Trigram trigramOf(QChar a, QChar b, QChar c)
{
    return (Trigram(a.unicode()) << 32) | (Trigram(b.unicode()) << 16) | Trigram(c.unicode());
}

// Each trigram of a key, each word padded with two blanks in front and one behind (so that short
// words and the beginnings of words weigh in); a trigram may come more than once.
template <typename Visit>
void forEachTrigram(QStringView key, Visit&& visit)
{
    QChar a = u' ';
    QChar b = u' ';
    for (const QChar c : key) {
        if (c != u' ') {
            visit(trigramOf(a, b, c));
            a = b;
            b = c;
        } else if (b != u' ') { // a word ends
            visit(trigramOf(a, b, u' '));
            a = b = u' ';
        }
    }
    if (b != u' ')
        visit(trigramOf(a, b, u' '));
}

// matchingKey written into `key`, which keeps its room from call to call.
void writeMatchingKey(QStringView title, QString& key);
// The lower case of a title as QString::toLower makes it, in `buffer`: a plain ASCII title (nearly
// all of them) is lowered without a new string.
QStringView lowerCase(QStringView title, QString& buffer);
// An ISSN as a number (four bits a character), 0 when the text holds none.
quint64 issnCode(QStringView text);

// Journals under hashed keys: the entries grouped by the top bits of their hash, each group in
// list order, so that a look-up reads one short run. Equal hashes of different keys are told apart
// by the caller.
class HashedJournals {
public:
    struct Entry {
        quint64 hash;
        int journal;
        bool operator==(const Entry&) const = default;
    };

    // `entries` in list order.
    void build(const std::vector<Entry>& entries);
    // The journals with `hash`, in list order, each once (a journal may be under one key twice,
    // like an ISSN that is also its e-ISSN).
    std::vector<int> find(quint64 hash) const;

    bool isEmpty() const { return entries_.empty(); }

private:
    std::vector<Entry> entries_;
    std::vector<int> directory_;
    int shift_ = 63;
};

// Trigram -> id, open addressing: the index looks up a million trigrams while it is made.
class TrigramIds {
public:
    TrigramIds();

    int find(Trigram trigram) const;
    // The trigram's id; a trigram not yet known gets `next`.
    int findOrAdd(Trigram trigram, int next);

private:
    static constexpr Trigram kFree = ~Trigram{0}; // no trigram: a code unit has 16 bits, a trigram 48

    size_t slotOf(Trigram trigram) const;
    void resize(size_t capacity);

    std::vector<Trigram> keys_;
    std::vector<int> ids_;
    size_t mask_ = 0;
    size_t used_ = 0;
};

} // namespace matching

// The whole keys of the list's journals: ISSN and e-ISSN (the second pair too), the lower-cased
// titles and their keys, each by its hash. Titles and keys are confirmed against the journal
// itself, so that two keys of one hash never mix. Each key a journal is known by is a "form": its
// title, its second title, and for suggestions only the part of each before a subtitle.
struct JournalMatcher::KeyIndex {
    matching::HashedJournals byIssn;
    matching::HashedJournals byTitle;
    matching::HashedJournals byKey; // by form: only whole titles, never their first parts
    // Every form's matchingKey, back to back; the trigram index is made of them.
    QString keyText;
    std::vector<qsizetype> keyStart{0};
    std::vector<int> journalOfForm;
    std::vector<bool> partForm; // a title's part before its subtitle
    std::vector<int> firstForm; // journal j's forms are firstForm[j] .. firstForm[j + 1] - 1

    int formCount() const { return static_cast<int>(journalOfForm.size()); }
    QStringView key(int form) const
    {
        const qsizetype start = keyStart[static_cast<size_t>(form)];
        return QStringView(keyText).mid(start, keyStart[static_cast<size_t>(form) + 1] - start);
    }
    void addForm(const QString& formKey, int journal, bool part)
    {
        keyText += formKey;
        keyStart.push_back(keyText.size());
        journalOfForm.push_back(journal);
        partForm.push_back(part);
    }
};

// The trigrams of every journal's key, and for each trigram the journals that have it. Journals
// are numbered here by rank: fewest trigrams first, then in list order, so that each posting list
// runs from the shortest journals to the longest and the journals of a range of lengths are one
// stretch of it.
struct JournalMatcher::TrigramIndex {
    std::vector<int> trigrams;        // every journal's trigram ids, journal after journal in list order
    std::vector<int> journalOfRank;   // rank -> form (KeyIndex::journalOfForm gives its journal)
    std::vector<int> startOfRank;     // rank r's trigram ids: trigrams[startOfRank[r]..] ...
    std::vector<int> lengthOfRank;    // ... and so many of them
    std::vector<int> firstOfLength;   // the first rank with at least b trigrams, b = 0..longest+1
    std::vector<int> postingStart;    // trigram t's ranks, ascending: postings[postingStart[t]..[t+1])
    std::vector<int> postings;
    matching::TrigramIds ids;

    int longest() const { return static_cast<int>(firstOfLength.size()) - 2; }
    int trigramCount(int rank) const { return lengthOfRank[static_cast<size_t>(rank)]; }
    std::span<const int> trigramsOf(int rank) const
    {
        return {trigrams.data() + startOfRank[static_cast<size_t>(rank)], static_cast<size_t>(trigramCount(rank))};
    }
    int postingCount(int id) const
    {
        return postingStart[static_cast<size_t>(id) + 1] - postingStart[static_cast<size_t>(id)];
    }
    // The journals of trigram `id` with between `fewest` and `most` trigrams.
    std::span<const int> postingsOf(int id, int fewest, int most) const
    {
        const int* const first = postings.data() + postingStart[static_cast<size_t>(id)];
        const int* const last = postings.data() + postingStart[static_cast<size_t>(id) + 1];
        const int* const from = std::lower_bound(first, last, firstOfLength[static_cast<size_t>(fewest)]);
        const int* const to = std::lower_bound(from, last, firstOfLength[static_cast<size_t>(most) + 1]);
        return {from, to};
    }
};

} // namespace vestrum::lists
