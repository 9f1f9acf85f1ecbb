#pragma once

// The folders a load or a headless command unpacks a data file into, and the clearing of those that a killed
// process left behind. They are named as every staged file is (archive/staged_files.h).

#include "archive/staged_files.h"

#include <QString>
#include <QTemporaryDir>

namespace vestrum::tempfiles {

// Removes from `folder` (not from its subfolders) the temporary files, and the folders a load or a command
// unpacked into, that no running copy owns. Returns how many were removed. Nothing else is touched.
int removeAbandoned(const QString& folder);

// A private folder for the scratch files of one headless command, in the system's temporary folder under the
// program's pattern, removed with everything in it when it goes out of scope. Making one first clears the
// folders and files there that commands killed earlier left behind.
class ScratchFolder : public QTemporaryDir {
public:
    ScratchFolder();
};

} // namespace vestrum::tempfiles
