#pragma once

// Addresses on the update server. The server is a build setting; only the paths below are fixed.

#include <QString>
#include <QUrl>

namespace vestrum::update {

// The server's address, without a trailing "/", as the program was built with it.
QString UpdateServer();
// server + "/download/ankieta_update/ankieta_version.conf"
QUrl VersionFileAddress(const QString& server);
// server + "/download/": the base every package is fetched from.
QString DownloadBase(const QString& server);
// base + "ankieta_update/" + the percent-encoded package name. Web servers only know "/" as a separator,
// so the parts are always joined with it.
QUrl PackageAddress(const QString& downloadBase, const QString& package);

} // namespace vestrum::update
