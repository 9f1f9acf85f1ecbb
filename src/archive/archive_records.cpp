#include "archive/archive_records.h"

#include "base/codepage.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace vestrum {

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

} // namespace vestrum
