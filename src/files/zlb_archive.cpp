#include "files/zlb_archive.h"

#include "base/error.h"
#include "base/codepage.h"
#include "files/block_deflate.h"
#include "files/temp_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vestrum {
namespace {

const QString kNotOpen = QStringLiteral("Nie otwarto żadnego zbioru skompresowanego");
const QString kNotFound = QStringLiteral("Nie można odnaleźć wskazanego zbioru");
const QString kCorrupt = QStringLiteral("Skompresowany zbiór jest uszkodzony");
const QString kDirectoryUnreadable = QStringLiteral("Nie można odczytać listy zbiorów znajdujących się w archiwum");
const QString kIndexOutOfBounds = QStringLiteral("Index out of bounds");
const QString kAlreadyExists = QStringLiteral("Plik już istnieje");
const QString kNoSuchMember = QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór");
const QString kFolderNotMade = QStringLiteral("Docelowa kartoteka nie może zostać utworzona");
const QString kReadingDirectory = QStringLiteral("Rozpakowywanie rejestrów kompresji");
const QString kWritingDirectory = QStringLiteral("Zapisuje rejestru kompresji");

Error cannotOpen(const QString& path)
{
    return Error(QStringLiteral("nie można otworyć pliku (%1)").arg(path));
}

Error memberCorrupt(int number)
{
    return Error(QStringLiteral("Plik (%1) jest uszkodzony").arg(number));
}

// Progress is promised per 4 KiB of data, but moving data 4 KiB at a time costs a good share of the
// throughput; so the data moves in large pieces and the 4 KiB events are fired afterwards.
constexpr qint64 kIoChunk = 256 * 1024;
constexpr qint64 kProgressChunk = 4096;
constexpr int kCompressorBuffer = 65536;
// deflate cannot expand data more than about 1032 times (258 bytes per two-bit code); a directory or member that
// claims more than that from the bytes it has is lying, and is refused before anything is allocated for it.
constexpr qint64 kMaxInflateRatio = 1032;
constexpr qint64 kMaxDirectoryOffset = std::numeric_limits<std::int32_t>::max();

int zlibLevel(TFileCompressionLevel level)
{
    switch (level) {
    case fcNone: return Z_NO_COMPRESSION;
    case fcFastest: return Z_BEST_SPEED;
    case fcDefault: return Z_DEFAULT_COMPRESSION;
    case fcMaximum: return Z_BEST_COMPRESSION;
    }
    return Z_DEFAULT_COMPRESSION;
}

std::uint32_t crcUpdate(std::uint32_t crc, const char* data, qint64 size)
{
    return static_cast<std::uint32_t>(
        crc32_z(crc, reinterpret_cast<const Bytef*>(data), static_cast<z_size_t>(size)));
}

struct DeflateStream {
    z_stream zs{};
    explicit DeflateStream(int level)
    {
        if (deflateInit(&zs, level) != Z_OK)
            throw std::bad_alloc();
    }
    ~DeflateStream() { deflateEnd(&zs); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
};

struct InflateStream {
    z_stream zs{};
    InflateStream()
    {
        if (inflateInit(&zs) != Z_OK)
            throw std::bad_alloc();
    }
    ~InflateStream() { inflateEnd(&zs); }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
};

// Fires one event for every completed 4 KiB of a phase and one for a last, shorter piece.
class ChunkTicker {
public:
    explicit ChunkTicker(qint64 total) : total_(total) {}
    template <typename Fire> void advance(qint64 done, Fire&& fire)
    {
        while (reported_ + kProgressChunk <= done) {
            reported_ += kProgressChunk;
            fire(reported_);
        }
        if (done == total_ && reported_ < total_) {
            reported_ = total_;
            fire(total_);
        }
    }

private:
    qint64 total_;
    qint64 reported_ = 0;
};

// Removes a temporary file unless it was put in its place.
class TempFileGuard {
public:
    explicit TempFileGuard(QString path) : path_(std::move(path)) {}
    ~TempFileGuard()
    {
        if (!path_.isEmpty())
            QFile::remove(path_);
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void release() { path_.clear(); }

private:
    QString path_;
};

bool syncToDisk(QFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    return true;
#endif
}

// After a rename the folder entry itself must reach the disk, or a power cut can bring back the old name.
void syncFolder(const QString& folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

// One step that swaps the new file in: rename(2) on POSIX, MoveFileEx with replace on Windows.
void replaceFile(const QString& from, const QString& to)
{
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), ec);
    if (ec)
        throw cannotOpen(to);
}

QByteArray storedName(const QString& text)
{
    return codepage::toWindows1250(text).left(255);
}

// "C:\dane\x.mdb" -> folder "C:\dane\" and name "x.mdb"; both separators count, as names may come from Windows.
void splitPath(const QString& path, QString& folder, QString& name)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    folder = path.left(cut + 1);
    name = path.mid(cut + 1);
}

// The folder as records keep it: "\" separators, nothing up to and including the first ":".
QString storedFolder(QString folder)
{
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const qsizetype colon = folder.indexOf(QLatin1Char(':'));
    if (colon >= 0)
        folder.remove(0, colon + 1);
    return folder;
}

// A name that could reach outside the target folder, or that no file system accepts.
bool unsafeName(const QString& part)
{
    return part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")
        || part.contains(QLatin1Char('/')) || part.contains(QLatin1Char('\\')) || part.contains(QLatin1Char(':'))
        || part.contains(QChar(0));
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

qint64 modifiedStamp(const QFileInfo& info)
{
    return info.lastModified().toMSecsSinceEpoch();
}

// A member over a megabyte is deflated in blocks on every core; a smaller one is not worth the threads.
constexpr qint64 kBlocksFrom = 1024 * 1024;

using Deflated = blockdeflate::Outcome;

// One deflate stream on the calling thread: `write` gets a 64 KiB buffer at a time and stops the stream by
// returning false.
Deflated deflateInOneStream(qint64 size, int level, const blockdeflate::ReadFn& read,
                            const blockdeflate::WriteFn& write, const blockdeflate::ProgressFn& progress)
{
    Deflated outcome;
    std::vector<char> in(kIoChunk);
    std::vector<char> buffer(kCompressorBuffer);
    DeflateStream deflater(level);
    z_stream& zs = deflater.zs;
    zs.next_out = reinterpret_cast<Bytef*>(buffer.data());
    zs.avail_out = kCompressorBuffer;
    qint64 taken = 0;
    for (;;) {
        const qint64 n = std::min(kIoChunk, size - taken);
        read(in.data(), n);
        taken += n;
        outcome.crc = crcUpdate(outcome.crc, in.data(), n);
        const int flush = taken == size ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = static_cast<uInt>(n);
        for (;;) {
            const int rc = deflate(&zs, flush);
            if (rc == Z_STREAM_ERROR)
                throw std::bad_alloc();
            if (zs.avail_out == 0) {
                outcome.packedSize += kCompressorBuffer;
                if (!write(buffer.data(), kCompressorBuffer))
                    return outcome;
                zs.next_out = reinterpret_cast<Bytef*>(buffer.data());
                zs.avail_out = kCompressorBuffer;
                progress(static_cast<qint64>(zs.total_in));
                continue;
            }
            if (rc == Z_STREAM_END) {
                const qint64 rest = kCompressorBuffer - zs.avail_out;
                outcome.packedSize += rest;
                outcome.complete = write(buffer.data(), rest);
                return outcome;
            }
            break;
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------
// Records

QByteArray TArchiveTrailer::toBytes() const
{
    QByteArray out(Size, '\0');
    char* p = out.data();
    qToLittleEndian<std::uint32_t>(CRC, p);
    qToLittleEndian<std::int32_t>(Count, p + 4);
    qToLittleEndian<std::int32_t>(FormatMark, p + 8);
    qToLittleEndian<std::int32_t>(DirectoryPackedSize, p + 12);
    qToLittleEndian<std::int32_t>(DirectoryOffset, p + 16);
    p[20] = static_cast<char>(DirectoryCompressed);
    return out;
}

TArchiveTrailer TArchiveTrailer::fromBytes(const char* p)
{
    TArchiveTrailer t;
    t.CRC = qFromLittleEndian<std::uint32_t>(p);
    t.Count = qFromLittleEndian<std::int32_t>(p + 4);
    t.FormatMark = qFromLittleEndian<std::int32_t>(p + 8);
    t.DirectoryPackedSize = qFromLittleEndian<std::int32_t>(p + 12);
    t.DirectoryOffset = qFromLittleEndian<std::int32_t>(p + 16);
    t.DirectoryCompressed = static_cast<std::uint8_t>(p[20]);
    return t;
}

QString TArchiveEntry::fileName() const
{
    return codepage::fromWindows1250(FileName);
}

QString TArchiveEntry::filePath() const
{
    return codepage::fromWindows1250(FilePath);
}

void TArchiveEntry::toBytes(char* p) const
{
    std::memset(p, 0, Size);
    const auto putString = [](char* at, const QByteArray& text) {
        const auto length = static_cast<int>(std::min<qsizetype>(text.size(), 255));
        at[0] = static_cast<char>(length);
        std::memcpy(at + 1, text.constData(), static_cast<size_t>(length));
    };
    putString(p, FileName);
    putString(p + 256, FilePath);
    qToLittleEndian<std::uint32_t>(UnpackedSize, p + 512);
    qToLittleEndian<std::uint32_t>(StoredSize, p + 516);
    qToLittleEndian<std::uint32_t>(DataOffset, p + 520);
    qToLittleEndian<std::uint32_t>(CRC, p + 524);
    p[528] = static_cast<char>(Stored);
    p[529] = static_cast<char>(Level);
}

TArchiveEntry TArchiveEntry::fromBytes(const char* p)
{
    TArchiveEntry e;
    e.FileName = QByteArray(p + 1, static_cast<unsigned char>(p[0]));
    e.FilePath = QByteArray(p + 257, static_cast<unsigned char>(p[256]));
    e.UnpackedSize = qFromLittleEndian<std::uint32_t>(p + 512);
    e.StoredSize = qFromLittleEndian<std::uint32_t>(p + 516);
    e.DataOffset = qFromLittleEndian<std::uint32_t>(p + 520);
    e.CRC = qFromLittleEndian<std::uint32_t>(p + 524);
    e.Stored = static_cast<std::uint8_t>(p[528]);
    e.Level = static_cast<std::uint8_t>(p[529]);
    return e;
}

// ---------------------------------------------------------------------------------------------------------------
// Writing a new archive: keeps the length and the running CRC of everything written, so the trailer's CRC
// needs no second pass over the file.

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

// ---------------------------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------------------------
// Rebuilding

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
        TempFileGuard guard(tempPath);
        QFile temp(tempPath);
        if (!temp.open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw cannotOpen(tempPath);
        temp.setPermissions(QFile::permissions(replacedPath));

        Writer out(temp);
        const std::vector<TArchiveEntry> entries = body(archive, out);
        writeDirectoryAndTrailer(out, entries);
        archive.close();
        if (!syncToDisk(temp))
            throw cannotOpen(tempPath);
        temp.close();

        BeforeReplace(tempPath);
        replaceFile(tempPath, replacedPath);
        guard.release();
        syncFolder(QFileInfo(replacedPath).absolutePath());

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

// ---------------------------------------------------------------------------------------------------------------
// Extracting

// Where a member's bytes go. The member is decoded straight into the output's own buffers, so a file output can
// write one buffer on a second thread while the next is being inflated.
class ArchiveMemberOutput {
public:
    virtual ~ArchiveMemberOutput() = default;
    virtual char* acquire(qint64& capacity) = 0;
    virtual void release(qint64 used) = 0; // hands over the buffer last acquired
};

namespace {

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

constexpr qint64 kThreadedOutputFrom = 1024 * 1024;

} // namespace

// Decodes one member into `output`. The block is read no further than its StoredSize, and a member that would
// inflate past its UnpackedSize, end short of it or fail its zlib check is corrupt; bytes past UnpackedSize are
// never handed on.
void ZlbArchive::streamMember(QFile& archive, int number, ArchiveMemberOutput& output)
{
    const TArchiveEntry& e = entries_[static_cast<size_t>(number)];
    if (!archive.seek(e.DataOffset))
        throw memberCorrupt(number);
    const qint64 total = e.UnpackedSize;
    startPhase(TProgressPhase::Extracting, QStringLiteral("Rozpakowywanie %1").arg(e.fileName()), total);
    ChunkTicker ticker(total);
    const auto tick = [this](qint64 at) { progress(at); };
    qint64 capacity = 0;

    if (e.Stored == 1) {
        if (e.StoredSize != e.UnpackedSize)
            throw memberCorrupt(number);
        qint64 done = 0;
        while (done < total) {
            char* buffer = output.acquire(capacity);
            const qint64 n = archive.read(buffer, std::min(total - done, capacity));
            if (n <= 0)
                throw memberCorrupt(number);
            output.release(n);
            done += n;
            ticker.advance(done, tick);
        }
        return;
    }

    if (total > qint64(e.StoredSize) * kMaxInflateRatio)
        throw memberCorrupt(number);
    InflateStream inflater;
    z_stream& zs = inflater.zs;
    std::vector<char> in(std::min<qint64>(std::max<qint64>(e.StoredSize, 1), kIoChunk));
    qint64 inLeft = e.StoredSize;
    char* buffer = output.acquire(capacity);
    qint64 filled = 0;
    for (;;) {
        if (zs.avail_in == 0) {
            if (inLeft == 0)
                throw memberCorrupt(number);
            const qint64 n = archive.read(in.data(), std::min<qint64>(inLeft, static_cast<qint64>(in.size())));
            if (n <= 0)
                throw memberCorrupt(number);
            inLeft -= n;
            zs.next_in = reinterpret_cast<Bytef*>(in.data());
            zs.avail_in = static_cast<uInt>(n);
        }
        zs.next_out = reinterpret_cast<Bytef*>(buffer + filled);
        zs.avail_out = static_cast<uInt>(capacity - filled);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && zs.avail_in == 0))
            throw memberCorrupt(number);
        const auto produced = static_cast<qint64>(zs.total_out);
        if (produced > total)
            throw memberCorrupt(number);
        filled = capacity - zs.avail_out;
        if (filled == capacity || rc == Z_STREAM_END) {
            output.release(filled);
            ticker.advance(produced, tick);
            if (rc == Z_STREAM_END) {
                if (produced != total)
                    throw memberCorrupt(number);
                return;
            }
            buffer = output.acquire(capacity);
            filled = 0;
        }
    }
}

// The folder a member goes to. Names and stored folders come from the file, so no part of them may climb out of
// the target folder or name a drive; such a member is refused as corrupt.
QString ZlbArchive::extractFolderFor(const QString& targetFolder, int number, bool withPath) const
{
    const TArchiveEntry& e = entries_[static_cast<size_t>(number)];
    if (unsafeName(e.fileName()))
        throw memberCorrupt(number);
    QString folder = QDir::cleanPath(targetFolder);
    if (withPath) {
        // Doubled and trailing backslashes fall away with the empty parts.
        QString path = e.filePath();
        path.replace(QLatin1Char('/'), QLatin1Char('\\'));
        const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
        for (const QString& part : parts) {
            if (part == QLatin1String("."))
                continue;
            if (unsafeName(part))
                throw memberCorrupt(number);
            folder = joinPath(folder, part);
        }
    }
    return folder;
}

void ZlbArchive::extractMember(QFile& archive, int number, const QString& target)
{
    const TArchiveEntry& e = entries_[static_cast<size_t>(number)];
    // Written beside the target and renamed over it when whole and checked: a corrupt member never replaces a
    // good file of the same name with a half-written one.
    QString tempPath;
    try {
        tempPath = MakeTempFileName(QFileInfo(target).absolutePath());
    } catch (const Error&) {
        throw cannotOpen(target);
    }
    TempFileGuard guard(tempPath);
    QFile out(tempPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw cannotOpen(target);
    std::uint32_t crc = 0;
    if (e.UnpackedSize >= kThreadedOutputFrom) {
        ThreadedFileOutput output(out, checkCrc_, target);
        streamMember(archive, number, output);
        output.finish();
        crc = output.crc();
    } else {
        PlainFileOutput output(out, checkCrc_, target);
        streamMember(archive, number, output);
        crc = output.crc;
    }
    if (checkCrc_ && crc != e.CRC)
        throw memberCorrupt(number);
    if (!out.flush())
        throw cannotOpen(target);
    out.close();
    replaceFile(tempPath, target);
    guard.release();
}

void ZlbArchive::ExtractAll(const QString& targetFolder)
{
    requireOpen();
    QFile archive(fileName_);
    if (!archive.open(QIODevice::ReadOnly))
        throw cannotOpen(fileName_);
    if (targetFolder.isEmpty())
        throw Error(kFolderNotMade);

    for (size_t i = 0; i < entries_.size(); ++i) {
        const int number = static_cast<int>(i);
        const QString folder = extractFolderFor(targetFolder, number, extractWithPath_);
        QDir().mkpath(folder);
        if (!QFileInfo(folder).isDir())
            throw Error(kFolderNotMade);
        const QString target = joinPath(folder, entries_[i].fileName());
        const QFileInfo targetInfo(target);
        if (targetInfo.exists() && OnReplaceFile) {
            bool replace = false;
            OnReplaceFile(target, replace);
            if (!replace)
                continue;
        }
        extractMember(archive, number, target);
        if (OnFileExtracted)
            OnFileExtracted(target);
    }
    archive.close();
    progressIdle();
}

void ZlbArchive::ExtractFile(int index, const QString& targetFolder)
{
    requireOpen();
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        throw Error(kNoSuchMember);
    if (targetFolder.isEmpty() || !QFileInfo(targetFolder).isDir())
        throw Error(kFolderNotMade);
    QFile archive(fileName_);
    if (!archive.open(QIODevice::ReadOnly))
        throw cannotOpen(fileName_);
    const QString folder = extractFolderFor(targetFolder, index, false);
    extractMember(archive, index, joinPath(folder, entries_[static_cast<size_t>(index)].fileName()));
    archive.close();
    progressIdle();
}

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

// ---------------------------------------------------------------------------------------------------------------
// Progress

void ZlbArchive::startPhase(TProgressPhase phase, const QString& message, qint64 total)
{
    phase_ = phase;
    phaseMessage_ = message;
    phaseTotal_ = total;
}

void ZlbArchive::progress(qint64 done)
{
    if (!OnProgress || destroying_)
        return;
    int percentage = 0;
    if (phaseTotal_ > 0)
        percentage = static_cast<int>(std::lround(double(done) * 100.0 / double(phaseTotal_)));
    else if (phase_ != TProgressPhase::WritingDirectory)
        percentage = 100; // an empty member or source is done as soon as it starts
    OnProgress(phaseMessage_, percentage);
}

void ZlbArchive::progressIdle()
{
    startPhase(TProgressPhase::Idle, fileName_, 0);
    if (!OnProgress || destroying_)
        return;
    OnProgress(fileName_, 0);
}

} // namespace vestrum
