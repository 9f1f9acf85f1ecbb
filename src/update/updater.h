#pragma once

// Program update: learns from the version file which components are newer than the installed ones and
// installs them, from the update server or from an offline package unpacked into "tmp/".
//
// Every component is installed whole or not at all: its package is fetched, checked member by member,
// the replaced file is kept as "archiwum/<name>/<installed version>.nar" (never over an older backup), and a
// failure puts the old files back. The survey database takes the user's data over at once; the program
// itself is handed to the external updater "aktualizuj", which replaces the executable after the program
// has ended and starts it again.
//
// Nothing from outside is trusted before its signature checks: the version file, every package (fetched or
// unpacked from an offline package) and the offline package itself carry "<name>.minisig" beside them, signed
// with a key the Updater was given, for that very file name and, for a package, the version the version file
// offers. Without a key the Updater offers no update at all.

#include "datafile/data_file.h"
#include "program/run_state.h"
#include "update/fetcher.h"
#include "update/signature.h"
#include "update/version_file.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>

#include <optional>

namespace vestrum {

class Program;

namespace update {

// The source of CheckForUpdates and InstallUpdates for a package already unpacked into "tmp/".
QString LocalSource();

// The first step of the start, before the update check: an update killed while it replaced a component's files
// (the survey database during the carry-over of the user's data, the journal list, a file component) left the
// old files beside the new ones as "<file>.vestrum-stare". They are put back over the new files, so the
// component is as it was before that update, which is then offered again; the user is told once for each such
// component. Needs the program folder in program.state; reads "ankieta.ini" for the files of the file
// components. Returns the names of the components put back.
QStringList RestoreUnfinishedUpdates(Program& program);

// The about box's line on the program's own updates where the program folder is never written (empty elsewhere):
// an installed program is updated by the system's package manager.
QString ProgramUpdateNote(const RunState& state);
QString unfinishedUpdateMessage(const QString& component);

// What the installation asks of the platform and of the windows.
class UpdateHost {
public:
    virtual ~UpdateHost() = default;
    virtual void openWebPage(const QUrl& page) = 0;
    // Starts a program without waiting for it.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // Runs a program and waits for its end: its exit code, or nothing when it could not start, crashed or
    // ran past the time limit (it is then killed).
    virtual std::optional<int> runAndWait(const QString& program, int timeLimitMs) = 0;
    // The program closes once the current sequence has finished.
    virtual void requestClose() = 0;
    virtual datafiles::Progress& progress() = 0;
};

// Processes through QProcess; the windows add the rest.
class ProcessHost : public UpdateHost {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override;
    std::optional<int> runAndWait(const QString& program, int timeLimitMs) override;
};

class Updater {
public:
    static constexpr int RunOnceTimeLimitMs = 5 * 60 * 1000;

    // `keys`: the public keys update files must be signed with (the program passes BuiltInPublicKeys()).
    Updater(Program& program, Fetcher& fetcher, UpdateHost& host, PublicKeys keys);

    // False in a build without a key: no check at start, no offline update.
    bool offersUpdates() const { return verifier_.hasKeys(); }

    // The program's command line without the program itself: any argument but a data file lets the update go
    // on without asking.
    void setArguments(const QStringList& arguments);
    // The running executable, which the program component replaces (the running program's by default).
    void setExecutable(const QString& path) { executable_ = path; }
    void setRunOnceTimeLimit(int milliseconds) { runOnceLimitMs_ = milliseconds; }

    // The update step of the start: carries on an update this program handed over (and only then) or clears
    // "tmp/", checks the server and installs with the user's consent. True when the start must stop (the
    // program was handed to the external updater, or a special page asked it to close).
    bool RunAtStart(const QString& server);

    // True when nothing newer is available, or the check failed (the user has been told).
    bool CheckForUpdates(const QString& source);
    // Installs the newer components. True when the program was handed to the external updater.
    bool InstallUpdates(const QString& source);
    // "Aktualizacja programu bez dostępu do internetu" with the chosen package file. True when the program
    // was handed to the external updater.
    bool OfflineUpdate(const QString& packageFile);

    const QList<UpdateEntry>& entries() const { return entries_; }
    // The about box's rows: last entry first, "_" shown as a blank, the installed version.
    QVector<QPair<QString, QString>> versionRows() const;
    // A survey database was replaced (and its data carried over): the sections show new data.
    bool surveyDatabaseReplaced() const { return surveyReplaced_; }
    bool journalListReplaced() const { return journalReplaced_; }
    bool closeRequested() const { return closeRequested_; }

    QString tmpFolder() const;
    QString versionFilePath() const;
    QString resumeMarkerPath() const;
    QString updaterPath() const;

private:
    void prepareStart();
    void cleanUp();
    std::optional<QByteArray> signedVersionFile(const QString& source);
    void refuse(const QString& name, const SignatureCheck& check);
    void requireSigned(const UpdateEntry& entry, const QString& package, const QString& source);
    void findInstalled(UpdateEntry& entry);
    bool mayInstall();
    // Whether the component is installed in this data home: none that lives in the program folder is, when the
    // program folder is never written.
    bool offered(const UpdateEntry& entry) const;
    void installEntry(UpdateEntry& entry, const QString& source);
    QString fetchPackage(const UpdateEntry& entry, const QString& source);
    QString backupOf(const UpdateEntry& entry) const;
    QString stagePackage(const UpdateEntry& entry, const QString& package, const QString& keptName);
    void handOver(const UpdateEntry& entry, const QString& package);
    bool isProgramOwnFile(const QString& path) const;
    void installFile(UpdateEntry& entry, const QString& package, const QStringList& members);
    void installJournalList(UpdateEntry& entry, const QString& package, const QStringList& members);
    void installSurveyDatabase(UpdateEntry& entry, const QString& package, const QStringList& members);
    void carryOverData(const QString& backup);
    QString makeRestorePoint();
    void storeComponent(const UpdateEntry& entry, const QString& localPath);
    void showProgress(int done, int count, const QString& label);

    Program& program_;
    Fetcher& fetcher_;
    UpdateHost& host_;
    SignatureVerifier verifier_;
    QStringList arguments_;
    QString executable_;
    int runOnceLimitMs_ = RunOnceTimeLimitMs;
    QList<UpdateEntry> entries_;
    bool resuming_ = false;
    QString markerVersion_;
    bool checkFailed_ = false;
    bool surveyReplaced_ = false;
    bool journalReplaced_ = false;
    bool closeRequested_ = false;
    bool handedOver_ = false;
    int progressDone_ = 0;
    int progressCount_ = 0;
    QString progressLabel_;
};

} // namespace update
} // namespace vestrum
