#include "base/short_run_heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace vestrum::heap {
namespace {

// Address space the heap takes at once: more than any headless command keeps in use.
constexpr std::size_t kHeapStretch = std::size_t{256} << 20;
// Blocks up to this size come from the heap too, and so from its large pages (the usual limit is 128 KiB).
constexpr int kLargestHeapBlock = 32 << 20;
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
// glibc reserves a thread's heap as a stretch of this size aligned to its size, its own records first.
constexpr std::uintptr_t kThreadHeapSize = std::uintptr_t{64} << 20;

std::atomic<bool> prepared{false};

std::uintptr_t programBreak()
{
    return reinterpret_cast<std::uintptr_t>(sbrk(0));
}

bool adviseLargePages(std::uintptr_t from, std::uintptr_t to)
{
    from = (from + kLargePage - 1) & ~(kLargePage - 1);
    to &= ~(kLargePage - 1);
    return to > from && madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) == 0;
}

// Allocates from the heap until it grows past its end; the first block that made it grow is returned (to be
// freed once the new stretch is advised), null when it never grew.
void* growHeap()
{
    const std::uintptr_t before = programBreak();
    for (std::size_t probe = std::size_t{1} << 20; probe <= std::size_t{16} << 20; probe *= 2) {
        void* block = std::malloc(probe);
        if (block == nullptr)
            return nullptr;
        if (programBreak() != before)
            return block;
        std::free(block);
    }
    return nullptr;
}

} // namespace

bool PrepareForShortRun()
{
    if (mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock) == 0
        || mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapStretch)) == 0
        || mallopt(M_TOP_PAD, static_cast<int>(kHeapStretch)) == 0)
        return false;
    const std::uintptr_t start = programBreak();
    void* grown = growHeap();
    if (grown == nullptr)
        return false;
    const std::uintptr_t end = programBreak();
    const bool advised = adviseLargePages(start, end);
    std::free(grown);
    prepared = advised;
    return advised;
}

bool PrepareThreadForShortRun()
{
    if (!prepared)
        return false;
    void* probe = std::malloc(1);
    const auto address = reinterpret_cast<std::uintptr_t>(probe);
    std::free(probe);
    // A thread given the main heap (there is a limit on heaps) has nothing of its own; the main heap lies below the
    // program break, the heaps of threads are mapped far above it.
    if (address == 0 || address < programBreak())
        return false;
    const std::uintptr_t start = address & ~(kThreadHeapSize - 1);
    return adviseLargePages(start, start + kThreadHeapSize);
}

} // namespace vestrum::heap
