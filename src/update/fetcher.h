#pragma once

// Fetching from the update server. The installation asks a Fetcher; the program uses NetworkFetcher,
// tests a local server or a fake, so no test ever leaves the machine.

#include <QByteArray>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>

#include <optional>

namespace vestrum::update {

class Fetcher {
public:
    static constexpr qint64 MaxTextBytes = 1 << 20;

    virtual ~Fetcher() = default;
    // The whole body of a text (the version file); nothing when it could not be fetched. A body longer than
    // MaxTextBytes is not read on: its first MaxTextBytes + 1 bytes come back, so the reader refuses it for its
    // length rather than taking it for a failed connection.
    virtual std::optional<QByteArray> fetchText(const QUrl& address) = 0;
    // Writes the body to `target`, creating its folder. Nothing is left at `target` unless the whole body
    // arrived with a success status.
    virtual bool fetchFile(const QUrl& address, const QString& target) = 0;
};

// Qt Network with the system's proxy configuration. Every fetch ends within its time limit, and only a
// 2xx answer counts: an error page of the server is never taken for a version file or a package. The fetch
// waits in a local event loop, so the windows keep repainting meanwhile.
class NetworkFetcher final : public Fetcher {
public:
    static constexpr int DefaultTimeLimitMs = 5000;
    static constexpr qint64 MaxFileBytes = qint64(1) << 31;

    NetworkFetcher();
    // Tests force no proxy so that 127.0.0.1 is never sent elsewhere.
    void setProxy(const QNetworkProxy& proxy)
    {
        proxy_ = proxy;
        useProxy_ = true;
    }
    // For a text the limit covers the whole fetch; for a file, the time without any data arriving.
    void setTimeLimit(int milliseconds) { timeLimitMs_ = milliseconds; }

    std::optional<QByteArray> fetchText(const QUrl& address) override;
    bool fetchFile(const QUrl& address, const QString& target) override;

private:
    QNetworkProxy proxy_;
    bool useProxy_ = false;
    int timeLimitMs_ = DefaultTimeLimitMs;
};

} // namespace vestrum::update
