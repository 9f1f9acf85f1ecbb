#include "lists/journal_matching.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <span>
#include <unordered_map>

namespace vestrum::lists {
namespace {

bool isWordLetter(QChar ch)
{
    return ch.isLetterOrNumber() || ch.category() == QChar::Mark_NonSpacing;
}

// The key is written in one pass (it is made for every journal of the list and every row of an
// import): each word goes straight into the key and is looked at when it ends.
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

// The trigrams of a key, each word padded with two blanks in front and one behind (so that short
// words and the beginnings of words weigh in), as a sorted set.
std::vector<Trigram> trigramsOfKey(QStringView key)
{
    std::vector<Trigram> trigrams;
    for (const QStringView word : key.split(u' ', Qt::SkipEmptyParts)) {
        QChar a = u' ';
        QChar b = u' ';
        for (const QChar c : word) {
            trigrams.push_back(trigramOf(a, b, c));
            a = b;
            b = c;
        }
        trigrams.push_back(trigramOf(a, b, u' '));
    }
    std::sort(trigrams.begin(), trigrams.end());
    trigrams.erase(std::unique(trigrams.begin(), trigrams.end()), trigrams.end());
    return trigrams;
}

void addTo(QHash<QString, std::vector<int>>& index, const QString& key, int journal)
{
    if (key.isEmpty())
        return;
    std::vector<int>& journals = index[key];
    if (journals.empty() || journals.back() != journal)
        journals.push_back(journal);
}

const std::vector<int>* find(const QHash<QString, std::vector<int>>& index, const QString& key)
{
    if (key.isEmpty())
        return nullptr;
    const auto it = index.constFind(key);
    return it == index.constEnd() ? nullptr : &*it;
}

bool before(const Suggestion& a, const Suggestion& b)
{
    return a.similarity != b.similarity ? a.similarity > b.similarity : a.journal < b.journal;
}

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
    auto isDash = [](QChar ch) { return ch == u'-' || ch == u'\u2010' || ch == u'\u2011' || ch == u'\u2013'; };
    QString digits;
    qsizetype i = 0;
    // A label in front ("ISSN", "e-ISSN:") is passed over.
    while (i < text.size() && !(text[i].isDigit() && text[i].unicode() < 0x80))
        ++i;
    for (; i < text.size() && digits.size() < 8; ++i) {
        const QChar ch = text[i];
        if (ch.isDigit() && ch.unicode() < 0x80)
            digits += ch;
        else if ((ch == u'x' || ch == u'X') && digits.size() == 7)
            digits += u'X';
        else if (!(isDash(ch) && digits.size() == 4) && !ch.isSpace())
            return {};
    }
    // Eight characters and then no further digit: "123456789" is no ISSN.
    if (digits.size() != 8 || (i < text.size() && (text[i].isLetterOrNumber())))
        return {};
    return digits;
}

QString matchingKey(QStringView title)
{
    QString key;
    key.reserve(title.size());
    qsizetype wordStart = -1; // where the word being written began, -1 between words
    for (const QChar ch : title) {
        if (isWordLetter(ch)) {
            if (wordStart < 0)
                startWord(key, wordStart);
            key += ch.toLower();
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
    return key;
}

// The trigrams of every journal's key, and for each trigram the journals that have it: a query
// visits only the journals that share a rare trigram with it.
struct JournalMatcher::TrigramIndex {
    std::vector<int> journalStart;      // journal i's trigram ids: journalTrigrams[journalStart[i]..[i+1])
    std::vector<int> journalTrigrams;   // sorted ids
    std::vector<int> postingStart;      // trigram t's journals: postings[postingStart[t]..[t+1])
    std::vector<int> postings;
    std::unordered_map<Trigram, int> idOf;

    int trigramCount(int journal) const
    {
        return journalStart[static_cast<size_t>(journal) + 1] - journalStart[static_cast<size_t>(journal)];
    }
    int postingCount(int id) const
    {
        return postingStart[static_cast<size_t>(id) + 1] - postingStart[static_cast<size_t>(id)];
    }
};

JournalMatcher::JournalMatcher(std::vector<ListedJournal> journals) : journals_(std::move(journals))
{
    byTitle_.reserve(static_cast<qsizetype>(journals_.size()));
    byKey_.reserve(static_cast<qsizetype>(journals_.size()));
    for (size_t i = 0; i < journals_.size(); ++i) {
        const ListedJournal& journal = journals_[i];
        const int index = static_cast<int>(i);
        addTo(byIssn_, issnKey(journal.issn), index);
        addTo(byIssn_, issnKey(journal.eissn), index); // often the same as the ISSN: counted once
        addTo(byTitle_, journal.name.trimmed().toLower(), index);
        addTo(byKey_, matchingKey(journal.name), index);
    }
}

JournalMatcher::~JournalMatcher() = default;
JournalMatcher::JournalMatcher(JournalMatcher&&) noexcept = default;
JournalMatcher& JournalMatcher::operator=(JournalMatcher&&) noexcept = default;

JournalMatch JournalMatcher::match(const QString& title, const QString& issn) const
{
    JournalMatch result;
    auto decide = [&result](const std::vector<int>* found, MatchKind kind) {
        if (found == nullptr)
            return false;
        if (found->size() == 1) {
            result = {kind, *found};
            return true;
        }
        if (result.kind == MatchKind::None)
            result = {MatchKind::Ambiguous, *found}; // unless a later step names exactly one
        return false;
    };
    if (decide(find(byIssn_, issnKey(issn)), MatchKind::Issn))
        return result;
    const QString trimmed = title.trimmed();
    if (trimmed.isEmpty())
        return result;
    if (decide(find(byTitle_, trimmed.toLower()), MatchKind::Title))
        return result;
    // Several journals under one title stay ambiguous: the key would only add more.
    if (result.kind == MatchKind::Ambiguous && find(byTitle_, trimmed.toLower()) != nullptr)
        return result;
    decide(find(byKey_, matchingKey(trimmed)), MatchKind::Key);
    return result;
}

void JournalMatcher::prepareSuggestions() const
{
    if (!building_)
        building_ = std::make_unique<std::mutex>();
    const std::lock_guard lock(*building_);
    if (trigrams_)
        return;
    auto index = std::make_unique<TrigramIndex>();
    std::vector<std::vector<Trigram>> perJournal(journals_.size());
    size_t total = 0;
    for (size_t i = 0; i < journals_.size(); ++i) {
        perJournal[i] = trigramsOfKey(matchingKey(journals_[i].name));
        total += perJournal[i].size();
    }
    // Ids in order of first appearance; each journal's ids sorted for the look-ups.
    std::vector<int> postingCounts;
    index->journalStart.reserve(journals_.size() + 1);
    index->journalTrigrams.reserve(total);
    index->journalStart.push_back(0);
    for (const std::vector<Trigram>& trigrams : perJournal) {
        const size_t start = index->journalTrigrams.size();
        for (const Trigram t : trigrams) {
            const auto [it, added] = index->idOf.try_emplace(t, static_cast<int>(postingCounts.size()));
            if (added)
                postingCounts.push_back(0);
            ++postingCounts[static_cast<size_t>(it->second)];
            index->journalTrigrams.push_back(it->second);
        }
        std::sort(index->journalTrigrams.begin() + static_cast<std::ptrdiff_t>(start), index->journalTrigrams.end());
        index->journalStart.push_back(static_cast<int>(index->journalTrigrams.size()));
    }
    index->postingStart.assign(postingCounts.size() + 1, 0);
    for (size_t t = 0; t < postingCounts.size(); ++t)
        index->postingStart[t + 1] = index->postingStart[t] + postingCounts[t];
    index->postings.resize(total);
    std::vector<int> fill(index->postingStart.begin(), index->postingStart.end() - 1);
    for (size_t j = 0; j < journals_.size(); ++j)
        for (int k = index->journalStart[j]; k < index->journalStart[j + 1]; ++k)
            index->postings[static_cast<size_t>(fill[static_cast<size_t>(index->journalTrigrams[static_cast<size_t>(k)])]++)] =
                static_cast<int>(j); // journals in list order within each posting list
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

// Jaccard similarity J = |Q∩B| / |Q∪B| of trigram sets. A journal with J >= t shares at least
// ceil(t|Q|) trigrams with the query, so it holds one of the |Q| - ceil(t|Q|) + 1 rarest trigrams of
// the query: only the journals of those posting lists are counted, and the common trigrams ("jou",
// " of") are checked for the few journals whose bound can still reach the best found so far.
std::vector<Suggestion> JournalMatcher::nearest(const QString& title, int count, double floor) const
{
    std::vector<Suggestion> best;
    if (count <= 0 || journals_.empty())
        return best;
    if (!trigrams_)
        prepareSuggestions();
    const TrigramIndex& index = *trigrams_;

    // A pasted page is not a title: the first characters are plenty to find a journal by.
    const std::vector<Trigram> query = trigramsOfKey(matchingKey(QStringView(title).left(kLongestQuery)));
    const int q = static_cast<int>(query.size());
    if (q == 0)
        return best;
    // Trigrams no journal has count in |Q| but cost nothing; they sort first as the rarest.
    std::vector<std::pair<int, int>> byRarity; // (posting count, id or -1)
    byRarity.reserve(query.size());
    for (const Trigram t : query) {
        const auto it = index.idOf.find(t);
        byRarity.emplace_back(it == index.idOf.end() ? 0 : index.postingCount(it->second),
                              it == index.idOf.end() ? -1 : it->second);
    }
    std::sort(byRarity.begin(), byRarity.end());

    const int needed = std::max(1, static_cast<int>(std::ceil(floor * q - 1e-9)));
    const int prefix = q - needed + 1;

    // Scratch space of the thread, reached through plain references inside the loops.
    thread_local std::vector<quint16> hitsOfThread;
    thread_local std::vector<int> touchedOfThread;
    std::vector<quint16>& hitVector = hitsOfThread;
    if (hitVector.size() < journals_.size()) {
        hitVector.assign(journals_.size(), 0);
        touchedOfThread.resize(journals_.size()); // room for every journal: written without checks
    }
    quint16* const hits = hitVector.data();
    int* const touchedStart = touchedOfThread.data();
    int* touchedEnd = touchedStart;
    for (int k = 0; k < prefix; ++k) {
        const int id = byRarity[static_cast<size_t>(k)].second;
        if (id < 0)
            continue;
        const int* posting = index.postings.data() + index.postingStart[static_cast<size_t>(id)];
        const int* const end = index.postings.data() + index.postingStart[static_cast<size_t>(id) + 1];
        for (; posting != end; ++posting) {
            if (hits[*posting]++ == 0)
                *touchedEnd++ = *posting;
        }
    }
    const std::span<const int> touched(touchedStart, touchedEnd);
    // The common trigrams, sorted, for a walk beside each candidate's own sorted trigrams.
    std::vector<int> common;
    for (int k = prefix; k < q; ++k)
        if (byRarity[static_cast<size_t>(k)].second >= 0)
            common.push_back(byRarity[static_cast<size_t>(k)].second);
    std::sort(common.begin(), common.end());

    auto threshold = [&] {
        return static_cast<int>(best.size()) < count ? floor : std::max(floor, best.back().similarity);
    };
    // Journals with the most hits first: the best are found early, and once even a journal holding
    // every remaining trigram could not reach the best found, the rest are left unseen.
    thread_local std::vector<int> bucketsOfThread;
    thread_local std::vector<int> byHitsOfThread;
    std::vector<int>& bucketStart = bucketsOfThread;
    std::vector<int>& byHits = byHitsOfThread;
    bucketStart.assign(static_cast<size_t>(prefix) + 2, 0);
    for (const int journal : touched)
        ++bucketStart[static_cast<size_t>(prefix - hits[journal]) + 1];
    for (size_t k = 1; k < bucketStart.size(); ++k)
        bucketStart[k] += bucketStart[k - 1];
    byHits.resize(touched.size());
    for (const int journal : touched)
        byHits[static_cast<size_t>(bucketStart[static_cast<size_t>(prefix - hits[journal])]++)] =
            journal;
    const int rest = q - prefix;
    for (const int journal : byHits) {
        const int counted = hits[journal];
        if (static_cast<double>(counted + rest) / q < threshold())
            break; // |Q∪B| >= |Q|: no journal further on can do better
        const int b = index.trigramCount(journal);
        const int bound = std::min(b, counted + (q - prefix));
        if (static_cast<double>(bound) / (q + b - bound) < threshold())
            continue;
        const int* own = index.journalTrigrams.data() + index.journalStart[static_cast<size_t>(journal)];
        const int* const ownEnd = own + b;
        int shared = counted;
        for (auto c = common.begin(); c != common.end() && own != ownEnd;) {
            if (*c < *own) {
                ++c;
            } else if (*own < *c) {
                ++own;
            } else {
                ++shared;
                ++c;
                ++own;
            }
        }
        const Suggestion candidate{journal, static_cast<double>(shared) / (q + b - shared)};
        if (candidate.similarity < floor)
            continue;
        if (static_cast<int>(best.size()) == count) {
            if (!before(candidate, best.back()))
                continue;
            best.pop_back();
        }
        best.insert(std::upper_bound(best.begin(), best.end(), candidate, before), candidate);
    }
    for (const int journal : touched)
        hits[journal] = 0;
    return best;
}

double JournalMatcher::similarity(const QString& a, const QString& b)
{
    const std::vector<Trigram> x = trigramsOfKey(matchingKey(a));
    const std::vector<Trigram> y = trigramsOfKey(matchingKey(b));
    if (x.empty() || y.empty())
        return 0;
    std::vector<Trigram> shared;
    std::set_intersection(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(shared));
    return static_cast<double>(shared.size()) / static_cast<double>(x.size() + y.size() - shared.size());
}

} // namespace vestrum::lists
