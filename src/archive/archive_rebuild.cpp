#include "archive/zlb_archive.h"

#include "archive/archive_failures.h"
#include "archive/block_deflate.h"
#include "archive/member_names.h"
#include "archive/staged_files.h"
#include "archive/zlib_streams.h"
#include "base/durable_files.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <thread>

// Writing: every change rebuilds the archive into a staged file beside it (the members, then the directory and
// the trailer) and renames that over the old one.

namespace vestrum {
using namespace zlb;

namespace {

const QString kWritingDirectory = QStringLiteral("Zapisuje rejestru kompresji");
constexpr qint64 kMaxDirectoryOffset = std::numeric_limits<std::int32_t>::max();
// A member over a megabyte is deflated in blocks on every core; a smaller one is not worth the threads.
constexpr qint64 kBlocksFrom = 1024 * 1024;

} // namespace

// Keeps the length and the running CRC of everything written, so the trailer's CRC needs no second pass over
// the file.
class ZlbArchive::Writer {
public:
    explicit Writer(QFile& file) : file_(file) {}

    void write(const char* data, qint64 size)
    {
        if (size <= 0)
            return;
        if (file_.write(data, size) != size)
            throw cannotOpen(file_.fileName());
        crc_ = crcUpdate(crc_, data, size);
        length_ += size;
    }

    // Throws away everything after `length`; `crc` is the running CRC as it stood there.
    void rewind(qint64 length, std::uint32_t crc)
    {
        if (!file_.flush() || !file_.resize(length) || !file_.seek(length))
            throw cannotOpen(file_.fileName());
        length_ = length;
        crc_ = crc;
    }

    // Appends `size` bytes of `from`, starting at `offset`.
    void copyFrom(QFile& from, qint64 offset, qint64 size, std::vector<char>& buffer)
    {
        if (!from.seek(offset))
            throw cannotOpen(from.fileName());
        while (size > 0) {
            const qint64 n = from.read(buffer.data(), std::min<qint64>(size, static_cast<qint64>(buffer.size())));
            if (n <= 0)
                throw cannotOpen(from.fileName());
            write(buffer.data(), n);
            size -= n;
        }
    }

    qint64 length() const { return length_; }
    std::uint32_t crc() const { return crc_; }

private:
    QFile& file_;
    qint64 length_ = 0;
    std::uint32_t crc_ = 0;
};

QString ZlbArchive::MakeTempFileName(const QString& folder)
{
    // Opened "new only" (O_EXCL), so the name is ours alone and the file gets the usual permissions. The name
    // is the program's temporary pattern, so a rebuild that never finished is cleared by a later save.
    const QString path = tempfiles::createFile(folder);
    if (path.isEmpty())
        throw cannotOpen(folder);
    return path;
}

void ZlbArchive::BeforeReplace(const QString&) {}

void ZlbArchive::AddFile(const QString& sourceFileName)
{
    AddFiles({sourceFileName});
}

void ZlbArchive::AddFiles(const QStringList& sourceFileNames)
{
    requireOpen();
    // Every name is checked before anything is written: the rebuild takes all the files or none.
    QStringList keys;
    for (const QString& source : sourceFileNames) {
        const QString key = MemberKey(source);
        if (FindFile(key) >= 0 || keys.contains(storedKey(key), Qt::CaseInsensitive))
            throw Error(kAlreadyExists);
        keys << storedKey(key);
    }

    rebuild([&](QFile& archive, Writer& out) {
        std::vector<char> buffer(kIoChunk);
        out.copyFrom(archive, 0, trailer_.DirectoryOffset, buffer);
        std::vector<TArchiveEntry> entries = entries_;
        for (const QString& source : sourceFileNames) {
            QString folder, name;
            splitPath(source, folder, name);
            TArchiveEntry entry;
            entry.FileName = storedName(name);
            if (savePaths_)
                entry.FilePath = storedName(storedFolder(folder));
            entry.DataOffset = static_cast<std::uint32_t>(out.length());
            compressSource(source, out, entry, TProgressPhase::Adding);
            entries.push_back(std::move(entry));
        }
        return entries;
    });
}

void ZlbArchive::UpdateFile(const QString& sourceFileName, int index)
{
    requireOpen();
    if (index < 0 || static_cast<size_t>(index) >= entries_.size() || FindFile(MemberKey(sourceFileName)) != index)
        throw Error(kNoSuchMember);

    rebuild([&](QFile& archive, Writer& out) {
        std::vector<TArchiveEntry> entries = entries_;
        const auto at = static_cast<size_t>(index);
        std::vector<char> buffer(kIoChunk);
        out.copyFrom(archive, 0, entries[at].DataOffset, buffer);
        compressSource(sourceFileName, out, entries[at], TProgressPhase::Updating);
        for (size_t i = at + 1; i < entries.size(); ++i) {
            const qint64 oldOffset = entries[i].DataOffset;
            entries[i].DataOffset = static_cast<std::uint32_t>(out.length());
            out.copyFrom(archive, oldOffset, entries[i].StoredSize, buffer);
            if (out.length() > kMaxDirectoryOffset)
                throw cannotOpen(sourceFileName);
        }
        return entries;
    });
}

// The new archive is built beside the old one, flushed to disk and renamed over it in one step, so at every
// moment the archive's name holds either the whole old archive or the whole new one. (Deleting the old file
// and then renaming would lose the data file to a failure in between.)
void ZlbArchive::rebuild(const std::function<std::vector<TArchiveEntry>(QFile&, Writer&)>& body)
{
    lastFailure_.clear();
    blockDeflated_.clear();
    try {
        const QString archivePath = fileName_;
        QFileInfo info(archivePath);
        // Through a link the link stays, and the file it names gets the new content.
        const QString replacedPath = info.isSymLink() ? info.canonicalFilePath() : archivePath;
        QFile archive(archivePath);
        if (!archive.open(QIODevice::ReadOnly))
            throw cannotOpen(archivePath);
        // The directory in memory describes the file as it was opened; member bytes copied from a file changed
        // since would be filed under the wrong records.
        info.refresh();
        if (archive.size() != openedSize_ || modifiedStamp(info) != openedModified_)
            throw Error(kCorrupt);

        const QString tempPath = MakeTempFileName(QFileInfo(replacedPath).absolutePath());
        tempfiles::TempFileGuard guard(tempPath);
        QFile temp(tempPath);
        if (!temp.open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw cannotOpen(tempPath);
        temp.setPermissions(QFile::permissions(replacedPath));

        Writer out(temp);
        const std::vector<TArchiveEntry> entries = body(archive, out);
        writeDirectoryAndTrailer(out, entries);
        archive.close();
        if (!durable::syncFile(temp))
            throw cannotOpen(tempPath);
        temp.close();

        BeforeReplace(tempPath);
        if (!durable::replaceFile(tempPath, replacedPath))
            throw cannotOpen(replacedPath);
        guard.release();
        durable::syncFolder(QFileInfo(replacedPath).absolutePath());

        OpenArchive(archivePath);
    } catch (const Error& e) {
        lastFailure_ = e.message();
    } catch (const std::exception& e) {
        lastFailure_ = QString::fromLocal8Bit(e.what());
    }
}

// Streams the source through deflate straight into the new archive. A source that does not shrink is then
// written again as it is, over the compressed attempt; the attempt stops as soon as it is no smaller.
void ZlbArchive::compressSource(const QString& sourceFileName, Writer& out, TArchiveEntry& entry, TProgressPhase phase)
{
    QFile source(sourceFileName);
    if (!source.open(QIODevice::ReadOnly))
        throw cannotOpen(sourceFileName);
    const qint64 size = source.size();
    const qint64 blockStart = out.length();
    // Offsets in records are 32-bit and the directory offset is signed: an archive must stay below 2 GiB.
    if (size > kMaxDirectoryOffset - blockStart)
        throw cannotOpen(sourceFileName);
    const std::uint32_t crcBefore = out.crc();

    startPhase(phase, QStringLiteral("Aktualizacja %1").arg(sourceFileName), size);
    const auto read = [&](char* into, qint64 wanted) {
        if (source.read(into, wanted) != wanted)
            throw cannotOpen(sourceFileName);
    };
    const auto write = [&](const char* data, qint64 length) {
        out.write(data, length);
        return out.length() - blockStart < size;
    };
    const auto report = [this](qint64 done) { progress(done); };
    const int level = zlibLevel(compressionLevel_);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const Deflated deflated = size > kBlocksFrom && cores > 1
        ? blockdeflate::DeflateInBlocks(size, level, cores, read, write, report)
        : deflateInOneStream(size, level, read, write, report);
    const bool shrinks = deflated.complete && out.length() - blockStart < size;

    entry.UnpackedSize = static_cast<std::uint32_t>(size);
    entry.CRC = deflated.crc;
    if (shrinks) {
        entry.StoredSize = static_cast<std::uint32_t>(out.length() - blockStart);
        entry.Stored = 0;
        entry.Level = compressionLevel_;
        if (!deflated.layout.ends.empty())
            blockDeflated_.push_back({sourceFileName, blockStart, out.length() - blockStart, size, deflated.layout});
        return;
    }
    out.rewind(blockStart, crcBefore);
    if (!source.seek(0))
        throw cannotOpen(sourceFileName);
    // The compressed attempt may have stopped early, so the CRC is taken over the copy.
    std::vector<char> in(kIoChunk);
    std::uint32_t memberCrc = 0;
    for (qint64 left = size; left > 0;) {
        const qint64 n = std::min(left, kIoChunk);
        read(in.data(), n);
        out.write(in.data(), n);
        memberCrc = crcUpdate(memberCrc, in.data(), n);
        left -= n;
    }
    entry.StoredSize = static_cast<std::uint32_t>(size);
    entry.Stored = 1;
    entry.Level = 0;
    entry.CRC = memberCrc;
}

void ZlbArchive::writeDirectoryAndTrailer(Writer& out, const std::vector<TArchiveEntry>& entries)
{
    const qint64 directoryOffset = out.length();
    if (directoryOffset > kMaxDirectoryOffset)
        throw cannotOpen(fileName_);
    const std::uint32_t crcBefore = out.crc();
    QByteArray records(qsizetype(entries.size()) * TArchiveEntry::Size, '\0');
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i].toBytes(records.data() + qsizetype(i) * TArchiveEntry::Size);

    TArchiveTrailer trailer;
    trailer.Count = static_cast<std::int32_t>(entries.size());
    trailer.FormatMark = 1;
    trailer.DirectoryOffset = static_cast<std::int32_t>(directoryOffset);
    trailer.DirectoryCompressed = 1;

    startPhase(TProgressPhase::WritingDirectory, kWritingDirectory, records.size());
    try {
        DeflateStream deflater(zlibLevel(compressionLevel_));
        z_stream& zs = deflater.zs;
        std::vector<char> buffer(kCompressorBuffer);
        zs.next_in = reinterpret_cast<Bytef*>(records.data());
        zs.avail_in = static_cast<uInt>(records.size());
        for (;;) {
            zs.next_out = reinterpret_cast<Bytef*>(buffer.data());
            zs.avail_out = kCompressorBuffer;
            const int rc = deflate(&zs, Z_FINISH);
            if (rc != Z_OK && rc != Z_STREAM_END)
                throw std::bad_alloc();
            out.write(buffer.data(), kCompressorBuffer - zs.avail_out);
            if (zs.avail_out == 0)
                progress(0); // this phase never advances its byte count
            if (rc == Z_STREAM_END)
                break;
        }
        trailer.DirectoryPackedSize = static_cast<std::int32_t>(out.length() - directoryOffset);
    } catch (const std::bad_alloc&) {
        out.rewind(directoryOffset, crcBefore);
        out.write(records.constData(), records.size());
        trailer.DirectoryCompressed = 0;
        trailer.DirectoryPackedSize = 0;
    }
    trailer.CRC = out.crc();
    const QByteArray bytes = trailer.toBytes();
    out.write(bytes.constData(), bytes.size());
}

} // namespace vestrum
