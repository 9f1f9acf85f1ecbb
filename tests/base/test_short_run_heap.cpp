// The heap of a headless command: blocks small and large, of the main thread and of a thread that asked, land in
// stretches the kernel was asked to back with large pages. Run in a child process: the setting holds for a whole
// process.
#include "base/short_run_heap.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Whether the mapping that holds `address` is advised for large pages ("hg" among its VmFlags).
bool inLargePageMapping(const void* address)
{
    const auto wanted = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t from = 0;
        std::uintptr_t to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-' && line.find(' ') != std::string::npos
            && line.find(':') > line.find(' ')) {
            inside = wanted >= from && wanted < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line.find(" hg") != std::string::npos;
        }
    }
    return false;
}

int childChecks()
{
    if (!vestrum::heap::PrepareForShortRun())
        return 10;
    // A process that ran before has free blocks of its own; what a command allocates in bulk is what counts.
    std::vector<void*> small(20000);
    for (void*& block : small)
        block = std::malloc(1000);
    void* large = std::malloc(std::size_t{8} << 20); // the usual heap would map this apart
    void* ofThread = nullptr;
    bool threadPrepared = false;
    std::thread([&] {
        threadPrepared = vestrum::heap::PrepareThreadForShortRun();
        ofThread = std::malloc(std::size_t{1} << 20);
    }).join();
    const int result = !inLargePageMapping(small.back()) ? 11
        : !inLargePageMapping(large)                     ? 12
        : !threadPrepared                                ? 13
        : !inLargePageMapping(ofThread)                  ? 14
                                                         : 0;
    for (void* block : small)
        std::free(block);
    std::free(large);
    std::free(ofThread);
    return result;
}

TEST(ShortRunHeap, BlocksOfTheMainThreadAndOfAPreparedThreadComeFromLargePageStretches)
{
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0)
        _exit(childChecks());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    // 10: not prepared; 11, 12: the last of many small blocks, a large one outside the stretch; 13: the thread's heap
    // not prepared; 14: the thread's block outside it.
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
