#include "archive/zlb_archive.h"

#include "archive/archive_failures.h"
#include "archive/block_deflate.h"
#include "archive/member_outputs.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <thread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#else
#include <mutex>
#endif

// Checking members without writing them: each is inflated and its CRC compared, or, for a member the last rebuild
// deflated in blocks, compared block by block with the file it was made from.

namespace vestrum {
using namespace zlb;

namespace {

// Reads at any offset from several threads at once, as the block check does.
class PositionalReader {
public:
    PositionalReader(QFile& file, qint64 base) : file_(file), base_(base) {}

    void operator()(qint64 offset, char* into, qint64 size) const
    {
#ifdef Q_OS_UNIX
        for (offset += base_; size > 0;) {
            const ssize_t n = ::pread(file_.handle(), into, static_cast<size_t>(size), static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw cannotOpen(file_.fileName());
            into += n;
            offset += n;
            size -= n;
        }
#else
        const std::lock_guard lock(mutex_);
        if (!file_.seek(base_ + offset) || file_.read(into, size) != size)
            throw cannotOpen(file_.fileName());
#endif
    }

private:
    QFile& file_;
    const qint64 base_;
#ifndef Q_OS_UNIX
    mutable std::mutex mutex_;
#endif
};

// Whether the member at `dataOffset` of `archive` inflates to exactly the bytes of `source` with the CRC the
// directory records, its blocks checked on every core.
bool inflatesToSource(QFile& archive, qint64 dataOffset, qint64 packedSize, const QString& source, qint64 size,
                      const blockdeflate::Layout& layout, std::uint32_t recordedCrc)
{
    QFile original(source);
    if (!original.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || original.size() != size)
        return false;
    const PositionalReader packed(archive, dataOffset);
    const PositionalReader originalBytes(original, 0);
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::uint32_t crc = 0;
    return blockdeflate::InflatesTo(packed, packedSize, originalBytes, size, layout, cores, crc) && crc == recordedCrc;
}

} // namespace

void ZlbArchive::CheckMembers()
{
    checkAllMembers(nullptr);
}

void ZlbArchive::CheckMembersWrittenBy(const ZlbArchive& writer)
{
    checkAllMembers(&writer);
}

void ZlbArchive::checkAllMembers(const ZlbArchive* writer)
{
    requireOpen();
    // Unbuffered: the block check reads the file at its own offsets beside this handle.
    QFile archive(fileName_);
    if (!archive.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw cannotOpen(fileName_);
    for (size_t i = 0; i < entries_.size(); ++i)
        checkMember(archive, static_cast<int>(i), writer);
    archive.close();
    progressIdle();
}

const ZlbArchive::BlockDeflatedMember* ZlbArchive::blockDeflatedAt(qint64 dataOffset) const
{
    for (const BlockDeflatedMember& member : blockDeflated_)
        if (member.dataOffset == dataOffset)
            return &member;
    return nullptr;
}

void ZlbArchive::checkMember(QFile& archive, int number, const ZlbArchive* writer)
{
    const TArchiveEntry& e = entries_[static_cast<size_t>(number)];
    // A member ExtractAll would refuse is as faulty here, whichever way it would be extracted.
    extractFolderFor(QStringLiteral("."), number, true);
    const BlockDeflatedMember* written = writer ? writer->blockDeflatedAt(e.DataOffset) : nullptr;
    if (written && e.Stored == 0 && qint64(e.StoredSize) == written->packedSize && qint64(e.UnpackedSize) == written->size) {
        if (!inflatesToSource(archive, e.DataOffset, written->packedSize, written->source, written->size,
                              written->layout, e.CRC))
            throw memberCorrupt(number);
        return;
    }
    CrcOutput output;
    streamMember(archive, number, output);
    if (output.crc != e.CRC)
        throw memberCorrupt(number);
}

} // namespace vestrum
