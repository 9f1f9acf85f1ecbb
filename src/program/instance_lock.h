#pragma once

#include <QString>

namespace vestrum {

// The lock file that lets one copy of the program run at a time. The external updater waits on the same
// lock for the program to end.
QString singleInstanceLockPath();

} // namespace vestrum
