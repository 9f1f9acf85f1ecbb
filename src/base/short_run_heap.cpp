#include "base/short_run_heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

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

char* programBreak()
{
    return static_cast<char*>(sbrk(0));
}

// Allocates from the heap until it grows past its end; the first block that made it grow is returned (to be
// freed once the new stretch is advised), null when it never grew.
void* growHeap()
{
    const char* before = programBreak();
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
    // One arena: a thread's own arena would grow in small steps of fresh 4 KiB pages.
    if (mallopt(M_ARENA_MAX, 1) == 0 || mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock) == 0
        || mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapStretch)) == 0
        || mallopt(M_TOP_PAD, static_cast<int>(kHeapStretch)) == 0)
        return false;
    const char* start = programBreak();
    void* grown = growHeap();
    if (grown == nullptr)
        return false;
    const auto from = (reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
    const auto to = reinterpret_cast<std::uintptr_t>(programBreak()) & ~(kLargePage - 1);
    const bool advised = to > from && madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) == 0;
    std::free(grown);
    return advised;
}

} // namespace vestrum::heap
