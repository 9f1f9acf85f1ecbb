#pragma once

// Every flock() of the test program passes through one point that a test can watch, so that a writer can be
// held still at the very moment it asks for the lock of a file it has opened: the moment another writer's
// rename may slip in between.

#include <functional>

namespace vestrum::testing {

// Called before each flock() of this process with its descriptor and operation; empty for none. Set it only in
// a child process made for the test.
extern std::function<void(int descriptor, int operation)> beforeFlock;

} // namespace vestrum::testing
