#pragma once

// A data file opened while the program runs (a double click in the file manager starts a second copy) is handed
// to the running copy, which loads it as "Wczytaj dane" does; the second copy then ends. The running copy listens
// on a local socket in the user's own runtime folder (startup::fileHandoffSocketPath), beside the single-instance
// lock; a message is one absolute path in UTF-8 ending with a new line. The answer comes when the file's fate is
// known: "OK\n" when the running copy starts to load it (after the user's open dialog has closed), "NIE\n" for
// what is no data file, "ZAMYKANIE\n" when the running copy is ending without it. A second copy told the last
// waits for the running copy to end and then starts in its place with the file, so no file is ever answered for
// and then dropped.

#include "program/startup.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QWidget;

namespace vestrum {

class Messages;

class FileHandoffServer : public QObject {
    Q_OBJECT
public:
    explicit FileHandoffServer(QObject* parent = nullptr);

    // Listens at `socketPath`. The caller holds the single-instance lock, so what lies there was left by a copy
    // that has ended and is replaced. False when the socket cannot be made (no file is then handed over).
    bool listen(const QString& socketPath = startup::fileHandoffSocketPath());

    // From now on each file received goes to `open` (files received during the start first), one at a time and
    // only while no modal window or menu is open; `window` is brought to the front for it. When `window` is the
    // main window, its closing sequence drives the three steps below.
    void openWith(std::function<void(const QString&)> open, QWidget* window);

    // The program's closing sequence has begun: no file is loaded; files received wait, unanswered, for its end.
    void holdForClosing();
    // The user decided to stay: the files held back are loaded.
    void resumeAfterCancelledClosing();
    // The program ends: every file not yet loaded is answered "ZAMYKANIE" (its second copy starts in this
    // copy's place) and nothing more is received.
    void endWithProgram();

    // The files received and not yet loaded.
    QStringList pending() const;

private:
    struct HandedFile {
        QString path;
        QPointer<QLocalSocket> socket; // answered when the file's fate is known
    };

    void accept();
    void read(QLocalSocket* socket);
    void deliver();
    void forget(QLocalSocket* socket);

    QLocalServer* server_;
    QTimer retry_;
    QList<HandedFile> pending_;
    std::function<void(const QString&)> open_;
    QWidget* window_ = nullptr;
    bool delivering_ = false;
    bool closing_ = false;
    bool ended_ = false;
};

// How a hand-over ended.
enum class HandOverResult {
    Taken,     // the running copy is loading the file
    Refused,   // what was handed over is no data file
    CopyEnded, // the running copy has ended and this copy now holds the single-instance lock: it starts itself
    NotTaken,  // no copy took the file, nor ended, within the time limit
};

// The second copy's side: hands `path` (made absolute) to the running copy, waiting for it while it is still
// starting and, when it answers that it is ending, until it has ended. With `lock` (the single-instance lock,
// held by the running copy) the second copy takes that lock as soon as the running copy has let it go. The time
// limit counts from the start and from the running copy's last word; waiting for a running copy to open the file
// (the user may have a dialog open) has no limit, as the copy drops the connection when it ends.
HandOverResult HandFileToRunningCopy(const QString& path, const QString& socketPath = startup::fileHandoffSocketPath(),
                                     QLockFile* lock = nullptr, int timeLimitMs = 20000);

// What a start does while another copy runs (`lock`, the single-instance lock, is held by that copy): without a
// data file it ends silently (0); a data file goes to the running copy (0), and when that fails the user is told
// so (1). Empty when the running copy ended meanwhile: this copy then holds `lock` and starts as usual.
std::optional<int> HandOverToRunningCopy(const QStringList& arguments, QLockFile& lock, Messages& messages);

} // namespace vestrum
