#pragma once

// Where the users' data live. A program folder written by its user (a portable copy, `make run`) keeps them
// beside the executables, as always. A program folder installed by a package carries "vestrum.ini" with
// "[Instalacja] Dane=uzytkownik": each user's data then live in the user's own folder, and nothing is ever
// written into the program folder. A program folder the user cannot write is treated alike, and its data are
// taken over into the user's folder on the first start there.
//
// Every writer asks this one rule: the program's start, the update, the headless commands.

#include "program/run_state.h"

#include <QString>

namespace vestrum {

class Program;

struct DataHome {
    DataHomeKind kind = DataHomeKind::ProgramFolder;
    QString dataFolder; // ends with "/"
};

// The program folder's file that sends the data to the user's folder.
QString installationSettingsName();

// The user's own data folder: $XDG_DATA_HOME/vestrum, else ~/.local/share/vestrum (ends with "/").
QString userDataFolder();

// Whether the program may write into `folder`. Decided without writing anything: the folder must let its owner
// write (as a read-only file is decided, also for root) and the system must let this user write there (a
// read-only mount stops root too).
bool isWritableFolder(const QString& folder);

// The data home of a program folder. Reads "vestrum.ini" and looks at the folder; makes nothing.
DataHome DecideDataHome(const QString& programFolder);

// The data folder of the program folder of the running headless command or program (ends with "/").
QString DataFolderOf(const QString& programFolder);

// The survey holds names and amounts: in the user's own data folder (an installed program, or one taken over from
// a program folder the user cannot write) it is the user's alone. Makes the data folder and its dane/, archiwum/
// and tmp/ 0700, whatever the umask; a data folder found open to others (made by an earlier version, or by a
// headless command before the program's first start) is narrowed once, silently, with those folders and the files
// of the program in them (settings, lock, databases, restore points) closed to others. A data folder already closed
// is left as the user keeps it. A portable program folder is not touched: the users who share it share its lock.
// Runs once the data folder's lock is held: a lock made before it, by a first start, is narrowed with the rest.
void KeepUserDataPrivate(const RunState& state);

// The folders of a data folder the program makes.
QStringList dataSubfolders();

// The notice of the first start on a program folder the user cannot write. `copied` names what was taken over.
QString readOnlyProgramFolderNotice(const QString& programFolder, const QString& dataFolder, const QStringList& copied);

// First start on a program folder the user cannot write: "dane/ankieta.mdb" and "ankieta.ini" found in the
// program folder are copied into the user's data folder where it has none of its own (the user's own files are
// never replaced), and the user is told once where the data now live; the user's settings remember that. Does
// nothing in any other data home. Returns the files copied.
QStringList AdoptProgramFolderData(Program& program);

} // namespace vestrum
