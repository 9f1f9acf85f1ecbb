#include "update/names.h"

#include <QDir>
#include <QFileInfo>

namespace vestrum::update {
namespace {

constexpr int kMaxNameLength = 255;

// The path with every existing part resolved through links: the deepest existing ancestor is made
// canonical and the parts below it are appended as they are.
QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(path);
    QString rest;
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const int slash = existing.lastIndexOf(u'/');
        if (slash < 0)
            return QDir::cleanPath(path);
        rest = existing.mid(slash) + rest;
        existing = existing.left(slash);
    }
    const QString canonical = QFileInfo(existing.isEmpty() ? QStringLiteral("/") : existing).canonicalFilePath();
    return QDir::cleanPath(canonical + rest);
}

bool within(const QString& folder, const QString& path)
{
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

} // namespace

bool IsPlainFileName(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength || name == QLatin1String(".")
        || name.contains(QLatin1String("..")))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == u'/' || c == u'\\' || c == u':' || c == u'[' || c == u']' || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

bool IsInsideProgramFolder(const QString& programFolder, const QString& path)
{
    if (programFolder.isEmpty() || path.isEmpty() || QDir::isRelativePath(path))
        return false;
    const QString folder = QDir::cleanPath(programFolder);
    if (!within(folder, QDir::cleanPath(path)))
        return false;
    return within(resolvedPath(folder), resolvedPath(path));
}

QString FolderInsideProgramFolder(const QString& programFolder, const QString& relative)
{
    QString folder = relative.trimmed();
    folder.replace(u'\\', u'/');
    if (folder.contains(QChar(0)) || folder.contains(u':') || folder.startsWith(u'/'))
        return {};
    const QString base = QDir::cleanPath(programFolder);
    const QString joined = QDir::cleanPath(base + u'/' + folder);
    if (!IsInsideProgramFolder(base, joined))
        return {};
    return joined.endsWith(u'/') ? joined : joined + u'/';
}

std::optional<QUrl> WebAddress(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}

} // namespace vestrum::update
