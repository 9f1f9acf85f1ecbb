#include "gui/main/file_handoff.h"

#include "gui/common/message_box.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

#include <algorithm>

namespace vestrum {
namespace {

constexpr qint64 kLongestMessage = 64 * 1024; // a path, not a file
constexpr int kRetryMs = 300;
const QByteArray kTaken = "OK\n";
const QByteArray kRefused = "NIE\n";

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
    deliver();
}

void FileHandoffServer::accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
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
    const bool taken = QFileInfo(path).isAbsolute() && startup::isDataFileArgument(path);
    if (taken)
        pending_.append(path);
    socket->write(taken ? kTaken : kRefused);
    socket->flush();
    socket->disconnectFromServer();
    // Loaded from the event loop: the load asks questions, which must not run inside this socket's signal.
    if (taken)
        QTimer::singleShot(0, this, &FileHandoffServer::deliver);
}

void FileHandoffServer::deliver()
{
    if (!open_ || delivering_ || pending_.isEmpty())
        return;
    // A file never cuts into what the user is doing in a dialog or a menu: it waits until that has closed.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        retry_.start();
        return;
    }
    delivering_ = true;
    while (!pending_.isEmpty()) {
        const QString path = pending_.takeFirst();
        if (window_) {
            if (window_->isMinimized())
                window_->showNormal();
            window_->raise();
            window_->activateWindow();
        }
        open_(path);
    }
    delivering_ = false;
}

bool HandFileToRunningCopy(const QString& path, const QString& socketPath, int timeLimitMs)
{
    const QByteArray message = QFileInfo(path).absoluteFilePath().toUtf8() + '\n';
    const QDeadlineTimer deadline(timeLimitMs);
    // The running copy may still be starting, before it listens: try again until the time is up.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (!socket.waitForConnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) {
            QThread::msleep(100);
            continue;
        }
        socket.write(message);
        socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        QByteArray answer;
        while (!answer.endsWith('\n') && !deadline.hasExpired()
            && socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
            answer += socket.readAll();
        return answer == kTaken;
    }
    return false;
}

int HandOverToRunningCopy(const QStringList& arguments)
{
    if (arguments.isEmpty() || !startup::isDataFileArgument(arguments.first()))
        return 0;
    if (HandFileToRunningCopy(arguments.first()))
        return 0;
    MessageBox box;
    box.present({ QStringLiteral("Nie udało się przekazać pliku %1 do uruchomionego programu Vestrum.\n"
                                 "Proszę wczytać go poleceniem „Wczytaj dane”.")
                      .arg(QDir::toNativeSeparators(QFileInfo(arguments.first()).absoluteFilePath())),
        MessageKind::Error, 0, MbOk });
    return 1;
}

} // namespace vestrum
