#pragma once

// An archive reader of the tests' own, written from the file layout alone with zlib's one-call uncompress, so
// that what the program writes is read by something other than the program: trailer, directory (one zlib
// stream or plain records), then each member's block, inflated whole and checked against its CRC-32.

#include <QByteArray>
#include <QtEndian>

#include <zlib.h>

#include <map>
#include <stdexcept>

namespace vestrum::testing {

inline QByteArray UncompressWhole(const QByteArray& packed, qsizetype expected)
{
    QByteArray out(std::max<qsizetype>(expected, 1), '\0');
    uLongf length = static_cast<uLongf>(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(packed.constData()),
                   static_cast<uLong>(packed.size())) != Z_OK
        || static_cast<qsizetype>(length) != expected)
        throw std::runtime_error("a zlib stream of the archive does not inflate to its declared size");
    out.resize(expected);
    return out;
}

// Every member of the archive bytes `file`, by name (the record's bytes as they are).
inline std::map<QByteArray, QByteArray> ReadArchiveIndependently(const QByteArray& file)
{
    constexpr qsizetype trailerSize = 36, recordSize = 532;
    if (file.size() < trailerSize)
        throw std::runtime_error("no trailer");
    const char* trailer = file.constData() + file.size() - trailerSize;
    const auto count = qFromLittleEndian<qint32>(trailer + 4);
    const auto directoryAt = qFromLittleEndian<qint32>(trailer + 16);
    const QByteArray directoryBytes = file.mid(directoryAt, file.size() - trailerSize - directoryAt);
    const QByteArray directory
        = trailer[20] == 1 ? UncompressWhole(directoryBytes, count * recordSize) : directoryBytes;
    std::map<QByteArray, QByteArray> members;
    for (qint32 i = 0; i < count; ++i) {
        const char* record = directory.constData() + i * recordSize;
        const QByteArray name(record + 1, static_cast<unsigned char>(record[0]));
        const auto unpacked = qFromLittleEndian<quint32>(record + 512);
        const auto stored = qFromLittleEndian<quint32>(record + 516);
        const auto offset = qFromLittleEndian<quint32>(record + 520);
        const auto crc = qFromLittleEndian<quint32>(record + 524);
        const QByteArray block = file.mid(offset, stored);
        const QByteArray bytes = record[528] == 1 ? block : UncompressWhole(block, unpacked);
        if (crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), static_cast<uInt>(bytes.size())) != crc)
            throw std::runtime_error("a member does not match its CRC-32");
        members[name] = bytes;
    }
    return members;
}

} // namespace vestrum::testing
