#pragma once

// ZlbArchive keeps several files in one compressed archive file (its bytes: archive/archive_records.h).
// The archive file is held open only inside one operation; between operations only the directory is kept.

#include "archive/archive_records.h"
#include "archive/block_deflate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class QFile;
class QFileInfo;

namespace vestrum {

class ArchiveMemberOutput;

enum class TProgressPhase { Idle, ReadingDirectory, Extracting, Adding, Updating, WritingDirectory };

class ZlbArchive {
public:
    using TReplaceFileEvent = std::function<void(const QString& fileName, bool& replace)>;
    using TFileExtractedEvent = std::function<void(const QString& fileName)>;
    using TNotifyEvent = std::function<void()>;
    using TProgressEvent = std::function<void(const QString& msg, int percentage)>;

    ZlbArchive();
    virtual ~ZlbArchive();
    ZlbArchive(const ZlbArchive&) = delete;
    ZlbArchive& operator=(const ZlbArchive&) = delete;

    // Returns false (and stays closed) for an empty name; otherwise reads and checks the file or throws.
    bool OpenArchive(const QString& fileName);
    void CloseArchive();

    int FileCount() const;
    void GetFileEntry(int index, TArchiveEntry& entry) const;
    TArchiveEntry GetFileEntry(int index) const;
    // Index of the member whose stored folder + name equals the key made from `name`, case-insensitively; -1 if none.
    int FindFile(const QString& name) const;

    // AddFile, AddFiles and UpdateFile rebuild the archive once; a failure during the rebuild leaves the old archive
    // whole and is not thrown (callers check with FindFile, or read LastFailure). Their precondition checks do throw
    // (AddFiles: a name already in the archive or given twice, before anything is written).
    void AddFile(const QString& sourceFileName);
    void AddFiles(const QStringList& sourceFileNames);
    void UpdateFile(const QString& sourceFileName, int index);
    void ExtractAll(const QString& targetFolder);
    // Extracts the one member `index` straight into the existing `targetFolder` (never into a stored folder),
    // replacing a file of its name; no more than its declared unpacked size is ever written.
    void ExtractFile(int index, const QString& targetFolder);
    // Inflates every member without writing it and compares its CRC; throws for the first faulty member.
    void CheckMembers();
    // As CheckMembers, for the archive `writer` has just rebuilt: a member it deflated in blocks is compared with
    // the file it was made from instead, every core taking blocks (the file must not have changed since).
    void CheckMembersWrittenBy(const ZlbArchive& writer);

    // The key under which AddFile stores a source file, as FindFile expects it.
    QString MemberKey(const QString& sourceFileName) const;

    bool IsOpen() const { return !fileName_.isEmpty(); }
    const QString& FileName() const { return fileName_; }
    const TArchiveTrailer& Trailer() const { return trailer_; }
    // The message of the failure the last AddFile/UpdateFile swallowed; empty when it succeeded.
    const QString& LastFailure() const { return lastFailure_; }
    TProgressPhase ProgressPhase() const { return phase_; }

    TFileCompressionLevel CompressionLevel() const { return compressionLevel_; }
    void SetCompressionLevel(TFileCompressionLevel level) { compressionLevel_ = level; }
    bool ExtractWithPath() const { return extractWithPath_; }
    void SetExtractWithPath(bool on) { extractWithPath_ = on; }
    bool CheckCRC() const { return checkCrc_; }
    void SetCheckCRC(bool on) { checkCrc_ = on; }
    bool SavePaths() const { return savePaths_; }
    void SetSavePaths(bool on) { savePaths_ = on; }

    TReplaceFileEvent OnReplaceFile;
    TFileExtractedEvent OnFileExtracted;
    TNotifyEvent OnArchiveOpened;
    TProgressEvent OnProgress;

protected:
    // A fresh, empty, uniquely named file in `folder`, in the program's temporary pattern. Rebuilt archives and extracted members are first
    // written to such a file beside their destination, so that the final rename stays within one file system.
    virtual QString MakeTempFileName(const QString& folder);
    // Called when the rebuilt archive is complete and flushed to disk, just before it is renamed over the old
    // one. Tests throw from here to play a crash at the worst moment.
    virtual void BeforeReplace(const QString& tempFileName);

private:
    class Writer;
    friend class Writer;

    static qint64 modifiedStamp(const QFileInfo& info);
    void requireOpen() const;
    QString storedKey(const QString& name) const;
    void closeQuietly();
    std::vector<TArchiveEntry> readDirectory(QFile& file, qint64 fileSize, const TArchiveTrailer& trailer);
    void rebuild(const std::function<std::vector<TArchiveEntry>(QFile& archive, Writer& out)>& body);
    void compressSource(const QString& sourceFileName, Writer& out, TArchiveEntry& entry, TProgressPhase phase);
    void writeDirectoryAndTrailer(Writer& out, const std::vector<TArchiveEntry>& entries);
    void streamMember(QFile& archive, int number, ArchiveMemberOutput& output);
    QString extractFolderFor(const QString& targetFolder, int number, bool withPath) const;
    void extractMember(QFile& archive, int number, const QString& target);

    void startPhase(TProgressPhase phase, const QString& message, qint64 total);
    void progress(qint64 done);
    void progressIdle();

    // A member the last rebuild deflated in blocks: where its bytes begin in the new archive, and how they are cut.
    struct BlockDeflatedMember {
        QString source;
        qint64 dataOffset = 0;
        qint64 packedSize = 0;
        qint64 size = 0;
        blockdeflate::Layout layout;
    };
    const BlockDeflatedMember* blockDeflatedAt(qint64 dataOffset) const;
    void checkAllMembers(const ZlbArchive* writer);
    void checkMember(QFile& archive, int number, const ZlbArchive* writer);

    QString fileName_;
    TArchiveTrailer trailer_;
    std::vector<BlockDeflatedMember> blockDeflated_;
    std::vector<TArchiveEntry> entries_;
    qint64 openedSize_ = 0;
    qint64 openedModified_ = 0;
    QString lastFailure_;

    TFileCompressionLevel compressionLevel_ = fcDefault;
    bool extractWithPath_ = false;
    bool checkCrc_ = false;
    bool savePaths_ = false;

    TProgressPhase phase_ = TProgressPhase::Idle;
    QString phaseMessage_;
    qint64 phaseTotal_ = 0;
    bool destroying_ = false;
};

} // namespace vestrum
