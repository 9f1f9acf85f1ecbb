#include "update/fetcher.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

#include <functional>

namespace vestrum::update {
namespace {

bool succeeded(QNetworkReply& reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply.error() == QNetworkReply::NoError && status >= 200 && status < 300;
}

// Runs one GET to its end, handing every block of the body to `onData`, which returns false to give up.
// `wholeFetchLimit` ends the fetch after the time limit in all; otherwise only silence ends it.
bool runFetch(QNetworkAccessManager& manager, const QUrl& address, int timeLimitMs, bool wholeFetchLimit,
    const std::function<bool(QNetworkReply&)>& onData)
{
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("internet"));
    request.setTransferTimeout(timeLimitMs);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool refused = false;
    QObject::connect(&limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        if (!wholeFetchLimit)
            limit.start(timeLimitMs);
        if (!refused && !onData(*reply)) {
            refused = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    limit.start(timeLimitMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!refused && reply->bytesAvailable() > 0)
        refused = !onData(*reply);
    const bool ok = !refused && succeeded(*reply);
    reply->deleteLater();
    return ok;
}

} // namespace

NetworkFetcher::NetworkFetcher()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

std::optional<QByteArray> NetworkFetcher::fetchText(const QUrl& address)
{
    QNetworkAccessManager manager;
    if (useProxy_)
        manager.setProxy(proxy_);
    QByteArray body;
    bool tooLong = false;
    const bool ok = runFetch(manager, address, timeLimitMs_, true, [&](QNetworkReply& reply) {
        body += reply.readAll();
        if (body.size() <= MaxTextBytes)
            return true;
        // The server did answer, with a text longer than any it may send: that is the text's fault, not the
        // connection's. An error page, however long, stays a failed fetch.
        tooLong = succeeded(reply);
        return false;
    });
    if (tooLong)
        return body.left(MaxTextBytes + 1);
    if (!ok)
        return std::nullopt;
    return body;
}

bool NetworkFetcher::fetchFile(const QUrl& address, const QString& target)
{
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        return false;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QNetworkAccessManager manager;
    if (useProxy_)
        manager.setProxy(proxy_);
    qint64 written = 0;
    const bool ok = runFetch(manager, address, timeLimitMs_, false, [&](QNetworkReply& reply) {
        const QByteArray block = reply.readAll();
        written += block.size();
        return written <= MaxFileBytes && file.write(block) == block.size();
    });
    if (!ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace vestrum::update
