#pragma once

#include <QString>

namespace vestrum {

// The text every writer shows when the file it would replace is marked read-only.
QString readOnlyTargetMessage();

// True when `path` exists and its mode denies its owner writing. Decided from the mode bits, not from a failed
// open: the owner of the folder may rename over any file, and root may write anything, yet a file the user
// marked read-only must stay as it is whoever runs the program.
bool isReadOnlyTarget(const QString& path);

} // namespace vestrum
