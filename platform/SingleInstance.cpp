#include "platform/SingleInstance.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

namespace {

// A request is one short line; anything longer is not ours.
constexpr qint64 maxLine = 64;
// How often a listening guard checks that its socket is still there.
constexpr int watchMs = 1000;

// Runs a local event loop until finished() or the timeout, so a server in this same thread
// (or one that answers through the event loop) gets to reply.
class Wait {
public:
    explicit Wait(int timeoutMs) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        m_timer.start(timeoutMs);
    }
    void finish() {
        m_done = true;
        m_loop.quit();
    }
    void run() {
        // Signals may already have arrived during the call that started the work.
        if (!m_done && m_timer.isActive()) {
            m_loop.exec();
        }
    }

private:
    QEventLoop m_loop;
    QTimer m_timer;
    bool m_done = false;
};

QString socketPath(const QString& name) {
    return QDir::isAbsolutePath(name) ? name : QDir::tempPath() + QLatin1Char('/') + name;
}

bool inSharedFolder(const QString& dir) {
    return dir.startsWith(QDir::tempPath() + QLatin1Char('/'));
}

// In a folder every user can write to, another user could plant a link to a folder of theirs
// (or of a victim's), or a folder with a socket that answers for us. So: our own folder, made
// here or left by an earlier start, never followed through a link, closed to everyone else.
// Nothing is changed on what is found; the reason is returned instead.
QString checkPrivateFolder(const QString& dir) {
    const QByteArray path = QFile::encodeName(dir);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        return QStringLiteral("cannot create folder %1: %2")
            .arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat link {};
        if (::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
            return QStringLiteral("%1 is a symbolic link, not a folder of this user's").arg(dir);
        }
        return QStringLiteral("cannot open folder %1: %2")
            .arg(dir, QString::fromLocal8Bit(std::strerror(error)));
    }
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!known) {
        return QStringLiteral("cannot check folder %1").arg(dir);
    }
    if (info.st_uid != ::getuid()) {
        return QStringLiteral("folder %1 belongs to another user").arg(dir);
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return QStringLiteral("folder %1 is open to other users (mode %2)")
            .arg(dir, QString::number(info.st_mode & 07777, 8));
    }
    return {};
}

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), m_name(std::move(serverName)) {
    m_watch.setInterval(watchMs);
    connect(&m_watch, &QTimer::timeout, this, &SingleInstance::checkListening);
}

SingleInstance::~SingleInstance() {
    // Closing removes the socket file, so the next start becomes the primary at once.
    if (m_server) {
        m_server->close();
    }
    // Its clients count themselves out as they go, while this object is still whole.
    delete m_server;
}

QString SingleInstance::defaultServerName() {
    // The runtime folder is private to the user; /tmp is not, so there we only use a
    // folder of our own (checked before listening).
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        return runtime + QStringLiteral("/lumora.socket");
    }
    return QDir::tempPath() + QStringLiteral("/lumora-%1/socket").arg(::getuid());
}

SingleInstance::Role SingleInstance::start(int timeoutMs) {
    // Not even a request goes into a folder someone else may control.
    const QString dir = QFileInfo(socketPath(m_name)).absolutePath();
    if (inSharedFolder(dir)) {
        m_error = checkPrivateFolder(dir);
        if (!m_error.isEmpty()) {
            return Role::standalone;
        }
    }
    // Two starts at the same moment: the one that loses the race to listen finds the other
    // alive and hands it the request on the second round.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (tryNotifyRunning(timeoutMs)) {
            return Role::secondary;
        }
        if (listen(timeoutMs)) {
            return Role::primary;
        }
        if (!QFileInfo::exists(socketPath(m_name))) {
            break; // it could not be created: another round will not help
        }
    }
    return Role::standalone;
}

bool SingleInstance::tryNotifyRunning(int timeoutMs) {
    QLocalSocket socket;
    QByteArray reply;
    Wait wait(timeoutMs);
    connect(&socket, &QLocalSocket::connected, &socket, [&socket] { socket.write(request); });
    connect(&socket, &QLocalSocket::readyRead, &socket, [&] {
        reply += socket.read(maxLine);
        if (reply.contains('\n') || reply.size() >= maxLine) {
            wait.finish();
        }
    });
    connect(&socket, &QLocalSocket::errorOccurred, &socket, [&] { wait.finish(); });
    connect(&socket, &QLocalSocket::disconnected, &socket, [&] { wait.finish(); });
    socket.connectToServer(m_name);
    wait.run();
    if (socket.isOpen()) {
        reply += socket.read(maxLine);
    }
    socket.abort();
    return reply.startsWith(answer);
}

SingleInstance::Probe SingleInstance::probe(int timeoutMs) {
    QLocalSocket socket;
    Probe result = Probe::unknown;
    Wait wait(timeoutMs);
    connect(&socket, &QLocalSocket::connected, &socket, [&] {
        result = Probe::alive;
        wait.finish();
    });
    connect(&socket, &QLocalSocket::errorOccurred, &socket,
            [&](QLocalSocket::LocalSocketError error) {
                if (error == QLocalSocket::ConnectionRefusedError ||
                    error == QLocalSocket::ServerNotFoundError) {
                    result = Probe::gone;
                }
                wait.finish();
            });
    socket.connectToServer(m_name);
    wait.run();
    socket.abort();
    return result;
}

bool SingleInstance::listen(int timeoutMs) {
    m_error.clear();
    if (isListening()) {
        return true;
    }
    const QString path = socketPath(m_name);
    const QString dir = QFileInfo(path).absolutePath();
    if (inSharedFolder(dir)) {
        m_error = checkPrivateFolder(dir);
        if (!m_error.isEmpty()) {
            return false;
        }
    } else if (!QDir().mkpath(dir)) {
        m_error = QStringLiteral("cannot create folder %1").arg(dir);
        return false;
    }

    // Two starts that both find a dead socket must not remove each other's fresh one.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(timeoutMs)) {
        m_error = QStringLiteral("cannot lock %1").arg(lock.fileName());
        return false;
    }

    auto* server = new QLocalServer(this);
    if (!server->listen(m_name)) {
        if (server->serverError() != QAbstractSocket::AddressInUseError) {
            m_error = QStringLiteral("cannot listen on %1: %2").arg(path, server->errorString());
            delete server;
            return false;
        }
        if (probe(timeoutMs) != Probe::gone) {
            m_error = QStringLiteral("another instance holds %1").arg(path);
            delete server;
            return false;
        }
        // Left by an instance that crashed: nobody answers on it.
        QLocalServer::removeServer(m_name);
        if (!server->listen(m_name)) {
            m_error = QStringLiteral("cannot listen on %1: %2").arg(path, server->errorString());
            delete server;
            return false;
        }
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    m_watch.start();
    return true;
}

void SingleInstance::checkListening() {
    if (m_server && m_server->isListening()) {
        return;
    }
    const QString path = socketPath(m_name);
    if (!m_reportedRelisten) {
        m_reportedRelisten = true;
        std::fprintf(stderr,
                     "lumora: the single-instance socket %s stopped listening (%s); "
                     "listening again\n",
                     qPrintable(path), qPrintable(m_server ? m_server->errorString() : m_error));
    }
    delete m_server;
    m_server = nullptr;
    // Failing, the watch tries again a second later.
    if (listen(200)) {
        m_reportedRelisten = false;
    }
}

bool SingleInstance::isListening() const {
    return m_server && m_server->isListening();
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_clients >= maxClients) {
            socket->abort(); // its descriptor is closed now, not at deleteLater
            socket->deleteLater();
            continue;
        }
        ++m_clients;
        connect(socket, &QObject::destroyed, this, [this] { --m_clients; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // Nothing blocks on a silent client, but it should not linger either.
        QTimer::singleShot(requestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0) {
            readRequest(socket);
        }
    }
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (!socket->canReadLine() && socket->bytesAvailable() < maxLine) {
        return; // wait for the rest of the line
    }
    const QByteArray line = socket->readLine(maxLine + 1);
    if (line == request) {
        socket->write(answer);
        socket->flush();
        socket->disconnectFromServer();
        emit activationRequested();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}

} // namespace lumora
