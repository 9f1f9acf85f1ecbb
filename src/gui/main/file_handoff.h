#pragma once

// A data file opened while the program runs (a double click in the file manager starts a second copy) is handed
// to the running copy, which loads it as "Wczytaj dane" does; the second copy then ends. The running copy listens
// on a local socket in the user's own runtime folder (startup::fileHandoffSocketPath), beside the single-instance
// lock; a message is one absolute path in UTF-8 ending with a new line, answered "OK\n" once the running copy
// has taken the file into its queue.

#include "program/startup.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QLocalServer;
class QLocalSocket;
class QWidget;

namespace vestrum {

class FileHandoffServer : public QObject {
    Q_OBJECT
public:
    explicit FileHandoffServer(QObject* parent = nullptr);

    // Listens at `socketPath`. The caller holds the single-instance lock, so what lies there was left by a copy
    // that has ended and is replaced. False when the socket cannot be made (no file is then handed over).
    bool listen(const QString& socketPath = startup::fileHandoffSocketPath());

    // From now on each file received goes to `open` (files received during the start first), one at a time and
    // only while no modal window or menu is open; `window` is brought to the front for it.
    void openWith(std::function<void(const QString&)> open, QWidget* window);

    QStringList pending() const { return pending_; }

private:
    void accept();
    void read(QLocalSocket* socket);
    void deliver();

    QLocalServer* server_;
    QTimer retry_;
    QStringList pending_;
    std::function<void(const QString&)> open_;
    QWidget* window_ = nullptr;
    bool delivering_ = false;
};

// The second copy's side: hands `path` (made absolute) to the running copy, waiting for it while it is still
// starting. False when no copy took it within `timeLimitMs`.
bool HandFileToRunningCopy(
    const QString& path, const QString& socketPath = startup::fileHandoffSocketPath(), int timeLimitMs = 20000);

// What a start does while another copy runs: without a data file it ends silently (0); a data file goes to the
// running copy (0), and when that fails the user is told so (1).
int HandOverToRunningCopy(const QStringList& arguments);

} // namespace vestrum
