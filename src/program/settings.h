#pragma once

#include "program/run_state.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace vestrum {

class Program;

// A settings file of "[section]" headers and "key=value" lines. Section and key names are
// matched without regard to letter case, the file keeps its order and spelling when rewritten,
// and values are stored verbatim (no escaping), so a file edited by hand stays readable.
class IniFile {
public:
    // Reads the file; a missing or unreadable file leaves an empty ini. Returns whether it was read.
    bool load(const QString& path);
    void parse(const QString& text);

    bool contains(const QString& section, const QString& key) const;
    QString value(const QString& section, const QString& key, const QString& fallback = {}) const;
    // A whole number; the fallback when the key is missing or its value is not a number.
    int intValue(const QString& section, const QString& key, int fallback) const;
    void setValue(const QString& section, const QString& key, const QString& value);

    QStringList sections() const;
    bool hasSection(const QString& section) const;

    QString toText() const;
    // Writes a temporary file beside the target and renames it over the target, so a crash leaves
    // the old or the new file whole. Throws vestrum::Error on failure.
    void save(const QString& path) const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
    };
    const Section* findSection(const QString& name) const;
    Section& sectionFor(const QString& name);

    QList<Section> sections_;
};

// Section names of the eight remembered windows, in the order of RememberedWindow.
QString windowSectionName(RememberedWindow window);

// Reads "ankieta.ini" in state.ProgramFolder into the run state. Missing keys give the defaults;
// a value that is not a number falls back to its own default while every other value is still
// read, so a damaged file never stops the program from starting.
void ReadSettings(RunState& state);
// Same, from a given ini (tests and callers that already hold the file).
void ReadSettings(RunState& state, const IniFile& ini);

// The font the settings file at `settingsPath` names, the program's default where it names none or
// cannot be read: what a headless command prints in, as the program would.
UserFontSpec ReadUserFont(const QString& settingsPath);

// Stores the settings into "ankieta.ini", keeping whatever else the file holds. Throws
// vestrum::Error when the file cannot be written.
void WriteSettings(const RunState& state);
void WriteSettings(const RunState& state, IniFile& ini);

// A save of a section or list whose record of unsaved work (RecordUnsavedWork) could not be written tells the
// user so, once per run: after a crash such changes could be lost.
QString unwritableSettingsMessage(const QString& settingsPath);
void ReportUnwritableSettings(Program& program);

// Writes one installed component's version into "ankieta.ini" at once (the update installs a
// component and records it before anything else can fail).
void StoreComponentVersion(RunState& state, const QString& component, const QString& version);

// "Panels" of the entry dialog: items "name=height;". The stored name is the panel's name with
// every "Panel" shortened to "p"; parsePanels gives the panels' real names back. Items whose
// height is not a number are skipped.
QList<QPair<QString, int>> parsePanels(const QString& text);
QString formatPanels(const QList<QPair<QString, int>>& panels);

// "Messages"/"visible": flag 1 first, one digit each.
QString formatMessageFlags(const MessageFlags& flags);
// Characters that are not 0, 1 or 2, and missing ones, leave the message shown (flag 1).
MessageFlags parseMessageFlags(const QString& digits);

} // namespace vestrum
