#include "gui/main/file_handoff.h"

#include "gui/main/main_window.h"
#include "program/messages.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace vestrum {
namespace {

constexpr qint64 kLongestMessage = 64 * 1024; // a path, not a file
constexpr int kRetryMs = 300;
constexpr int kSecondCopyPauseMs = 100;
const QByteArray kTaken = "OK\n";
const QByteArray kRefused = "NIE\n";
const QByteArray kEnding = "ZAMYKANIE\n";

void answer(QLocalSocket* socket, const QByteArray& word)
{
    if (!socket)
        return;
    socket->write(word);
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace

FileHandoffServer::FileHandoffServer(QObject* parent)
    : QObject(parent)
    , server_(new QLocalServer(this))
{
    // Only this user may hand files over, wherever the socket lies.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &FileHandoffServer::accept);
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &FileHandoffServer::deliver);
}

bool FileHandoffServer::listen(const QString& socketPath)
{
    QLocalServer::removeServer(socketPath);
    return server_->listen(socketPath);
}

void FileHandoffServer::openWith(std::function<void(const QString&)> open, QWidget* window)
{
    open_ = std::move(open);
    window_ = window;
    if (auto* mainWindow = qobject_cast<MainWindow*>(window)) {
        connect(mainWindow, &MainWindow::closingStarted, this, &FileHandoffServer::holdForClosing);
        connect(mainWindow, &MainWindow::closingCancelled, this, &FileHandoffServer::resumeAfterCancelledClosing);
        connect(mainWindow, &MainWindow::closingDone, this, &FileHandoffServer::endWithProgram);
    }
    deliver();
}

void FileHandoffServer::holdForClosing()
{
    closing_ = true;
}

void FileHandoffServer::resumeAfterCancelledClosing()
{
    closing_ = false;
    deliver();
}

void FileHandoffServer::endWithProgram()
{
    closing_ = true;
    ended_ = true;
    retry_.stop();
    // A copy that stopped listening is no longer asked: its second copies wait for the lock instead.
    server_->close();
    const QList<HandedFile> unloaded = std::exchange(pending_, {}); // an answer may drop its entry at once
    for (const HandedFile& file : unloaded)
        answer(file.socket, kEnding);
}

QStringList FileHandoffServer::pending() const
{
    QStringList paths;
    for (const HandedFile& file : pending_)
        paths.append(file.path);
    return paths;
}

void FileHandoffServer::accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { forget(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        read(socket); // the path may have arrived with the connection
    }
}

void FileHandoffServer::read(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kLongestMessage)
            socket->abort();
        return;
    }
    const QString path = QString::fromUtf8(socket->readLine(kLongestMessage)).trimmed();
    if (ended_) {
        answer(socket, kEnding);
        return;
    }
    if (!QFileInfo(path).isAbsolute() || !startup::isDataFileArgument(path)) {
        answer(socket, kRefused);
        return;
    }
    // Answered when it is loaded, or when the program ends without it.
    pending_.append({path, socket});
    // Loaded from the event loop: the load asks questions, which must not run inside this socket's signal.
    QTimer::singleShot(0, this, &FileHandoffServer::deliver);
}

// A second copy that went away (killed, or its user gave up) takes its file back with it.
void FileHandoffServer::forget(QLocalSocket* socket)
{
    pending_.removeIf([socket](const HandedFile& file) { return file.socket == socket; });
}

void FileHandoffServer::deliver()
{
    if (!open_ || delivering_ || closing_ || pending_.isEmpty())
        return;
    // A file never cuts into what the user is doing in a dialog or a menu: it waits until that has closed.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        retry_.start();
        return;
    }
    delivering_ = true;
    // A load may ask questions, and the user may then close the program: what is left waits for that.
    while (!pending_.isEmpty() && !closing_) {
        const HandedFile file = pending_.takeFirst();
        answer(file.socket, kTaken);
        if (window_) {
            if (window_->isMinimized())
                window_->showNormal();
            window_->raise();
            window_->activateWindow();
        }
        open_(file.path);
    }
    delivering_ = false;
}

namespace {

enum class Reply { NoCopy, Dropped, Taken, Refused, Ending };

// One offer of the file to the copy listening at `socketPath`. NoCopy when none listens, Dropped when it closed
// the connection without an answer (it ended or broke).
Reply offer(const QString& socketPath, const QByteArray& message, const QDeadlineTimer& deadline)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
        return Reply::NoCopy;
    socket.write(message);
    socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    // The running copy answers once the file's fate is known, which may wait for a dialog the user has open.
    QByteArray reply;
    while (!reply.endsWith('\n') && reply.size() <= kEnding.size() && socket.waitForReadyRead(-1))
        reply += socket.readAll();
    reply += socket.readAll();
    if (reply == kTaken)
        return Reply::Taken;
    if (reply == kRefused)
        return Reply::Refused;
    if (reply == kEnding)
        return Reply::Ending;
    return Reply::Dropped;
}

} // namespace

HandOverResult HandFileToRunningCopy(const QString& path, const QString& socketPath, QLockFile* lock, int timeLimitMs)
{
    const QByteArray message = QFileInfo(path).absoluteFilePath().toUtf8() + '\n';
    QDeadlineTimer deadline(timeLimitMs);
    for (;;) {
        // The running copy has ended: this one takes its place.
        if (lock && lock->tryLock(0))
            return HandOverResult::CopyEnded;
        if (deadline.hasExpired())
            return HandOverResult::NotTaken;
        // A copy still starting does not listen yet; one that is ending has stopped: try again until the time is up.
        switch (offer(socketPath, message, deadline)) {
        case Reply::Taken:
            return HandOverResult::Taken;
        case Reply::Refused:
            return HandOverResult::Refused;
        case Reply::Ending:
        case Reply::Dropped:
            deadline = QDeadlineTimer(timeLimitMs); // it was there a moment ago: it gets the whole time to end
            break;
        case Reply::NoCopy:
            break;
        }
        QThread::msleep(kSecondCopyPauseMs);
    }
}

std::optional<int> HandOverToRunningCopy(const QStringList& arguments, QLockFile& lock, Messages& messages)
{
    if (arguments.isEmpty() || !startup::isDataFileArgument(arguments.first()))
        return 0;
    switch (HandFileToRunningCopy(arguments.first(), startup::fileHandoffSocketPath(), &lock)) {
    case HandOverResult::Taken:
        return 0;
    case HandOverResult::CopyEnded:
        return std::nullopt;
    case HandOverResult::Refused:
    case HandOverResult::NotTaken:
        break;
    }
    messages.present({ QStringLiteral("Nie udało się przekazać pliku %1 do uruchomionego programu Vestrum.\n"
                                      "Proszę wczytać go poleceniem „Wczytaj dane”.")
                           .arg(QDir::toNativeSeparators(QFileInfo(arguments.first()).absoluteFilePath())),
        MessageKind::Error, 0, MbOk });
    return 1;
}

} // namespace vestrum
