#include "lists/journal_matching.h"
#include "lists/journal_matching_internal.h"

#include <algorithm>
#include <cmath>
#include <iterator>

// The suggestions for a title that is not identified: the nearest journals by trigram similarity, searched in
// the trigram index, and the likeness of a title to one journal.
namespace vestrum::lists {

using matching::forEachTrigram;
using matching::kLongestQuery;
using matching::Trigram;

namespace {

// The trigrams of a key as a sorted set, in `trigrams` (reused by the searches).
void trigramsOfKey(QStringView key, std::vector<Trigram>& trigrams)
{
    trigrams.clear();
    forEachTrigram(key, [&trigrams](Trigram t) { trigrams.push_back(t); });
    std::sort(trigrams.begin(), trigrams.end());
    trigrams.erase(std::unique(trigrams.begin(), trigrams.end()), trigrams.end());
}

bool before(const Suggestion& a, const Suggestion& b)
{
    return a.similarity != b.similarity ? a.similarity > b.similarity : a.journal < b.journal;
}

} // namespace

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
