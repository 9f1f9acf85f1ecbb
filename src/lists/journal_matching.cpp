#include "lists/journal_matching.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <span>

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

using Trigram = quint64;

// Keeps a query's trigram count well inside the 16-bit hit counters.
constexpr qsizetype kLongestQuery = 2000;

Trigram trigramOf(QChar a, QChar b, QChar c)
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

// The trigrams of a key as a sorted set, in `trigrams` (reused by the searches).
void trigramsOfKey(QStringView key, std::vector<Trigram>& trigrams)
{
    trigrams.clear();
    forEachTrigram(key, [&trigrams](Trigram t) { trigrams.push_back(t); });
    std::sort(trigrams.begin(), trigrams.end());
    trigrams.erase(std::unique(trigrams.begin(), trigrams.end()), trigrams.end());
}

// A 64-bit mix (a bijection), so that the top bits of any hash or code spread evenly.
quint64 mixed(quint64 h)
{
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    return h ^ (h >> 31);
}

quint64 hashOf(QStringView key)
{
    return mixed(qHash(key, 0));
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

bool before(const Suggestion& a, const Suggestion& b)
{
    return a.similarity != b.similarity ? a.similarity > b.similarity : a.journal < b.journal;
}

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
    void build(const std::vector<Entry>& entries)
    {
        int bits = 1;
        while (bits < 30 && (size_t{1} << bits) < entries.size())
            ++bits;
        shift_ = 64 - bits;
        directory_.assign((size_t{1} << bits) + 1, 0);
        for (const Entry& entry : entries)
            ++directory_[(entry.hash >> shift_) + 1];
        for (size_t slot = 1; slot < directory_.size(); ++slot)
            directory_[slot] += directory_[slot - 1];
        std::vector<int> fill(directory_.begin(), directory_.end() - 1);
        entries_.resize(entries.size());
        for (const Entry& entry : entries)
            entries_[static_cast<size_t>(fill[entry.hash >> shift_]++)] = entry;
    }

    // The journals with `hash`, in list order, each once (a journal may be under one key twice,
    // like an ISSN that is also its e-ISSN).
    std::vector<int> find(quint64 hash) const
    {
        std::vector<int> journals;
        if (entries_.empty())
            return journals;
        const size_t slot = hash >> shift_;
        for (int e = directory_[slot]; e < directory_[slot + 1]; ++e) {
            const Entry& entry = entries_[static_cast<size_t>(e)];
            if (entry.hash == hash && (journals.empty() || journals.back() != entry.journal))
                journals.push_back(entry.journal);
        }
        return journals;
    }

    bool isEmpty() const { return entries_.empty(); }

private:
    std::vector<Entry> entries_;
    std::vector<int> directory_;
    int shift_ = 63;
};

// Trigram -> id, open addressing: the index looks up a million trigrams while it is made.
class TrigramIds {
public:
    TrigramIds() { resize(1 << 14); }

    int find(Trigram trigram) const
    {
        for (size_t slot = slotOf(trigram);; slot = (slot + 1) & mask_) {
            if (keys_[slot] == trigram)
                return ids_[slot];
            if (keys_[slot] == kFree)
                return -1;
        }
    }

    // The trigram's id; a trigram not yet known gets `next`.
    int findOrAdd(Trigram trigram, int next)
    {
        if (2 * (used_ + 1) > keys_.size())
            resize(2 * keys_.size());
        size_t slot = slotOf(trigram);
        for (; keys_[slot] != kFree; slot = (slot + 1) & mask_)
            if (keys_[slot] == trigram)
                return ids_[slot];
        keys_[slot] = trigram;
        ids_[slot] = next;
        ++used_;
        return next;
    }

private:
    static constexpr Trigram kFree = ~Trigram{0}; // no trigram: a code unit has 16 bits, a trigram 48

    size_t slotOf(Trigram trigram) const { return static_cast<size_t>(mixed(trigram)) & mask_; }

    void resize(size_t capacity)
    {
        std::vector<Trigram> keys(capacity, kFree);
        std::vector<int> ids(capacity, -1);
        keys.swap(keys_);
        ids.swap(ids_);
        mask_ = capacity - 1;
        used_ = 0;
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] != kFree)
                findOrAdd(keys[i], ids[i]);
    }

    std::vector<Trigram> keys_;
    std::vector<int> ids_;
    size_t mask_ = 0;
    size_t used_ = 0;
};

} // namespace

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

namespace {

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

} // namespace

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

// The whole keys of the list's journals: ISSN and e-ISSN (the second pair too), the lower-cased
// titles and their keys, each by its hash. Titles and keys are confirmed against the journal
// itself, so that two keys of one hash never mix. Each key a journal is known by is a "form": its
// title, its second title, and for suggestions only the part of each before a subtitle.
struct JournalMatcher::KeyIndex {
    HashedJournals byIssn;
    HashedJournals byTitle;
    HashedJournals byKey; // by form: only whole titles, never their first parts
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
    TrigramIds ids;

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

JournalMatcher::JournalMatcher() = default;

JournalMatcher::JournalMatcher(std::vector<ListedJournal> journals)
    : journals_(std::move(journals)), keys_(std::make_unique<KeyIndex>())
{
    using Entry = HashedJournals::Entry;
    std::vector<Entry> issns;
    std::vector<Entry> titles;
    std::vector<Entry> keys;
    issns.reserve(2 * journals_.size());
    titles.reserve(journals_.size());
    keys.reserve(journals_.size());
    keys_->keyStart.reserve(2 * journals_.size() + 1);
    keys_->keyText.reserve(static_cast<qsizetype>(journals_.size()) * 60);
    QString title;
    QString key;
    QString firstKey;
    for (size_t i = 0; i < journals_.size(); ++i) {
        const ListedJournal& journal = journals_[i];
        const int index = static_cast<int>(i);
        for (const QString& issn : {journal.issn, journal.eissn, journal.issn2, journal.eissn2})
            if (const quint64 code = issnCode(issn))
                issns.push_back({mixed(code), index});
        keys_->firstForm.push_back(keys_->formCount());
        QStringList seen; // the keys of this journal's forms, each kept once
        for (const QString& name : {journal.name, journal.name2}) {
            const QStringView trimmed = QStringView(name).trimmed();
            if (trimmed.isEmpty())
                continue;
            titles.push_back({hashOf(lowerCase(trimmed, title)), index});
            writeMatchingKey(name, key);
            if (key.isEmpty() || seen.contains(key))
                continue;
            seen.append(key);
            keys.push_back({hashOf(key), keys_->formCount()});
            keys_->addForm(key, index, false);
        }
        for (const QString& name : {journal.name, journal.name2}) {
            const QStringView first = titleBeforeSubtitle(name);
            if (first.isEmpty())
                continue;
            writeMatchingKey(first, firstKey);
            if (!firstKey.isEmpty() && !seen.contains(firstKey)) {
                seen.append(firstKey);
                keys_->addForm(firstKey, index, true);
            }
        }
        if (seen.isEmpty())
            keys_->addForm(QString(), index, false); // every journal has a form, so the forms of journal i start in order
    }
    keys_->firstForm.push_back(keys_->formCount());
    keys_->byIssn.build(issns);
    keys_->byTitle.build(titles);
    keys_->byKey.build(keys);
}

JournalMatcher::~JournalMatcher() = default;
JournalMatcher::JournalMatcher(JournalMatcher&&) noexcept = default;
JournalMatcher& JournalMatcher::operator=(JournalMatcher&&) noexcept = default;

bool JournalMatcher::hasIssn() const
{
    return keys_ && !keys_->byIssn.isEmpty();
}

std::vector<int> JournalMatcher::journalsWithIssn(const QString& issn) const
{
    const quint64 code = issnCode(issn); // the mix is one to one: one hash, one ISSN
    return code == 0 ? std::vector<int>() : keys_->byIssn.find(mixed(code));
}

std::vector<int> JournalMatcher::journalsWithTitle(const QString& lowered) const
{
    std::vector<int> found = keys_->byTitle.find(hashOf(lowered));
    std::erase_if(found, [&](int journal) {
        const ListedJournal& listed = journals_[static_cast<size_t>(journal)];
        return listed.name.trimmed().toLower() != lowered && listed.name2.trimmed().toLower() != lowered;
    });
    return found;
}

std::vector<int> JournalMatcher::journalsWithKey(const QString& key) const
{
    if (key.isEmpty())
        return {};
    std::vector<int> forms = keys_->byKey.find(hashOf(key));
    std::erase_if(forms, [&](int form) { return keys_->key(form) != key; });
    std::vector<int> found;
    for (const int form : forms) {
        const int journal = keys_->journalOfForm[static_cast<size_t>(form)];
        if (std::find(found.begin(), found.end(), journal) == found.end())
            found.push_back(journal);
    }
    return found;
}

JournalMatch JournalMatcher::match(const QString& title, const QString& issn) const
{
    JournalMatch result;
    if (!keys_)
        return result;
    auto decide = [&result](std::vector<int> found, MatchKind kind) {
        if (found.empty())
            return false;
        if (found.size() == 1) {
            result = {kind, std::move(found)};
            return true;
        }
        if (result.kind == MatchKind::None)
            result = {MatchKind::Ambiguous, std::move(found)}; // unless a later step names exactly one
        return false;
    };
    if (decide(journalsWithIssn(issn), MatchKind::Issn))
        return result;
    const QString trimmed = title.trimmed();
    if (trimmed.isEmpty())
        return result;
    std::vector<int> byTitle = journalsWithTitle(trimmed.toLower());
    const bool titleFound = !byTitle.empty();
    if (decide(std::move(byTitle), MatchKind::Title))
        return result;
    // Several journals under one title stay ambiguous: the key would only add more.
    if (result.kind == MatchKind::Ambiguous && titleFound)
        return result;
    decide(journalsWithKey(matchingKey(trimmed)), MatchKind::Key);
    return result;
}

void JournalMatcher::prepareSuggestions() const
{
    if (!building_)
        building_ = std::make_unique<std::mutex>();
    const std::lock_guard lock(*building_);
    if (trigrams_ || !keys_)
        return;
    auto index = std::make_unique<TrigramIndex>();
    const int journalCount = keys_->formCount(); // the index counts forms; a rank is a form

    // Each journal's trigram ids, each once; ids in order of first appearance.
    std::vector<int> start{0};
    std::vector<int> postingCounts;
    std::vector<int> lastJournalOf; // by id: the last journal that had the trigram
    start.reserve(static_cast<size_t>(journalCount) + 1);
    index->trigrams.reserve(static_cast<size_t>(journalCount) * 40);
    for (int journal = 0; journal < journalCount; ++journal) {
        forEachTrigram(keys_->key(journal), [&](Trigram t) {
            const int id = index->ids.findOrAdd(t, static_cast<int>(postingCounts.size()));
            if (id == static_cast<int>(postingCounts.size())) {
                postingCounts.push_back(0);
                lastJournalOf.push_back(-1);
            }
            if (lastJournalOf[static_cast<size_t>(id)] == journal)
                return;
            lastJournalOf[static_cast<size_t>(id)] = journal;
            ++postingCounts[static_cast<size_t>(id)];
            index->trigrams.push_back(id);
        });
        start.push_back(static_cast<int>(index->trigrams.size()));
    }
    auto lengthOf = [&start](int journal) {
        return start[static_cast<size_t>(journal) + 1] - start[static_cast<size_t>(journal)];
    };

    // Ranks: by length, then in list order.
    index->journalOfRank.resize(static_cast<size_t>(journalCount));
    std::iota(index->journalOfRank.begin(), index->journalOfRank.end(), 0);
    std::stable_sort(index->journalOfRank.begin(), index->journalOfRank.end(),
                     [&](int a, int b) { return lengthOf(a) < lengthOf(b); });
    index->startOfRank.reserve(static_cast<size_t>(journalCount));
    index->lengthOfRank.reserve(static_cast<size_t>(journalCount));
    for (const int journal : index->journalOfRank) {
        index->startOfRank.push_back(start[static_cast<size_t>(journal)]);
        index->lengthOfRank.push_back(lengthOf(journal));
    }
    const int longest = journalCount == 0 ? 0 : index->lengthOfRank.back();
    index->firstOfLength.assign(static_cast<size_t>(longest) + 2, journalCount);
    for (int rank = journalCount; rank-- > 0;)
        index->firstOfLength[static_cast<size_t>(index->lengthOfRank[static_cast<size_t>(rank)])] = rank;
    for (size_t b = static_cast<size_t>(longest) + 1; b-- > 0;)
        index->firstOfLength[b] = std::min(index->firstOfLength[b], index->firstOfLength[b + 1]);

    index->postingStart.assign(postingCounts.size() + 1, 0);
    for (size_t t = 0; t < postingCounts.size(); ++t)
        index->postingStart[t + 1] = index->postingStart[t] + postingCounts[t];
    index->postings.resize(index->trigrams.size());
    std::vector<int>& fill = postingCounts; // now where each posting list is filled next
    std::copy(index->postingStart.begin(), index->postingStart.end() - 1, fill.begin());
    for (int rank = 0; rank < journalCount; ++rank)
        for (const int id : index->trigramsOf(rank))
            index->postings[static_cast<size_t>(fill[static_cast<size_t>(id)]++)] = rank;
    trigrams_ = std::move(index);
}

std::vector<Suggestion> JournalMatcher::suggest(const QString& title, const QString& issn) const
{
    const JournalMatch found = match(title, issn);
    if (found.kind == MatchKind::None)
        return nearest(title);
    std::vector<Suggestion> suggestions;
    for (const int journal : found.journals)
        suggestions.push_back({journal, similarity(title, journals_[static_cast<size_t>(journal)].name)});
    std::stable_sort(suggestions.begin(), suggestions.end(), before);
    return suggestions;
}

namespace {

// A query's working space, kept by each thread: a search costs no allocation and no clearing of
// arrays as long as the list.
struct QueryScratch {
    std::vector<Trigram> trigrams;
    std::vector<std::pair<int, int>> byRarity; // (posting count, trigram id or -1)
    std::vector<quint8> inQuery;               // by trigram id
    std::vector<quint16> hits;                 // by rank
    std::vector<int> touched;                  // ranks with hits, room for all
    std::vector<int> prefixOfLength;           // by trigram count - fewest
    std::vector<int> fewestHits;               // by trigram count - fewest
    std::vector<std::pair<int, int>> candidates; // (bucket of the bound, rank)
    std::vector<int> bucketStart;
    std::vector<int> byBound;
};

QueryScratch& queryScratch()
{
    thread_local QueryScratch scratch;
    return scratch;
}

// Similarities are ratios of small whole numbers: two that differ, differ by far more than this,
// so bounds are compared with this much room for rounding and never drop a journal that ties.
constexpr double kRoom = 1e-9;

// Trigrams counted for each journal beyond the fewest the filter needs: each makes a journal's
// bound tighter by one and costs a longer posting list.
constexpr int kExtraCounted = 4;

constexpr int kBuckets = 256;

} // namespace

// Jaccard similarity J = |Q∩B| / (|Q| + |B| - |Q∩B|) of trigram sets. A journal of b trigrams with
// J >= t shares at least s(b) = ceil(t(|Q| + b) / (1 + t)) trigrams with the query, so it holds one
// of the |Q| - s(b) + 1 rarest trigrams of the query, and it has at least t|Q| and at most |Q|/t
// trigrams. Only the journals whose length lets them reach the floor are counted, each over the
// rarest trigrams it must hold one of (the shorter the journal, the more) and a few more, which
// tighten its bound; those whose count leaves room for the floor are compared, the most promising
// first, until none left could beat the third best found.
std::vector<Suggestion> JournalMatcher::nearest(const QString& title, int count, double floor) const
{
    std::vector<Suggestion> best = nearestForms(title, count, floor);
    const QStringView first = titleBeforeSubtitle(title);
    if (first.isEmpty() || count <= 0)
        return best;
    // The title without its subtitle counts for less than the whole title, so that a typing slip in
    // a long title does not lose its journal to every journal sharing the title's first words.
    for (Suggestion part : nearestForms(first, count, std::min(1.0, floor / kQueryPartWeight))) {
        part.similarity *= kQueryPartWeight;
        const auto same = std::find_if(best.begin(), best.end(),
                                       [&](const Suggestion& s) { return s.journal == part.journal; });
        if (same != best.end())
            same->similarity = std::max(same->similarity, part.similarity);
        else
            best.push_back(part);
    }
    std::sort(best.begin(), best.end(), before);
    if (static_cast<int>(best.size()) > count)
        best.resize(static_cast<size_t>(count));
    return best;
}

std::vector<Suggestion> JournalMatcher::nearestForms(QStringView title, int count, double floor) const
{
    std::vector<Suggestion> best;
    if (count <= 0 || journals_.empty() || !keys_ || floor > 1)
        return best;
    if (!trigrams_)
        prepareSuggestions();
    const TrigramIndex& index = *trigrams_;
    QueryScratch& scratch = queryScratch();

    // A pasted page is not a title: the first characters are plenty to find a journal by.
    trigramsOfKey(matchingKey(title.left(kLongestQuery)), scratch.trigrams);
    const int q = static_cast<int>(scratch.trigrams.size());
    if (q == 0)
        return best;
    if (scratch.inQuery.size() < index.postingStart.size())
        scratch.inQuery.assign(index.postingStart.size(), 0);
    const size_t forms = static_cast<size_t>(keys_->formCount());
    if (scratch.hits.size() < forms) {
        scratch.hits.assign(forms, 0);
        scratch.touched.resize(2 * forms); // the touched, then the candidates among them:
                                                      // room for every journal twice, written without checks
    }
    quint8* const inQuery = scratch.inQuery.data();
    quint16* const hits = scratch.hits.data();

    // Trigrams no journal has count in |Q| but cost nothing; they sort first as the rarest.
    std::vector<std::pair<int, int>>& byRarity = scratch.byRarity;
    byRarity.clear();
    for (const Trigram t : scratch.trigrams) {
        const int id = index.ids.find(t);
        byRarity.emplace_back(id < 0 ? 0 : index.postingCount(id), id);
        if (id >= 0)
            inQuery[id] = 1;
    }
    std::sort(byRarity.begin(), byRarity.end());

    auto threshold = [&] {
        return static_cast<int>(best.size()) < count ? floor : std::max(floor, best.back().similarity);
    };
    auto compare = [&](int rank) {
        const std::span<const int> own = index.trigramsOf(rank);
        int shared = 0;
        for (const int id : own)
            shared += inQuery[id];
        const int b = static_cast<int>(own.size());
        const int form = index.journalOfRank[static_cast<size_t>(rank)];
        const double weight = keys_->partForm[static_cast<size_t>(form)] ? kListPartWeight : 1.0;
        const Suggestion candidate{keys_->journalOfForm[static_cast<size_t>(form)],
                                   weight * shared / (q + b - shared)};
        if (candidate.similarity < floor)
            return;
        // A journal comes once, by its nearest form.
        const auto same = std::find_if(best.begin(), best.end(),
                                       [&](const Suggestion& s) { return s.journal == candidate.journal; });
        if (same != best.end()) {
            if (!before(candidate, *same))
                return;
            best.erase(same);
        }
        if (static_cast<int>(best.size()) == count) {
            if (!before(candidate, best.back()))
                return;
            best.pop_back();
        }
        best.insert(std::upper_bound(best.begin(), best.end(), candidate, before), candidate);
    };

    // What a journal must share, by its length, to reach the floor; over how many of the rarest
    // trigrams it is counted, and how many of them it must hold.
    const double t = std::max(0.0, floor);
    const int fewest = std::max(1, static_cast<int>(std::ceil(t * q - kRoom)));
    const int most = t > 0 ? static_cast<int>(std::min<double>(index.longest(), std::floor(q / t + kRoom)))
                           : index.longest();
    std::vector<int>& prefixOfLength = scratch.prefixOfLength;
    std::vector<int>& fewestHits = scratch.fewestHits;
    prefixOfLength.assign(static_cast<size_t>(std::max(0, most - fewest + 1)), 0);
    fewestHits.assign(prefixOfLength.size(), 0);
    for (int b = fewest; b <= most; ++b) {
        const int needed = std::max(1, static_cast<int>(std::ceil(t * (q + b) / (1 + t) - kRoom)));
        const int prefix = std::min(q, std::max(0, q - needed + 1 + kExtraCounted));
        prefixOfLength[static_cast<size_t>(b - fewest)] = prefix;
        // All but q - prefix of the shared trigrams are among those counted.
        fewestHits[static_cast<size_t>(b - fewest)] = needed > std::min(b, q) ? q + 1 : needed - (q - prefix);
    }

    // Counting: the k-th rarest trigram counts for the journals whose prefix reaches past k,
    // which are the journals up to a length that shrinks as k grows.
    int* const touchedStart = scratch.touched.data();
    int* touchedEnd = touchedStart;
    int longestCounted = most;
    for (int k = 0; k < q; ++k) {
        while (longestCounted >= fewest && prefixOfLength[static_cast<size_t>(longestCounted - fewest)] <= k)
            --longestCounted;
        if (longestCounted < fewest)
            break;
        const int id = byRarity[static_cast<size_t>(k)].second;
        if (id < 0)
            continue;
        // Without a branch: whether a journal is new to the count is a coin toss the processor
        // would mispredict half the time.
        for (const int rank : index.postingsOf(id, fewest, longestCounted)) {
            *touchedEnd = rank;
            touchedEnd += hits[rank]++ == 0;
        }
    }

    // The candidates: journals whose hits leave room for the floor (kept without a branch, as
    // counted), then the most each could share: its hits and every trigram past its prefix.
    int* const candidateStart = touchedEnd;
    int* candidateEnd = candidateStart;
    for (const int* r = touchedStart; r != touchedEnd; ++r) {
        const int b = index.trigramCount(*r);
        *candidateEnd = *r;
        candidateEnd += hits[*r] >= fewestHits[static_cast<size_t>(b - fewest)];
    }
    std::vector<std::pair<int, int>>& candidates = scratch.candidates;
    candidates.clear();
    for (const int* r = candidateStart; r != candidateEnd; ++r) {
        const int b = index.trigramCount(*r);
        const int shared = std::min(std::min(b, q), hits[*r] + q - prefixOfLength[static_cast<size_t>(b - fewest)]);
        const double bound = static_cast<double>(shared) / (q + b - shared);
        candidates.emplace_back(kBuckets - std::min(kBuckets, static_cast<int>(bound * kBuckets)), *r);
    }
    for (const int* r = touchedStart; r != touchedEnd; ++r)
        hits[*r] = 0;

    // Compared most promising first, by buckets of 1/kBuckets of the bound (bucket k holds bounds
    // below (kBuckets - k + 1) / kBuckets): once a bucket's top is below the threshold, nothing in
    // it or after it can enter.
    std::vector<int>& bucketStart = scratch.bucketStart;
    bucketStart.assign(kBuckets + 2, 0);
    for (const auto& [bucket, rank] : candidates)
        ++bucketStart[static_cast<size_t>(bucket) + 1];
    for (size_t k = 1; k < bucketStart.size(); ++k)
        bucketStart[k] += bucketStart[k - 1];
    std::vector<int>& byBound = scratch.byBound;
    byBound.resize(candidates.size());
    for (const auto& [bucket, rank] : candidates)
        byBound[static_cast<size_t>(bucketStart[static_cast<size_t>(bucket)]++)] = rank;
    // bucketStart[k] now ends bucket k.
    size_t next = 0;
    for (int bucket = 0; bucket <= kBuckets && next < byBound.size(); ++bucket) {
        const double top = static_cast<double>(kBuckets - bucket + 1) / kBuckets;
        if (top < threshold() - kRoom)
            break;
        for (; next < static_cast<size_t>(bucketStart[static_cast<size_t>(bucket)]); ++next)
            compare(byBound[next]);
    }

    for (const auto& [postingCount, id] : byRarity)
        if (id >= 0)
            inQuery[id] = 0;
    return best;
}

namespace {

// The similarity of two keys times `weight`, reckoned in the order the index search reckons it.
double weightedSimilarity(QStringView a, QStringView b, double weight)
{
    std::vector<Trigram> x;
    std::vector<Trigram> y;
    trigramsOfKey(a, x);
    trigramsOfKey(b, y);
    if (x.empty() || y.empty())
        return 0;
    std::vector<Trigram> shared;
    std::set_intersection(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(shared));
    const auto n = static_cast<int>(shared.size());
    return weight * n / static_cast<int>(x.size() + y.size() - shared.size());
}

} // namespace

double JournalMatcher::likeness(const QString& title, int journal) const
{
    if (!keys_ || journal < 0 || journal >= size())
        return 0;
    const QString whole = matchingKey(QStringView(title).left(kLongestQuery));
    const QStringView first = titleBeforeSubtitle(title);
    const QString part = first.isEmpty() ? QString() : matchingKey(first.left(kLongestQuery));
    double best = 0;
    for (int form = keys_->firstForm[static_cast<size_t>(journal)]; form < keys_->firstForm[static_cast<size_t>(journal) + 1];
         ++form) {
        const double weight = keys_->partForm[static_cast<size_t>(form)] ? kListPartWeight : 1.0;
        best = std::max(best, weightedSimilarity(whole, keys_->key(form), weight));
        if (!part.isEmpty())
            best = std::max(best, weightedSimilarity(part, keys_->key(form), weight) * kQueryPartWeight);
    }
    return best;
}

double JournalMatcher::similarity(const QString& a, const QString& b)
{
    std::vector<Trigram> x;
    std::vector<Trigram> y;
    trigramsOfKey(matchingKey(a), x);
    trigramsOfKey(matchingKey(b), y);
    if (x.empty() || y.empty())
        return 0;
    std::vector<Trigram> shared;
    std::set_intersection(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(shared));
    return static_cast<double>(shared.size()) / static_cast<double>(x.size() + y.size() - shared.size());
}

} // namespace vestrum::lists
