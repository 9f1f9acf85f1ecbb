#include "update/update_server.h"

#ifndef VESTRUM_UPDATE_SERVER
#define VESTRUM_UPDATE_SERVER "https://www.marvo.pl"
#endif

namespace vestrum::update {
namespace {

QString withoutTrailingSlash(QString address)
{
    while (address.endsWith(u'/'))
        address.chop(1);
    return address;
}

} // namespace

QString UpdateServer()
{
    return withoutTrailingSlash(QStringLiteral(VESTRUM_UPDATE_SERVER));
}

QUrl VersionFileAddress(const QString& server)
{
    return QUrl(withoutTrailingSlash(server) + QStringLiteral("/download/ankieta_update/ankieta_version.conf"));
}

QString DownloadBase(const QString& server)
{
    return withoutTrailingSlash(server) + QStringLiteral("/download/");
}

QUrl PackageAddress(const QString& downloadBase, const QString& package)
{
    const QString base = downloadBase.endsWith(u'/') ? downloadBase : downloadBase + u'/';
    return QUrl::fromEncoded(base.toUtf8() + "ankieta_update/" + QUrl::toPercentEncoding(package), QUrl::StrictMode);
}

} // namespace vestrum::update
