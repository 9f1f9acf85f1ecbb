// libFuzzer target: arbitrary bytes are opened as an archive, extracted into a scratch folder and checked.
// Whatever the bytes say, the process must not crash, and nothing may be written outside the target folder.
#include "base/error.h"
#include "archive/zlb_archive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir work;
    if (!work.isValid())
        std::abort();

    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Nearly every mutation breaks the trailer's CRC and would stop at the first check. Unless the last reserved
    // trailer byte is set, the CRC is mended, so the mutations reach the directory and the members.
    const bool mendCrc = size >= 36 && data[size - 1] == 0;
    if (mendCrc) {
        const auto crc = crc32(0, data, static_cast<uInt>(size - 36));
        qToLittleEndian<std::uint32_t>(static_cast<std::uint32_t>(crc), bytes.data() + size - 36);
    }
    const std::uint8_t options = size >= 2 ? data[size - 2] : 0;

    const QString archivePath = work.filePath(QStringLiteral("a.naj"));
    const QString target = work.filePath(QStringLiteral("out"));
    {
        QFile file(archivePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            std::abort();
    }

    vestrum::ZlbArchive archive;
    archive.SetExtractWithPath(options & 1);
    archive.SetCheckCRC(options & 2);
    try {
        if (archive.OpenArchive(archivePath)) {
            archive.ExtractAll(target);
            archive.CheckMembers();
        }
    } catch (const vestrum::Error&) {
    }

    const QStringList left = QDir(work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : left) {
        if (name != QLatin1String("a.naj") && name != QLatin1String("out")) {
            std::fprintf(stderr, "written outside the target folder: %s\n", qPrintable(name));
            std::abort();
        }
    }
    QDir(target).removeRecursively();
    return 0;
}
