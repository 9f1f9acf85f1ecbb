#include "program/settings.h"

#include "base/error.h"
#include "base/codepage.h"
#include "base/file_modes.h"
#include "program/program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace vestrum {
namespace {

const QString kDane = QStringLiteral("Dane");
const QString kObiekt = QStringLiteral("Obiekt");
// "1" while the working database holds changes that are in no data file.
const QString kUnsaved = QStringLiteral("Niezapisane");
const QString kFont = QStringLiteral("Font");
const QString kMessages = QStringLiteral("Messages");
const QString kPomoc = QStringLiteral("pomoc");
const QString kWersja = QStringLiteral("wersja");
const QString kPanels = QStringLiteral("Panels");
const QString kNoVersion = QStringLiteral("0.0.0.0");
const QString kMaximized = QStringLiteral("wsMaximized");

// The file comes from us (UTF-8) or from the earlier Windows release of the program, which
// wrote the system code page; a path with Polish letters must survive either way.
QString decodeSettings(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = codepage::fromWindows1250(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

bool isProgramSection(const QString& name)
{
    static const QStringList fixed = {kDane, kFont, kMessages, kPomoc};
    for (const QString& s : fixed)
        if (s.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    for (int i = 0; i < RememberedWindowCount; ++i)
        if (windowSectionName(static_cast<RememberedWindow>(i)).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

WindowMemory readWindow(const IniFile& ini, const QString& section)
{
    const WindowMemory defaults;
    WindowMemory m;
    m.height = ini.intValue(section, QStringLiteral("Height"), defaults.height);
    m.width = ini.intValue(section, QStringLiteral("Width"), defaults.width);
    m.left = ini.intValue(section, QStringLiteral("left"), defaults.left);
    m.top = ini.intValue(section, QStringLiteral("Top"), defaults.top);
    const QString state = ini.value(section, QStringLiteral("State"));
    m.maximized = !state.isEmpty() && state.compare(kMaximized, Qt::CaseInsensitive) == 0;
    return m;
}

void writeWindow(IniFile& ini, const QString& section, const WindowMemory& m)
{
    ini.setValue(section, QStringLiteral("Height"), QString::number(m.height));
    ini.setValue(section, QStringLiteral("Width"), QString::number(m.width));
    ini.setValue(section, QStringLiteral("Left"), QString::number(m.left));
    ini.setValue(section, QStringLiteral("Top"), QString::number(m.top));
    ini.setValue(section, QStringLiteral("State"), m.maximized ? kMaximized : QStringLiteral("wsNormal"));
}

void readComponents(RunState& state, const IniFile& ini)
{
    state.ComponentVersions.clear();
    state.ComponentFiles.clear();
    state.ComponentVersions.insert(kPomoc, ini.value(kPomoc, kWersja, kNoVersion));
    for (const QString& section : ini.sections()) {
        if (isProgramSection(section))
            continue;
        if (!ini.contains(section, kWersja) && !ini.contains(section, kObiekt))
            continue;
        state.ComponentVersions.insert(section, ini.value(section, kWersja, kNoVersion));
        state.ComponentFiles.insert(section, ini.value(section, kObiekt));
    }
}

UserFontSpec readUserFont(const IniFile& ini)
{
    const UserFontSpec defaultFont;
    UserFontSpec font;
    font.name = ini.value(kFont, QStringLiteral("Name"), defaultFont.name);
    font.size = ini.intValue(kFont, QStringLiteral("Size"), defaultFont.size);
    if (font.size <= 0) // a font of no size cannot be shown
        font.size = defaultFont.size;
    return font;
}

} // namespace

// --- IniFile ---------------------------------------------------------------------------------

bool IniFile::load(const QString& path)
{
    sections_.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    parse(decodeSettings(file.readAll()));
    return true;
}

void IniFile::parse(const QString& text)
{
    sections_.clear();
    Section* current = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const int close = line.indexOf(QLatin1Char(']'));
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            current = &sectionFor(name);
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (current == nullptr || eq <= 0)
            continue; // lines outside a section or without a key are not settings
        const QString key = line.left(eq).trimmed();
        bool known = false;
        for (const Entry& e : current->entries)
            known = known || e.key.compare(key, Qt::CaseInsensitive) == 0;
        if (!known) // the first of duplicate keys wins, as it always has for this file
            current->entries.append({key, line.mid(eq + 1).trimmed()});
    }
}

const IniFile::Section* IniFile::findSection(const QString& name) const
{
    for (const Section& s : sections_)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

IniFile::Section& IniFile::sectionFor(const QString& name)
{
    for (Section& s : sections_)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return s;
    sections_.append({name, {}});
    return sections_.last();
}

bool IniFile::contains(const QString& section, const QString& key) const
{
    if (const Section* s = findSection(section))
        for (const Entry& e : s->entries)
            if (e.key.compare(key, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const
{
    if (const Section* s = findSection(section))
        for (const Entry& e : s->entries)
            if (e.key.compare(key, Qt::CaseInsensitive) == 0)
                return e.value;
    return fallback;
}

int IniFile::intValue(const QString& section, const QString& key, int fallback) const
{
    bool ok = false;
    const int n = value(section, key).toInt(&ok);
    return ok ? n : fallback;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    Section& s = sectionFor(section);
    for (Entry& e : s.entries) {
        if (e.key.compare(key, Qt::CaseInsensitive) == 0) {
            e.value = value;
            return;
        }
    }
    s.entries.append({key, value});
}

QStringList IniFile::sections() const
{
    QStringList names;
    for (const Section& s : sections_)
        names.append(s.name);
    return names;
}

bool IniFile::hasSection(const QString& section) const
{
    return findSection(section) != nullptr;
}

QString IniFile::toText() const
{
    QString text;
    for (const Section& s : sections_) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QLatin1Char('[') + s.name + QStringLiteral("]\n");
        for (const Entry& e : s.entries)
            text += e.key + QLatin1Char('=') + e.value + QLatin1Char('\n');
    }
    return text;
}

void IniFile::save(const QString& path) const
{
    // A settings file the user marked read-only stays as it is, also for root, whom no open refuses.
    if (isReadOnlyTarget(path))
        throw Error(QStringLiteral("Nie można zapisać ustawień programu w pliku ") + path);
    const bool isNew = !QFileInfo::exists(path);
    QSaveFile file(path);
    const QByteArray bytes = toText().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(QStringLiteral("Nie można zapisać ustawień programu w pliku ") + path);
    if (isNew)
        closeToOthersLikeItsFolder(path); // a settings file that exists keeps its mode through every save
}

// --- settings of the program -----------------------------------------------------------------

QString windowSectionName(RememberedWindow window)
{
    static const std::array<const char*, RememberedWindowCount> names = {
        "f_popupy", "f_wykazy", "f_import_wykazu", "f_lista_mnii",
        "f_laczenie", "f_wydruk", "f_podglad", "f_edit"};
    return QString::fromLatin1(names[static_cast<size_t>(window)]);
}

UserFontSpec ReadUserFont(const QString& settingsPath)
{
    IniFile ini;
    ini.load(settingsPath); // a missing file gives the default font
    return readUserFont(ini);
}

void ReadSettings(RunState& state)
{
    IniFile ini;
    ini.load(state.settingsPath()); // a missing file gives the defaults
    ReadSettings(state, ini);
}

void ReadSettings(RunState& state, const IniFile& ini)
{
    state.CurrentDataFile = ini.value(kDane, kObiekt);
    state.DataSaved.unsavedRecorded_ = ini.value(kDane, kUnsaved) == QLatin1String("1");
    state.DataSaved.saved_ = !state.DataSaved.unsavedRecorded_;

    state.UserFont = readUserFont(ini);

    for (int i = 0; i < RememberedWindowCount; ++i)
        state.Windows[static_cast<size_t>(i)] = readWindow(ini, windowSectionName(static_cast<RememberedWindow>(i)));
    state.PopupPanels = ini.value(windowSectionName(RememberedWindow::Popupy), kPanels);

    state.Flags = parseMessageFlags(ini.value(kMessages, QStringLiteral("Visible"), QString(40, QLatin1Char('1'))));
    readComponents(state, ini);
}

void WriteSettings(const RunState& state)
{
    IniFile ini;
    ini.load(state.settingsPath());
    WriteSettings(state, ini);
    ini.save(state.settingsPath());
}

void WriteSettings(const RunState& state, IniFile& ini)
{
    ini.setValue(kDane, kObiekt, state.CurrentDataFile);
    ini.setValue(kDane, kUnsaved, state.DataSaved ? QStringLiteral("0") : QStringLiteral("1"));
    ini.setValue(kFont, QStringLiteral("Name"), state.UserFont.name);
    ini.setValue(kFont, QStringLiteral("Size"), QString::number(state.UserFont.size));
    for (int i = 0; i < RememberedWindowCount; ++i)
        writeWindow(ini, windowSectionName(static_cast<RememberedWindow>(i)), state.Windows[static_cast<size_t>(i)]);
    ini.setValue(windowSectionName(RememberedWindow::Popupy), kPanels, state.PopupPanels);
    ini.setValue(kMessages, QStringLiteral("visible"), formatMessageFlags(state.Flags));

    for (auto it = state.ComponentVersions.cbegin(); it != state.ComponentVersions.cend(); ++it)
        ini.setValue(it.key(), kWersja, it.value());
    for (auto it = state.ComponentFiles.cbegin(); it != state.ComponentFiles.cend(); ++it)
        if (!it.value().isEmpty() || ini.contains(it.key(), kObiekt))
            ini.setValue(it.key(), kObiekt, it.value());
}

namespace {

// Writes "[Dane] Niezapisane" at once (IniFile::save flushes the file before it takes the old one's place).
bool writeUnsavedRecord(const RunState& state, bool unsaved)
{
    try {
        IniFile ini;
        ini.load(state.settingsPath());
        ini.setValue(kDane, kUnsaved, unsaved ? QStringLiteral("1") : QStringLiteral("0"));
        ini.save(state.settingsPath());
    } catch (const Error&) {
        return false;
    }
    return true;
}

} // namespace

bool SetDataSaved(RunState& state, bool saved)
{
    DataSavedFlag& flag = state.DataSaved;
    flag.saved_ = saved;
    if (flag.unsavedRecorded_ == !saved || state.ProgramFolder.isEmpty())
        return true;
    // On failure the flag in memory is right; the record is tried again at the next change and at close.
    if (!writeUnsavedRecord(state, !saved))
        return false;
    flag.unsavedRecorded_ = !saved;
    return true;
}

bool RecordUnsavedWork(RunState& state)
{
    DataSavedFlag& flag = state.DataSaved;
    if (flag.unsavedRecorded_ || state.ProgramFolder.isEmpty())
        return true;
    if (!writeUnsavedRecord(state, true))
        return false;
    flag.unsavedRecorded_ = true;
    return true;
}

QString unwritableSettingsMessage(const QString& settingsPath)
{
    return QStringLiteral("Nie można zapisać pliku ustawień %1 - po awarii niezapisane zmiany mogą zostać utracone.")
        .arg(QDir::toNativeSeparators(settingsPath));
}

void ReportUnwritableSettings(Program& program)
{
    RunState& state = program.state;
    if (state.UnwritableSettingsReported)
        return;
    state.UnwritableSettingsReported = true;
    program.notify(unwritableSettingsMessage(state.settingsPath()), 0, MessageKind::Warning);
}

void StoreComponentVersion(RunState& state, const QString& component, const QString& version)
{
    state.ComponentVersions.insert(component, version);
    IniFile ini;
    ini.load(state.settingsPath());
    ini.setValue(component, kWersja, version);
    ini.save(state.settingsPath());
}

QList<QPair<QString, int>> parsePanels(const QString& text)
{
    QList<QPair<QString, int>> panels;
    const QStringList items = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& item : items) {
        const int eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        bool ok = false;
        const int height = item.mid(eq + 1).trimmed().toInt(&ok);
        if (!ok)
            continue;
        QString name = item.left(eq).trimmed();
        name.replace(QLatin1Char('p'), QStringLiteral("Panel"));
        panels.append({name, height});
    }
    return panels;
}

QString formatPanels(const QList<QPair<QString, int>>& panels)
{
    QString text;
    for (const auto& [name, height] : panels) {
        QString shortName = name;
        shortName.replace(QStringLiteral("Panel"), QStringLiteral("p"));
        text += shortName + QLatin1Char('=') + QString::number(height) + QLatin1Char(';');
    }
    return text;
}

QString formatMessageFlags(const MessageFlags& flags)
{
    QString digits;
    for (int n = 1; n <= MessageFlags::Count; ++n)
        digits += QString::number(flags.flag(n));
    return digits;
}

MessageFlags parseMessageFlags(const QString& digits)
{
    MessageFlags flags;
    for (int n = 1; n <= MessageFlags::Count && n <= digits.size(); ++n) {
        const QChar c = digits.at(n - 1);
        if (c == QLatin1Char('0') || c == QLatin1Char('1') || c == QLatin1Char('2'))
            flags.setFlag(n, c.digitValue());
    }
    return flags;
}

} // namespace vestrum
