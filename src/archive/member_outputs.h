#pragma once

// Where the bytes of a member go while it is inflated: nowhere but a CRC (checking), or a file, written on a second
// thread for a large member read as one stream, or block by block by the threads that inflated the blocks.

#include "archive/archive_failures.h"
#include "archive/zlib_streams.h"

#include <QFile>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vestrum {

// Where a member's bytes go. A member read as one stream is decoded straight into the output's own buffers
// (acquire/release), so a file output can write one buffer on a second thread while the next is being inflated.
// Blocks inflated apart skip those buffers: each is placed at its offset by the thread that inflated it, in any
// order and from several threads at once, its CRC computed there when the output keeps one, so that neither the
// writing nor the checksum waits on one thread.
class ArchiveMemberOutput {
public:
    virtual ~ArchiveMemberOutput() = default;
    virtual char* acquire(qint64& capacity) = 0;
    virtual void release(qint64 used) = 0; // hands over the buffer last acquired

    virtual bool keepsCrc() const = 0;
    // False when the bytes could not be written; `writeFailure` is then what the user is told.
    virtual bool placeAt(qint64 offset, const char* data, qint64 length) = 0;
    virtual Error writeFailure() const = 0;
    // The blocks placed hold the first `length` bytes, whose CRC is `crc`; acquire/release go on after them.
    virtual void placedUpTo(qint64 length, std::uint32_t crc) = 0;
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
    bool keepsCrc() const override { return true; }
    bool placeAt(qint64, const char*, qint64) override { return true; }
    Error writeFailure() const override { return Error(kCorrupt); }
    void placedUpTo(qint64, std::uint32_t placedCrc) override { crc = placedCrc; }
    std::uint32_t crc = 0;

private:
    std::vector<char> buffer_ = std::vector<char>(kIoChunk);
};

// Writes at an offset of an unbuffered file from several threads at once, beside its sequential writes.
class PositionalWrites {
public:
    explicit PositionalWrites(QFile& file) : file_(file) {}
    bool writeAt(qint64 offset, const char* data, qint64 length);
    // Sequential writes go on from `offset`.
    bool continueAt(qint64 offset);

private:
    QFile& file_;
#ifndef Q_OS_UNIX
    std::mutex mutex_;
#endif
};

// Writes to a file on a second thread, so that for a large member read as one stream writing costs no time beside
// inflating. Eight buffers circulate (2 MiB), so that a write held up for a moment does not stall inflating; they
// and the thread are made at the first buffer asked for, so a member whose blocks are placed apart never has them.
class ThreadedFileOutput : public ArchiveMemberOutput {
public:
    ThreadedFileOutput(QFile& file, bool withCrc, QString shownName)
        : file_(file), positional_(file), withCrc_(withCrc), shownName_(std::move(shownName))
    {
    }
    ~ThreadedFileOutput() override { stop(); }
    ThreadedFileOutput(const ThreadedFileOutput&) = delete;
    ThreadedFileOutput& operator=(const ThreadedFileOutput&) = delete;

    char* acquire(qint64& capacity) override
    {
        if (!worker_.joinable())
            start();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || failed_; });
        if (failed_)
            throw cannotOpen(shownName_);
        current_ = free_.front();
        free_.pop_front();
        capacity = kIoChunk;
        return buffers_[static_cast<size_t>(current_)].get();
    }

    void release(qint64 used) override
    {
        {
            const std::lock_guard lock(mutex_);
            full_.emplace_back(current_, used);
        }
        changed_.notify_all();
    }

    bool keepsCrc() const override { return withCrc_; }
    bool placeAt(qint64 offset, const char* data, qint64 length) override
    {
        return positional_.writeAt(offset, data, length);
    }
    Error writeFailure() const override { return cannotOpen(shownName_); }
    void placedUpTo(qint64 length, std::uint32_t crc) override
    {
        if (!positional_.continueAt(length))
            throw cannotOpen(shownName_);
        crc_ = crc;
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
    void start()
    {
        for (int i = 0; i < 8; ++i) {
            buffers_.push_back(std::make_unique_for_overwrite<char[]>(static_cast<size_t>(kIoChunk)));
            free_.push_back(i);
        }
        worker_ = std::thread([this] { run(); });
    }

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
            const char* data = buffers_[static_cast<size_t>(job.first)].get();
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
    PositionalWrites positional_;
    const bool withCrc_;
    const QString shownName_;
    std::vector<std::unique_ptr<char[]>> buffers_;
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
        : file_(file), positional_(file), withCrc_(withCrc), shownName_(std::move(shownName))
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
    bool keepsCrc() const override { return withCrc_; }
    bool placeAt(qint64 offset, const char* data, qint64 length) override
    {
        return positional_.writeAt(offset, data, length);
    }
    Error writeFailure() const override { return cannotOpen(shownName_); }
    void placedUpTo(qint64 length, std::uint32_t placedCrc) override
    {
        if (!positional_.continueAt(length))
            throw cannotOpen(shownName_);
        crc = placedCrc;
    }
    std::uint32_t crc = 0;

private:
    QFile& file_;
    PositionalWrites positional_;
    const bool withCrc_;
    const QString shownName_;
    std::vector<char> buffer_ = std::vector<char>(kIoChunk);
};

} // namespace zlb
} // namespace vestrum
