#include "cli/archive_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "datafile/save.h"
#include "archive/staged_files.h"
#include "archive/zlb_archive.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <optional>

namespace vestrum::archive {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::kUsage;

const char* const kUsageText =
    "Użycie:\n"
    "  vestrum-cli archive list ARCHIWUM\n"
    "  vestrum-cli archive add ARCHIWUM PLIK... [--level none|fastest|default|maximum]\n"
    "  vestrum-cli archive update ARCHIWUM NUMER PLIK\n"
    "  vestrum-cli archive extract ARCHIWUM KATALOG [--check-crc]\n"
    "  vestrum-cli archive check ARCHIWUM\n";

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem, kUsageText);
}

std::optional<TFileCompressionLevel> parseLevel(const QString& word)
{
    if (word == QLatin1String("none"))
        return fcNone;
    if (word == QLatin1String("fastest"))
        return fcFastest;
    if (word == QLatin1String("default"))
        return fcDefault;
    if (word == QLatin1String("maximum"))
        return fcMaximum;
    return std::nullopt;
}

int list(const QStringList& words, QTextStream& out)
{
    ZlbArchive archive;
    archive.OpenArchive(words[0]);
    const QChar tab = QLatin1Char('\t');
    for (int i = 0; i < archive.FileCount(); ++i) {
        const TArchiveEntry e = archive.GetFileEntry(i);
        out << i << tab << e.fileName() << tab << e.UnpackedSize << tab << e.StoredSize << tab << e.DataOffset
            << tab << QStringLiteral("%1").arg(e.CRC, 8, 16, QLatin1Char('0')) << tab << int(e.Stored) << tab
            << int(e.Level) << '\n';
    }
    return kOk;
}

// Every file to be added must be there before anything is written: a refusal leaves no archive behind.
void requireFiles(const QStringList& files)
{
    for (const QString& file : files) {
        if (!QFileInfo(file).isFile())
            throw Error(datafiles::MissingFileMessage(file));
    }
}

bool isDataFile(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("naj"), Qt::CaseInsensitive) == 0;
}

// Puts every file into the archive at `written` in one rebuild; false, with the archive's message told, when
// the rebuild failed and the file kept its old content.
bool addAll(const QString& written, const QStringList& files, TFileCompressionLevel level, QTextStream& err)
{
    ZlbArchive archive;
    archive.SetCompressionLevel(level);
    archive.OpenArchive(written);
    archive.AddFiles(files);
    if (archive.LastFailure().isEmpty())
        return true;
    err << archive.LastFailure() << '\n';
    return false;
}

// Removes a staged new archive unless it was given its name.
struct StagedArchive {
    QString path;
    ~StagedArchive()
    {
        if (!path.isEmpty())
            QFile::remove(path);
    }
};

// One command is one change: all the files go in with one rebuild and one rename, or none does. A new data file
// is built whole under a staging name beside its target and then given the name in one step, so a command
// killed at any moment leaves no file where there was none; the target's lock (its folder's, while it does not
// exist) makes a second command wait and then add to the file the first one made.
int add(const QString& archivePath, const QStringList& files, TFileCompressionLevel level, QTextStream& err)
{
    requireFiles(files);
    datafiles::RefuseTarget(archivePath);
    datafiles::ClearAbandonedStaging(archivePath);
    for (;;) {
        const datafiles::DataFileLock lock(archivePath);
        const QFileInfo target(archivePath);
        if (target.exists() || target.isSymLink())
            return addAll(archivePath, files, level, err) ? kOk : kFailed;
        StagedArchive staged{tempfiles::createFile(target.absolutePath())};
        if (staged.path.isEmpty())
            throw Error(QStringLiteral("nie można otworyć pliku (%1)").arg(archivePath));
        // An empty file is an archive without members.
        if (!addAll(staged.path, files, level, err))
            return kFailed;
        if (datafiles::PlaceAsNewFile(staged.path, archivePath)) {
            staged.path.clear();
            return kOk;
        }
        // A file took the name meanwhile without waiting for the lock: the files go into that one.
    }
}

int update(const QString& archivePath, int index, const QString& file, QTextStream& err)
{
    requireFiles({file});
    datafiles::RefuseTarget(archivePath);
    datafiles::ClearAbandonedStaging(archivePath);
    const datafiles::DataFileLock lock(archivePath);
    ZlbArchive archive;
    archive.OpenArchive(archivePath);
    // The survey of a data file takes only what the program's own save would write there.
    if (isDataFile(archivePath) && index >= 0 && index == archive.FindFile(datafiles::memberName()))
        datafiles::RefuseSurveySource(file, file);
    archive.UpdateFile(file, index);
    if (!archive.LastFailure().isEmpty()) {
        err << archive.LastFailure() << '\n';
        return kFailed;
    }
    return kOk;
}

int extract(const QString& archivePath, const QString& folder, bool checkCrc)
{
    ZlbArchive archive;
    archive.SetCheckCRC(checkCrc);
    archive.OpenArchive(archivePath);
    archive.ExtractAll(folder);
    return kOk;
}

int check(const QString& archivePath, QTextStream& out)
{
    ZlbArchive archive;
    archive.OpenArchive(archivePath);
    archive.CheckMembers();
    out << "OK\n";
    return kOk;
}

} // namespace

int runArchiveCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.isEmpty())
        return usage(err);
    const QString command = args.first();
    QStringList words;
    std::optional<TFileCompressionLevel> level;
    bool checkCrc = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& word = args[i];
        if (word == QLatin1String("--level") || word.startsWith(QLatin1String("--level="))) {
            if (command != QLatin1String("add"))
                return usage(err, QStringLiteral("Nieznana opcja: %1").arg(word));
            QString value;
            if (word == QLatin1String("--level")) {
                if (++i >= args.size())
                    return usage(err, QStringLiteral("Brak wartości opcji --level"));
                value = args[i];
            } else {
                value = word.mid(8);
            }
            level = parseLevel(value);
            if (!level)
                return usage(err, QStringLiteral("Nieznany poziom kompresji: %1").arg(value));
        } else if (word == QLatin1String("--check-crc") && command == QLatin1String("extract")) {
            checkCrc = true;
        } else if (word.startsWith(QLatin1String("--"))) {
            return usage(err, QStringLiteral("Nieznana opcja: %1").arg(word));
        } else {
            words << word;
        }
    }

    int status = kUsage;
    try {
        if (command == QLatin1String("list") && words.size() == 1) {
            status = list(words, out);
        } else if (command == QLatin1String("add") && words.size() >= 2) {
            status = add(words[0], words.mid(1), level.value_or(fcDefault), err);
        } else if (command == QLatin1String("update") && words.size() == 3) {
            bool ok = false;
            const int index = words[1].toInt(&ok);
            if (!ok)
                return usage(err, QStringLiteral("Niepoprawny numer zbioru: %1").arg(words[1]));
            status = update(words[0], index, words[2], err);
        } else if (command == QLatin1String("extract") && words.size() == 2) {
            status = extract(words[0], words[1], checkCrc);
        } else if (command == QLatin1String("check") && words.size() == 1) {
            status = check(words[0], out);
        } else if (command == QLatin1String("help") || command == QLatin1String("--help")) {
            out << QString::fromUtf8(kUsageText);
            status = kOk;
        } else {
            return usage(err);
        }
    } catch (const Error& e) {
        err << e.message() << '\n';
        status = kFailed;
    }
    out.flush();
    err.flush();
    return status;
}

} // namespace vestrum::archive
