#pragma once

// Data files (*.naj): an archive holding one member, ankieta.mdb, a copy of the working database. Restore points
// (*.nar) are the same. What every room of this folder shares: the member's name, the refusal a user must read as
// such, the progress of a long operation.
//
// The rooms, bottom to top (each includes only those before it): data_file, scratch_folders, survey_file,
// restore_point_names, damaged, data_file_lock, save, load, restore_points, merge_table, merge, working_data.

#include "base/error.h"

#include <QString>

namespace vestrum::datafiles {

// A save refused for a reason the user must read as such (a read-only file, damaged working data, a restore
// point named as the target), rather than as the general notice that the file was not saved.
class SaveRefused : public Error {
public:
    using Error::Error;
};

// What a long operation reports while it runs; the window shows it in the progress window, tests count it.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void start(const QString& caption, const QString& label, int maximum) = 0;
    virtual void step(const QString& label) = 0;
    virtual void finish() = 0;
};

class NoProgress final : public Progress {
public:
    void start(const QString&, const QString&, int) override {}
    void step(const QString&) override {}
    void finish() override {}
};

// The one member of a data file and of a restore point.
QString memberName();
// ProgramFolder + "dane.tmp", the folder the earlier versions unpacked into. A load now unpacks into a folder of
// its own (see LoadDataFile) and never touches this one.
QString temporaryFolder(const QString& programFolder);

} // namespace vestrum::datafiles
