#pragma once

// What an archive file looks like on disk. Every data file (*.naj), restore point (*.nar) and offline update
// package (*.dat) of the program is such an archive.
//
// Layout, little-endian, integers 32-bit:
//   member blocks from offset 0, back to back in directory order (a zlib stream, or the bytes as they are);
//   the directory at DirectoryOffset: Count records of 532 bytes, as one zlib stream or plain;
//   a 36-byte trailer whose CRC covers every byte before it.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace vestrum {

// Ordinals are stored in the Level byte of a record, so the order must not change.
enum TFileCompressionLevel : std::uint8_t { fcNone = 0, fcFastest = 1, fcDefault = 2, fcMaximum = 3 };

// The 36 bytes at the end of every non-empty archive.
struct TArchiveTrailer {
    static constexpr int Size = 36;

    std::uint32_t CRC = 0;             // CRC-32 of every byte before the trailer
    std::int32_t Count = 0;            // number of members
    std::int32_t FormatMark = 0;       // always written as 1, never checked
    std::int32_t DirectoryPackedSize = 0; // compressed directory length, 0 when plain; not used on reading
    std::int32_t DirectoryOffset = 0;  // where the directory begins (= length of all member data)
    std::uint8_t DirectoryCompressed = 0; // 1 = one zlib stream, 0 = plain records

    QByteArray toBytes() const;
    static TArchiveTrailer fromBytes(const char* bytes); // reads exactly Size bytes
};

// One 532-byte directory record. Names keep the bytes of the file: single-byte Windows-1250 text
// (at most 255 bytes each), the folder in FilePath written with "\" and ending in one.
struct TArchiveEntry {
    static constexpr int Size = 532;

    QByteArray FileName;
    QByteArray FilePath;
    std::uint32_t UnpackedSize = 0;
    std::uint32_t StoredSize = 0;
    std::uint32_t DataOffset = 0;
    std::uint32_t CRC = 0;       // CRC-32 of the member's uncompressed bytes
    std::uint8_t Stored = 0;     // 1 = the block holds the bytes as they are
    std::uint8_t Level = 0;      // TFileCompressionLevel used, 0 when stored

    QString fileName() const;
    QString filePath() const;

    void toBytes(char* out) const; // writes exactly Size bytes
    static TArchiveEntry fromBytes(const char* bytes);
};

} // namespace vestrum
