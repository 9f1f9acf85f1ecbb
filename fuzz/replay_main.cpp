// The driver of a fuzz target in the ordinary build (no libFuzzer): it feeds every seed named on the command line
// (a file, or a folder whose files are taken in name order) once to LLVMFuzzerTestOneInput. It fails when there is
// no seed, when a seed cannot be read, when the target crashes on a seed, or when one seed takes more than 2 s of
// processor time. Processor time rather than the clock, so a test machine busy with other work does not fail it;
// a seed that waits instead of working is stopped by the clock after 20 s, as libFuzzer's own timeout does.
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

constexpr int kProcessorSecondsPerSeed = 2;
constexpr int kClockSecondsPerSeed = 20;

// The seed being run and the limit's text, for the signal handlers (which may not allocate).
char runningSeed[4096] = "";
char limitText[128] = "";

void writeError(const char* text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, text, left);
        if (written <= 0)
            return;
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

extern "C" void onTooSlow(int)
{
    writeError("fuzz replay: the seed ");
    writeError(runningSeed);
    writeError(" took longer than ");
    writeError(limitText);
    writeError("\n");
    _exit(1);
}

// Names the seed, then lets the signal end the process as it would have without the handler.
extern "C" void onCrash(int crashSignal)
{
    writeError("fuzz replay: the target crashed on the seed ");
    writeError(runningSeed);
    writeError("\n");
    raise(crashSignal);
}

void installHandlers()
{
    struct sigaction slow {};
    slow.sa_handler = onTooSlow;
    sigaction(SIGPROF, &slow, nullptr);
    sigaction(SIGALRM, &slow, nullptr);

    struct sigaction crash {};
    crash.sa_handler = onCrash;
    crash.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (const int crashSignal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(crashSignal, &crash, nullptr);
}

void armWatchdog(bool armed)
{
    itimerval processor {};
    processor.it_value.tv_sec = armed ? kProcessorSecondsPerSeed : 0;
    setitimer(ITIMER_PROF, &processor, nullptr);
    alarm(armed ? kClockSecondsPerSeed : 0);
}

std::vector<std::filesystem::path> seedFiles(int argc, char** argv)
{
    std::vector<std::filesystem::path> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path named(argv[i]);
        if (!std::filesystem::is_directory(named)) {
            seeds.push_back(named);
            continue;
        }
        std::vector<std::filesystem::path> inFolder;
        for (const auto& entry : std::filesystem::directory_iterator(named)) {
            if (entry.is_regular_file())
                inFolder.push_back(entry.path());
        }
        std::sort(inFolder.begin(), inFolder.end());
        seeds.insert(seeds.end(), inFolder.begin(), inFolder.end());
    }
    return seeds;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::filesystem::path> seeds = seedFiles(argc, argv);
    if (seeds.empty()) {
        std::fprintf(stderr, "fuzz replay: no seed given (usage: %s SEED-FILE-OR-FOLDER...)\n", argv[0]);
        return 1;
    }
    std::snprintf(limitText, sizeof limitText, "%d s of processor time or %d s in all", kProcessorSecondsPerSeed,
                  kClockSecondsPerSeed);
    installHandlers();
    for (const std::filesystem::path& seed : seeds) {
        std::ifstream file(seed, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "fuzz replay: cannot read the seed %s\n", seed.c_str());
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::snprintf(runningSeed, sizeof runningSeed, "%s", seed.c_str());
        armWatchdog(true);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        armWatchdog(false);
    }
    std::printf("fuzz replay: %zu seeds, none crashed or took longer than %s\n", seeds.size(), limitText);
    return 0;
}
