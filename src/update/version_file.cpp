#include "update/version_file.h"

#include "update/names.h"

#include <QStringList>

namespace vestrum::update {
namespace {

constexpr int kItemCount = 5; // name:version, kind, package, special page, folder

// The text after the first ":" of an item, without surrounding blanks.
std::optional<QString> itemValue(const QString& item)
{
    const int colon = item.indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    return item.mid(colon + 1).trimmed();
}

std::optional<ComponentKind> parseKind(const QString& text)
{
    if (text.size() != 1 || text[0] < u'0' || text[0] > u'4')
        return std::nullopt;
    return static_cast<ComponentKind>(text[0].unicode() - u'0');
}

// A folder below the program folder, checked against a stand-in program folder: only its shape matters.
std::optional<QString> parseFolder(const QString& text)
{
    QString folder = text;
    folder.replace(u'\\', u'/');
    if (folder.isEmpty())
        return folder;
    if (FolderInsideProgramFolder(QStringLiteral("/program/"), folder).isEmpty())
        return std::nullopt;
    return folder;
}

// The standard components are installed only their own way: a line giving "dane" the kind of a plain file
// would replace the survey database without a restore point, and any other component of kind 0 would be
// handed to the external updater in place of the program.
bool kindFitsName(const UpdateEntry& entry)
{
    const std::pair<const char*, ComponentKind> ownKinds[] = { { "program", ComponentKind::Program },
        { "dane", ComponentKind::SurveyDatabase }, { "Lista_czasopism", ComponentKind::JournalList } };
    for (const auto& [name, kind] : ownKinds) {
        if (entry.isNamed(QString::fromLatin1(name)) || entry.kind == kind) {
            if (!entry.isNamed(QString::fromLatin1(name)) || entry.kind != kind)
                return false;
        }
    }
    return true;
}

std::optional<UpdateEntry> parseLine(const QString& line)
{
    if (!line.endsWith(u';'))
        return std::nullopt;
    const QStringList items = line.left(line.size() - 1).split(u';');
    if (items.size() != kItemCount)
        return std::nullopt;

    UpdateEntry entry;
    const int colon = items[0].indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    entry.name = items[0].left(colon).trimmed();
    const auto version = ParseVersion(items[0].mid(colon + 1).trimmed());
    const auto kindText = itemValue(items[1]);
    const auto package = itemValue(items[2]);
    const auto page = itemValue(items[3]);
    const auto folderText = itemValue(items[4]);
    if (!IsPlainFileName(entry.name) || !version || !kindText || !package || !page || !folderText)
        return std::nullopt;
    const auto kind = parseKind(*kindText);
    const auto folder = parseFolder(*folderText);
    if (!kind || !folder)
        return std::nullopt;
    if (!page->isEmpty() && !WebAddress(*page))
        return std::nullopt;
    // A component installed by hand may come without a package; every other one needs one.
    if (!(package->isEmpty() && !page->isEmpty()) && !IsPlainFileName(*package))
        return std::nullopt;

    entry.available = *version;
    entry.kind = *kind;
    entry.package = *package;
    entry.specialPage = *page;
    entry.folder = *folder;
    if (!kindFitsName(entry))
        return std::nullopt;
    return entry;
}

} // namespace

std::optional<QList<UpdateEntry>> ParseVersionFile(const QString& text)
{
    QList<UpdateEntry> entries;
    const QStringList lines = text.split(u'\n');
    for (int i = 1; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const auto entry = parseLine(line);
        if (!entry)
            return std::nullopt;
        entries.append(*entry);
    }
    return entries;
}

} // namespace vestrum::update
