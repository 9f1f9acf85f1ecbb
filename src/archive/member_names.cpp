#include "archive/member_names.h"

#include "base/codepage.h"

#include <algorithm>

namespace vestrum::zlb {

QByteArray storedName(const QString& text)
{
    return codepage::toWindows1250(text).left(255);
}

void splitPath(const QString& path, QString& folder, QString& name)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    folder = path.left(cut + 1);
    name = path.mid(cut + 1);
}

QString storedFolder(QString folder)
{
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const qsizetype colon = folder.indexOf(QLatin1Char(':'));
    if (colon >= 0)
        folder.remove(0, colon + 1);
    return folder;
}

bool unsafeName(const QString& part)
{
    return part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")
        || part.contains(QLatin1Char('/')) || part.contains(QLatin1Char('\\')) || part.contains(QLatin1Char(':'))
        || part.contains(QChar(0));
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace vestrum::zlb
