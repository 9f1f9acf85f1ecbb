#include "archive/zlb_archive.h"

#include "archive/archive_failures.h"
#include "archive/archive_progress.h"
#include "archive/member_names.h"
#include "archive/zlib_streams.h"
#include "base/codepage.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

// Opening an archive: the trailer, its CRC over the whole file, the directory; and finding members by name.

namespace vestrum {
using namespace zlb;

namespace {

const QString kReadingDirectory = QStringLiteral("Rozpakowywanie rejestrów kompresji");

} // namespace

ZlbArchive::ZlbArchive() = default;

ZlbArchive::~ZlbArchive()
{
    destroying_ = true;
    closeQuietly();
}

void ZlbArchive::requireOpen() const
{
    if (!IsOpen())
        throw Error(kNotOpen);
}

void ZlbArchive::closeQuietly()
{
    entries_.clear();
    trailer_ = TArchiveTrailer();
    fileName_.clear();
    openedSize_ = 0;
    openedModified_ = 0;
}

void ZlbArchive::CloseArchive()
{
    closeQuietly();
    progressIdle();
}

bool ZlbArchive::OpenArchive(const QString& fileName)
{
    CloseArchive();
    if (fileName.isEmpty())
        return false;

    // Every failure below leaves the component closed: a name without a directory behind it would pass for an
    // open, empty archive.
    const QFileInfo info(fileName);
    if (!info.exists())
        throw Error(kNotFound);
    // POSIX has no share modes to deny writers with; instead the size and time noted at opening let a rebuild
    // notice a file that changed behind our back.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw cannotOpen(fileName);

    const qint64 size = file.size();
    // An empty file is an empty archive: the CRC of no bytes is 0, as is the CRC of an absent (all-zero) trailer.
    TArchiveTrailer trailer;
    if (size > 0) {
        if (size < TArchiveTrailer::Size)
            throw Error(kCorrupt);
        std::vector<char> buffer(kIoChunk);
        std::uint32_t crc = 0;
        qint64 left = size - TArchiveTrailer::Size;
        while (left > 0) {
            const qint64 n = file.read(buffer.data(), std::min<qint64>(left, kIoChunk));
            if (n <= 0)
                throw Error(kCorrupt);
            crc = crcUpdate(crc, buffer.data(), n);
            left -= n;
        }
        char raw[TArchiveTrailer::Size];
        if (file.read(raw, TArchiveTrailer::Size) != TArchiveTrailer::Size)
            throw Error(kCorrupt);
        trailer = TArchiveTrailer::fromBytes(raw);
        if (crc != trailer.CRC)
            throw Error(kCorrupt);
    }

    try {
        std::vector<TArchiveEntry> entries = readDirectory(file, size, trailer);
        fileName_ = fileName;
        trailer_ = trailer;
        entries_ = std::move(entries);
        openedSize_ = size;
        openedModified_ = modifiedStamp(info);
        if (OnArchiveOpened)
            OnArchiveOpened();
    } catch (...) {
        closeQuietly();
        throw Error(kDirectoryUnreadable);
    }
    progressIdle();
    return true;
}

std::vector<TArchiveEntry> ZlbArchive::readDirectory(QFile& file, qint64 fileSize, const TArchiveTrailer& t)
{
    const auto fail = [] { return Error(kDirectoryUnreadable); };
    const qint64 dataEnd = std::max<qint64>(fileSize - TArchiveTrailer::Size, 0);
    if (t.Count < 0 || t.DirectoryOffset < 0 || t.DirectoryOffset > dataEnd)
        throw fail();
    const qint64 region = dataEnd - t.DirectoryOffset;
    const qint64 wanted = qint64(t.Count) * TArchiveEntry::Size;
    if (t.DirectoryCompressed == 1) {
        if (wanted > region * kMaxInflateRatio)
            throw fail();
    } else if (t.DirectoryCompressed == 0) {
        if (wanted > region)
            throw fail();
    } else {
        throw fail();
    }

    QByteArray raw;
    if (wanted > 0) {
        if (!file.seek(t.DirectoryOffset))
            throw fail();
        if (t.DirectoryCompressed == 0) {
            raw = file.read(wanted);
            if (raw.size() != wanted)
                throw fail();
        } else {
            // The buffer grows with what really comes out of the stream, never with what the trailer claims.
            startPhase(TProgressPhase::ReadingDirectory, kReadingDirectory, wanted);
            ChunkTicker ticker(wanted);
            InflateStream inflater;
            z_stream& zs = inflater.zs;
            std::vector<char> in(std::min<qint64>(region, kIoChunk));
            qint64 inLeft = region;
            qint64 done = 0;
            while (done < wanted) {
                if (zs.avail_in == 0) {
                    if (inLeft == 0)
                        throw fail();
                    const qint64 n = file.read(in.data(), std::min<qint64>(inLeft, static_cast<qint64>(in.size())));
                    if (n <= 0)
                        throw fail();
                    inLeft -= n;
                    zs.next_in = reinterpret_cast<Bytef*>(in.data());
                    zs.avail_in = static_cast<uInt>(n);
                }
                const qint64 piece = std::min(kProgressChunk, wanted - done);
                raw.resize(done + piece);
                zs.next_out = reinterpret_cast<Bytef*>(raw.data() + done);
                zs.avail_out = static_cast<uInt>(piece);
                const int rc = inflate(&zs, Z_NO_FLUSH);
                done += piece - zs.avail_out;
                raw.resize(done);
                if (rc == Z_STREAM_END && done < wanted)
                    throw fail();
                if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && zs.avail_in == 0))
                    throw fail();
                ticker.advance(done, [this](qint64 at) { progress(at); });
            }
        }
    }

    std::vector<TArchiveEntry> entries;
    entries.reserve(static_cast<size_t>(t.Count));
    // Blocks lie in directory order without overlapping and end before the directory; anything else would let
    // UpdateFile copy one member's bytes under another's name.
    qint64 previousEnd = 0;
    for (qint64 i = 0; i < t.Count; ++i) {
        TArchiveEntry e = TArchiveEntry::fromBytes(raw.constData() + i * TArchiveEntry::Size);
        const qint64 end = qint64(e.DataOffset) + e.StoredSize;
        if (e.DataOffset < previousEnd || end > t.DirectoryOffset)
            throw fail();
        previousEnd = end;
        entries.push_back(std::move(e));
    }
    return entries;
}

int ZlbArchive::FileCount() const
{
    requireOpen();
    return trailer_.Count;
}

void ZlbArchive::GetFileEntry(int index, TArchiveEntry& entry) const
{
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        throw Error(kIndexOutOfBounds);
    entry = entries_[static_cast<size_t>(index)];
}

TArchiveEntry ZlbArchive::GetFileEntry(int index) const
{
    TArchiveEntry entry;
    GetFileEntry(index, entry);
    return entry;
}

QString ZlbArchive::MemberKey(const QString& sourceFileName) const
{
    QString folder, name;
    splitPath(sourceFileName, folder, name);
    return savePaths_ ? storedFolder(folder) + name : name;
}

QString ZlbArchive::storedKey(const QString& name) const
{
    QString folder, file;
    splitPath(name, folder, file);
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (savePaths_)
        folder = storedFolder(folder);
    // The key as a record would hold it: through the code page and cut to 255 bytes, so that a name with characters
    // the code page lacks still finds its own member.
    return codepage::fromWindows1250(storedName(folder)) + codepage::fromWindows1250(storedName(file));
}

int ZlbArchive::FindFile(const QString& name) const
{
    requireOpen();
    const QString key = storedKey(name);
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (QString::compare(entries_[i].filePath() + entries_[i].fileName(), key, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

qint64 ZlbArchive::modifiedStamp(const QFileInfo& info)
{
    return info.lastModified().toMSecsSinceEpoch();
}

} // namespace vestrum
