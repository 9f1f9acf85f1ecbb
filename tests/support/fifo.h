#pragma once

#include <QFile>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vestrum::testing {

// A real FIFO made with mkfifo. Opening it for reading waits for a writer; so that code which wrongly
// opens it fails its test instead of hanging, the FIFO plays that writer after `patience` and closes at
// once, which ends the read with nothing read.
class Fifo {
public:
    explicit Fifo(const QString& path, std::chrono::seconds patience = std::chrono::seconds(10))
        : path_(path)
    {
        made_ = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        watchdog_ = std::thread([this, patience] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, patience, [this] { return finished_; })) {
                rescued_ = true;
                const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
            }
        });
    }
    ~Fifo()
    {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        watchdog_.join();
    }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    bool made() const { return made_; }
    // True when something was still waiting on the FIFO when the patience ran out.
    bool rescued()
    {
        std::lock_guard lock(mutex_);
        return rescued_;
    }
    const QString& path() const { return path_; }

private:
    QString path_;
    bool made_ = false;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    bool rescued_ = false;
    std::thread watchdog_;
};

} // namespace vestrum::testing
