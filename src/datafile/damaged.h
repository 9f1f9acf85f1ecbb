#pragma once

// Damaged working data are never a dead end: they are found (SQLite's quick check, or a file that no longer opens
// as a database), set aside whole under a name of their own, and replaced by a new database; and the user is told
// where they went and which restore point leads back.

#include "base/error.h"

#include <QDateTime>
#include <QString>

#include <future>
#include <optional>

namespace vestrum {

class Program;
struct RunState;
namespace db {
class Connection;
}

namespace datafiles {

// The working database failed SQLite's quick check; `detail` is what the check found.
class DamagedDatabase : public Error {
public:
    explicit DamagedDatabase(const QString& detail) : Error(detail), detail_(detail) {}
    const QString& detail() const { return detail_; }

private:
    QString detail_;
};

// Loading a data file (also a restore point and the start-up load) and "Nowa jednostka" first call this. When the
// working database fails the quick check, or its file no longer opens as a database of the program (emptied, cut
// short, a damaged header), it is moved aside whole as DamagedWorkingDataAsidePath (its journal with it), a new
// database of the current schema and the program's own version takes its place and is opened, and the user is
// told where the damaged one went. Returns that path; empty when the working data are sound. When the move fails,
// vestrum::Error and the working database is as it was.
QString SetDamagedWorkingDataAside(Program& program);
// The same without a word to the user, for a caller that tells the whole story in one message (the start).
QString MoveDamagedWorkingDataAside(Program& program);
// "<database>.uszkodzona-RRRR_MM_DD-GG_MM", then with "_2", "_3"... when taken.
QString DamagedWorkingDataAsidePath(const QString& databasePath, const QDateTime& when);

// What a fresh connection finds in a database file: sound, no database of the program at all (emptied, cut short,
// a damaged header), or anything else (busy, unreadable, pages the quick check refuses), which only the program's
// own connection may decide.
enum class FileFinding { Sound, NotADatabase, Unsure };

// The quick check of the working data on a second connection, begun before a load unpacks its file so that the
// two checks share the cores. Only a clean answer is taken from it: anything else is asked again of the program's
// own connection, so that a second connection's trouble never passes for damage.
class WorkingDataCheck {
public:
    explicit WorkingDataCheck(Program& program);
    // Asked as often as wanted: the first answer is kept.
    bool damaged();

private:
    Program& program_;
    std::future<FileFinding> check_; // waited for by its destructor on every way out
    std::optional<bool> damaged_;
};

// SetDamagedWorkingDataAside for a load, with the answer of the check begun before it.
QString SetDamagedWorkingDataAside(Program& program, WorkingDataCheck& check);

// The message for working data that failed the quick check: nothing was saved, and the newest restore point
// (or, without one, the last data file) is where to go back to. `detail` ends it as a technical line.
QString DamagedWorkingDataMessage(const RunState& state, const QString& detail);
// SQLite's quick check of an open database: empty when it is sound, else what it found, on one line.
QString DatabaseDamage(db::Connection& connection);
// What a fresh connection finds wrong with the database file at `path`; empty when it is sound.
QString DatabaseFileDamage(const QString& path);
// That message when the working database fails the quick check now or no longer opens; empty when it is sound.
QString WorkingDataDamage(Program& program);

} // namespace datafiles
} // namespace vestrum
