#include "lists/journal_matching.h"
#include "lists/journal_matching_internal.h"

#include <QHash>
#include <algorithm>
#include <numeric>

// The index of the list's journals: their whole keys by hash, for identification, and the trigram index the
// suggestions search, made on the first suggestion.
namespace vestrum::lists {
namespace matching {
namespace {

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

} // namespace

void HashedJournals::build(const std::vector<Entry>& entries)
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

std::vector<int> HashedJournals::find(quint64 hash) const
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

TrigramIds::TrigramIds() { resize(1 << 14); }

int TrigramIds::find(Trigram trigram) const
{
    for (size_t slot = slotOf(trigram);; slot = (slot + 1) & mask_) {
        if (keys_[slot] == trigram)
            return ids_[slot];
        if (keys_[slot] == kFree)
            return -1;
    }
}

int TrigramIds::findOrAdd(Trigram trigram, int next)
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

size_t TrigramIds::slotOf(Trigram trigram) const { return static_cast<size_t>(mixed(trigram)) & mask_; }

void TrigramIds::resize(size_t capacity)
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

} // namespace matching

using matching::forEachTrigram;
using matching::HashedJournals;
using matching::hashOf;
using matching::issnCode;
using matching::lowerCase;
using matching::mixed;
using matching::Trigram;
using matching::writeMatchingKey;

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

} // namespace vestrum::lists
