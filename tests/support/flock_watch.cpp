#include "support/flock_watch.h"

#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vestrum::testing {

std::function<void(int descriptor, int operation)> beforeFlock;

} // namespace vestrum::testing

// Takes the C library's place for the whole test program; the lock itself is the system call it would make.
extern "C" int flock(int descriptor, int operation) noexcept
{
    if (vestrum::testing::beforeFlock)
        vestrum::testing::beforeFlock(descriptor, operation);
    return static_cast<int>(::syscall(SYS_flock, descriptor, operation));
}
