#pragma once

// Fixtures of the data-file tests: a whole program (run state, working database, scripted messages, a fixed
// clock) in a throw-away folder, and data files written the way the 2005 version of the program wrote them.

#include "base/clock.h"
#include "base/error.h"
#include "datafile/data_file.h"
#include "program/program.h"
#include "program/settings.h"
#include "archive/zlb_archive.h"
#include "storage/schema.h"
#include "support/temp_survey.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <functional>
#include <zlib.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace vestrum::testing {

// A program folder with dane/ankieta.mdb created and the survey connection open.
struct TestProgram {
    QTemporaryDir dir;
    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 5), QTime(9, 7, 30))};
    Program program{messages, clock};

    TestProgram()
    {
        program.state.ProgramFolder = dir.path() + QStringLiteral("/");
        program.state.DatabasePath = program.state.ProgramFolder + QStringLiteral("dane/ankieta.mdb");
        schema::createSurveyDatabase(program.state.DatabasePath);
        program.survey.open(program.state.DatabasePath, schema::databasePassword());
    }
    QString path(const QString& relative) const { return dir.filePath(relative); }
    db::Connection& survey() { return program.survey; }
};

// The program of a test's child process: its own connection to the working database of the parent's program
// folder, its settings read, as a second run of the program would have.
struct ChildProgram {
    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 5), QTime(9, 7, 30))};
    Program program{messages, clock};

    explicit ChildProgram(const QString& programFolder)
    {
        program.state.ProgramFolder = programFolder;
        program.state.DatabasePath = programFolder + QStringLiteral("dane/ankieta.mdb");
        ReadSettings(program.state);
        program.survey.open(program.state.DatabasePath, schema::databasePassword());
    }
};

// Packs a database file as the one member "ankieta.mdb" of a new archive at `target`.
inline void archiveDatabase(const QString& databasePath, const QString& target)
{
    QTemporaryDir staging;
    const QString member = staging.filePath(QStringLiteral("ankieta.mdb"));
    QFile::remove(target);
    if (!QFile::copy(databasePath, member))
        throw std::runtime_error("cannot copy the database to pack it");
    QFile empty(target);
    if (!empty.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create the archive");
    empty.close();
    ZlbArchive archive;
    archive.OpenArchive(target);
    archive.AddFile(member);
    if (archive.FindFile(QStringLiteral("ankieta.mdb")) < 0)
        throw std::runtime_error("the archive did not take the database");
}

// Packs a database as the survey of a new data file at `target`, stored as it is, then changes the first `text`
// inside it into `changed` (as long) and sets the archive's own CRC right again: the member still unpacks and
// opens, now showing `changed`, but its bytes no longer match the CRC its record holds, as after a sector that
// went wrong on the disk.
inline void archiveWithDamagedMember(const QString& databasePath, const QString& target, const QByteArray& text,
                                     const QByteArray& changed)
{
    QTemporaryDir staging;
    const QString member = staging.filePath(QStringLiteral("ankieta.mdb"));
    QFile::remove(target);
    if (!QFile::copy(databasePath, member) || text.size() != changed.size())
        throw std::runtime_error("cannot stage the database");
    QFile empty(target);
    if (!empty.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create the archive");
    empty.close();
    {
        ZlbArchive archive;
        archive.SetCompressionLevel(fcNone);
        archive.OpenArchive(target);
        archive.AddFile(member);
        if (archive.FindFile(QStringLiteral("ankieta.mdb")) != 0 || archive.GetFileEntry(0).Stored != 1)
            throw std::runtime_error("the archive did not store the database as it is");
    }
    QFile file(target);
    if (!file.open(QIODevice::ReadWrite))
        throw std::runtime_error("cannot open the archive");
    QByteArray bytes = file.readAll();
    const qsizetype dataEnd = bytes.size() - TArchiveTrailer::Size;
    const qsizetype at = bytes.indexOf(text);
    if (at < 0 || at + text.size() > dataEnd)
        throw std::runtime_error("the text is not in the member");
    bytes.replace(at, changed.size(), changed);
    const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()),
                                                      static_cast<uInt>(dataEnd)));
    qToLittleEndian<std::uint32_t>(crc, bytes.data() + dataEnd);
    file.seek(0);
    file.write(bytes);
}

// Writes garbage over the last page of a database, leaving its header page intact: the tables written last lose
// rows, while the file still opens. Close every connection to it first.
inline void damageLastPage(const QString& databasePath)
{
    qint64 pageSize = 0;
    qint64 pages = 0;
    {
        db::Connection c;
        c.open(databasePath, schema::databasePassword());
        pageSize = c.scalar(QStringLiteral("PRAGMA page_size")).toLongLong();
        pages = c.scalar(QStringLiteral("PRAGMA page_count")).toLongLong();
    }
    QFile f(databasePath);
    if (pages < 3 || !f.open(QIODevice::ReadWrite) || !f.seek((pages - 1) * pageSize))
        throw std::runtime_error("cannot damage the database");
    f.write(QByteArray(static_cast<int>(pageSize), '\xA5'));
}

// The ways a database file stops opening at all: cut to half its length, emptied, its header overwritten.
enum class FileDamage { CutInHalf, Emptied, HeaderOverwritten };

inline const std::vector<FileDamage>& everyFileDamage()
{
    static const std::vector<FileDamage> damages{FileDamage::CutInHalf, FileDamage::Emptied,
                                                 FileDamage::HeaderOverwritten};
    return damages;
}

inline std::string describe(FileDamage damage)
{
    switch (damage) {
    case FileDamage::CutInHalf:
        return "cut in half";
    case FileDamage::Emptied:
        return "emptied";
    case FileDamage::HeaderOverwritten:
        return "header overwritten";
    }
    return "?";
}

// Damages the file in place, as a full disk, a crash of the file system or another program would; a connection
// open on it stays open.
inline void damageFile(const QString& databasePath, FileDamage damage)
{
    QFile f(databasePath);
    if (!f.open(QIODevice::ReadWrite))
        throw std::runtime_error("cannot damage the database");
    const qint64 length = f.size();
    switch (damage) {
    case FileDamage::CutInHalf:
        f.resize(length / 2);
        break;
    case FileDamage::Emptied:
        f.resize(0);
        break;
    case FileDamage::HeaderOverwritten:
        f.write(QByteArray(100, '\x5A'));
        break;
    }
}

// The rows the 2005 file holds in its combined table dane_wykaz_pub_mono.
struct LegacyPublication {
    QString typ; // "M" monograph, "P" journal publication
    int grupa;
    QString czasopismoWydawca;
    QString tytul;
    QString autorzy;
    QString rokTomStr;
};
QList<LegacyPublication> legacyPublications();

// Writes ankieta.mdb as the 2005 version had it: password "qk3116", no table `wersja`, the combined
// publication table with its old field names, and a few other tables with the current ones.
void writeLegacyDatabase(const QString& path);

// writeLegacyDatabase packed into a data file.
void writeLegacyDataFile(const QString& target);

// Every table of a database as text, row by row, NULL told apart from "": "exactly as before"
// compares these.
inline QString dump(db::Connection& c)
{
    QString text;
    for (const QString& table : c.userTables()) {
        db::Query q(c, QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table));
        text += table + u'\n';
        for (q.first(); !q.eof(); q.next()) {
            for (int i = 0; i < static_cast<int>(q.fields().size()); ++i)
                text += (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString()) + u'|';
            text += u'\n';
        }
    }
    return text;
}

inline int rowCount(db::Connection& c, const QString& table)
{
    return c.scalar(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)).toInt();
}

// The SHA-256 of a file's bytes, empty when it cannot be read: "the file is as it was" compares these.
inline QByteArray fileHash(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

// The Polish message a call throws, or an empty string when it throws nothing.
template <typename F> QString errorOf(F&& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e.message();
    }
    return QString();
}

// A data file written from a survey other than the working one: a fresh survey filled by `fill`,
// packed at `target`.
inline QString makeDataFile(const QString& target, const std::function<void(db::Connection&)>& fill)
{
    TempSurvey source;
    fill(source.connection);
    source.connection.close();
    archiveDatabase(source.path(), target);
    return target;
}

// Remembers what a data-file operation showed in its progress window.
class RecordingProgress final : public datafiles::Progress {
public:
    QString caption;
    int maximum = -1;
    QStringList labels;
    bool finished = false;
    void start(const QString& c, const QString&, int m) override
    {
        caption = c;
        maximum = m;
    }
    void step(const QString& label) override { labels.append(label); }
    void finish() override { finished = true; }
};

} // namespace vestrum::testing
