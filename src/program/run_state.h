#pragma once

#include "program/messages.h"

#include <QMap>
#include <QString>
#include <array>

namespace vestrum {

struct UserFontSpec {
    QString name = QStringLiteral("Arial");
    int size = 12;
    bool operator==(const UserFontSpec&) const = default;
};

// Remembered bounds of one of the eight windows that keep their place between runs.
struct WindowMemory {
    int height = 400;
    int width = 600;
    int left = 0;
    int top = 0;
    bool maximized = false;
    bool operator==(const WindowMemory&) const = default;
};

// The eight remembered windows, in the fixed order of the settings file.
enum class RememberedWindow {
    Popupy = 0,       // entry dialog, section "f_popupy"
    Wykazy,           // list editor
    ImportWykazu,     // text import
    ListaMnii,        // journal-list search
    Laczenie,         // data merge
    Wydruk,           // print selection
    Podglad,          // text preview
    Edit,             // long-text viewer
};
constexpr int RememberedWindowCount = 8;

struct RunState;
class IniFile;

// Where the data of a run live: `dane/`, `archiwum/`, `tmp/` and `ankieta.ini` (decided at start from the
// program folder, program/data_home.h).
enum class DataHomeKind {
    ProgramFolder,         // beside the executables: a portable program folder, as always
    Installed,             // a package's program folder ("vestrum.ini"): each user's own folder
    ReadOnlyProgramFolder, // a program folder the user cannot write: the user's own folder too
};

// Whether the working database holds nothing that is missing from a data file. Read like a bool; changed only
// through SetDataSaved, which also keeps the record in "ankieta.ini" that survives a crash.
class DataSavedFlag {
public:
    operator bool() const { return saved_; } // NOLINT(google-explicit-constructor): read as the flag it is
    // What "ankieta.ini" holds as far as this run knows: true when it records changes that are in no data
    // file. At start-up this is what the previous run left behind.
    bool unsavedRecorded() const { return unsavedRecorded_; }

private:
    friend bool SetDataSaved(RunState& state, bool saved);
    friend bool RecordUnsavedWork(RunState& state);
    friend void ReadSettings(RunState& state, const IniFile& ini);
    bool saved_ = false;
    bool unsavedRecorded_ = false;
};

// State of the running program, read and written by many modules. Paths use "/" and
// ProgramFolder and DataFolder always end with one.
struct RunState {
    QString ProgramFolder; // the executables, the updater and the help: read only, in an installed program
    QString DataFolder;    // the working data, settings, restore points and update files; empty: ProgramFolder
    DataHomeKind DataHome = DataHomeKind::ProgramFolder;
    QString DatabasePath;
    QString HelpFile;
    QString CurrentDataFile;
    DataSavedFlag DataSaved; // changed only through SetDataSaved
    bool StartingDataMode = false;
    bool NewDataFlag = false;
    bool PendingEdit = false;
    UserFontSpec UserFont;
    MessageFlags Flags;
    int ReportingYear = 2008;
    std::array<WindowMemory, RememberedWindowCount> Windows{};
    QString PopupPanels;               // "Panels" of the entry dialog, as stored
    QMap<QString, QString> ComponentVersions; // installed component -> "a.b.c.d"
    QMap<QString, QString> ComponentFiles;    // installed component -> its "Obiekt" path
    bool UnwritableSettingsReported = false;  // the user has been told once that "ankieta.ini" cannot be written

    QString dataFolder() const { return DataFolder.isEmpty() ? ProgramFolder : DataFolder; }
    // Nothing may be written into the program folder: a package manager owns it, or the user cannot write it.
    bool keepsOutOfProgramFolder() const { return DataHome != DataHomeKind::ProgramFolder; }
    QString journalListPath() const { return dataFolder() + QStringLiteral("dane/lista_czasopism.mdb"); }
    QString settingsPath() const { return dataFolder() + QStringLiteral("ankieta.ini"); }
    QString archiveFolder() const { return dataFolder() + QStringLiteral("archiwum/"); }
};

// The one way DataSaved changes. When the record in "ankieta.ini" of changes that are in no data file has to
// change with it, the file is written at once: settings are otherwise written at close, and this record exists
// for the runs that never get there. Returns false when the record could not be written (the flag is set all
// the same, and the next change tries again); with no program folder nothing is written.
bool SetDataSaved(RunState& state, bool saved);

// Writes the record of changes that are in no data file before a section or list save commits (DataSaved itself
// is cleared by the save once committed): a run killed between the commit and the record would otherwise start
// next time believing nothing is missing, and load a data file over the edit. False when "ankieta.ini" could not
// be written.
bool RecordUnsavedWork(RunState& state);

// Program folder of a path: always ends with "/".
QString withTrailingSlash(const QString& folder);

} // namespace vestrum
