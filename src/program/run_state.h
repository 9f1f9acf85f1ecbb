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

// State of the running program, read and written by many modules. Paths use "/" and
// ProgramFolder always ends with one.
struct RunState {
    QString ProgramFolder;
    QString DatabasePath;
    QString HelpFile;
    QString CurrentDataFile;
    bool DataSaved = false;
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

    QString journalListPath() const { return ProgramFolder + QStringLiteral("dane/lista_czasopism.mdb"); }
    QString settingsPath() const { return ProgramFolder + QStringLiteral("ankieta.ini"); }
    QString archiveFolder() const { return ProgramFolder + QStringLiteral("archiwum/"); }
};

// Program folder of a path: always ends with "/".
QString withTrailingSlash(const QString& folder);

} // namespace vestrum
