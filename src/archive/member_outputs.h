#pragma once

// Where the bytes of a member go while it is inflated: nowhere but a CRC (checking), or a file, written on a second
// thread for a large member.

#include "archive/archive_failures.h"
#include "archive/zlib_streams.h"

#include <QFile>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vestrum {

// Where a member's bytes go. The member is decoded straight into the output's own buffers, so a file output can
// write one buffer on a second thread while the next is being inflated.
class ArchiveMemberOutput {
public:
    virtual ~ArchiveMemberOutput() = default;
    virtual char* acquire(qint64& capacity) = 0;
    virtual void release(qint64 used) = 0; // hands over the buffer last acquired
};

namespace zlb {

// Only computes the CRC (for checking an archive without writing anything).
class CrcOutput : public ArchiveMemberOutput {
public:
    char* acquire(qint64& capacity) override
    {
        capacity = static_cast<qint64>(buffer_.size());
        return buffer_.data();
    }
    void release(qint64 used) override { crc = crcUpdate(crc, buffer_.data(), used); }
    std::uint32_t crc = 0;

private:
    std::vector<char> buffer_ = std::vector<char>(kIoChunk);
};

// Writes to a file on a second thread, so that for a large member writing costs no time beside inflating.
// Eight buffers circulate (2 MiB), so that a write held up for a moment does not stall inflating.
class ThreadedFileOutput : public ArchiveMemberOutput {
public:
    ThreadedFileOutput(QFile& file, bool withCrc, QString shownName)
        : file_(file), withCrc_(withCrc), shownName_(std::move(shownName))
    {
        for (int i = 0; i < 8; ++i) {
            buffers_.emplace_back(kIoChunk);
            free_.push_back(i);
        }
        worker_ = std::thread([this] { run(); });
    }
    ~ThreadedFileOutput() override { stop(); }
    ThreadedFileOutput(const ThreadedFileOutput&) = delete;
    ThreadedFileOutput& operator=(const ThreadedFileOutput&) = delete;

    char* acquire(qint64& capacity) override
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || failed_; });
        if (failed_)
            throw cannotOpen(shownName_);
        current_ = free_.front();
        free_.pop_front();
        capacity = kIoChunk;
        return buffers_[static_cast<size_t>(current_)].data();
    }

    void release(qint64 used) override
    {
        {
            const std::lock_guard lock(mutex_);
            full_.emplace_back(current_, used);
        }
        changed_.notify_all();
    }

    // Waits until everything is written; throws if any write failed.
    void finish()
    {
        stop();
        if (failed_)
            throw cannotOpen(shownName_);
    }

    std::uint32_t crc() const { return crc_; }

private:
    void run()
    {
        for (;;) {
            std::pair<int, qint64> job;
            bool skip = false;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !full_.empty() || done_; });
                if (full_.empty())
                    return;
                job = full_.front();
                full_.pop_front();
                skip = failed_;
            }
            const char* data = buffers_[static_cast<size_t>(job.first)].data();
            const bool ok = skip || file_.write(data, job.second) == job.second;
            if (ok && withCrc_)
                crc_ = crcUpdate(crc_, data, job.second);
            {
                const std::lock_guard lock(mutex_);
                free_.push_back(job.first);
                if (!ok)
                    failed_ = true;
            }
            changed_.notify_all();
        }
    }

    void stop()
    {
        if (!worker_.joinable())
            return;
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    QFile& file_;
    const bool withCrc_;
    const QString shownName_;
    std::vector<std::vector<char>> buffers_;
    std::deque<int> free_;
    std::deque<std::pair<int, qint64>> full_;
    int current_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    bool failed_ = false;
    std::uint32_t crc_ = 0;
    std::thread worker_;
};

// Small members are not worth a thread.
class PlainFileOutput : public ArchiveMemberOutput {
public:
    PlainFileOutput(QFile& file, bool withCrc, QString shownName)
        : file_(file), withCrc_(withCrc), shownName_(std::move(shownName))
    {
    }
    char* acquire(qint64& capacity) override
    {
        capacity = static_cast<qint64>(buffer_.size());
        return buffer_.data();
    }
    void release(qint64 used) override
    {
        if (file_.write(buffer_.data(), used) != used)
            throw cannotOpen(shownName_);
        if (withCrc_)
            crc = crcUpdate(crc, buffer_.data(), used);
    }
    std::uint32_t crc = 0;

private:
    QFile& file_;
    const bool withCrc_;
    const QString shownName_;
    std::vector<char> buffer_ = std::vector<char>(kIoChunk);
};

} // namespace zlb
} // namespace vestrum
