#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace lumora;

namespace {

using Role = SingleInstance::Role;

class SingleInstanceTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    const QString m_name = m_dir.filePath("lumora.socket");
};

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    EXPECT_LT(size_t(bytes.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, bytes.constData(),
                std::min(size_t(bytes.size()), sizeof(address.sun_path) - 1));
    return address;
}

// What a crashed instance leaves behind: a socket file nobody listens on.
void leaveDeadSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    const sockaddr_un address = addressOf(path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

// A client that connects and never says anything; -1 when the server is gone.
int connectIdle(const QString& path) {
    const sockaddr_un address = addressOf(path);
    // Up to five seconds for a server slowed down by a busy machine or a sanitizer.
    for (int attempt = 0; attempt < 5000; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return -1;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            return fd;
        }
        const int error = errno;
        ::close(fd);
        if (error != EAGAIN) {
            return -1;
        }
        ::usleep(1000); // the backlog is full: the server is still accepting
    }
    return -1;
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST_F(SingleInstanceTest, StrangeClientsAreIgnoredAndDoNotBlock) {
    SingleInstance first(m_name);
    ASSERT_EQ(first.start(), Role::primary);
    QSignalSpy spy(&first, &SingleInstance::activationRequested);

    QLocalSocket silent;
    silent.connectToServer(m_name);
    ASSERT_TRUE(silent.waitForConnected(1000));

    for (const QByteArray& junk : {QByteArray("show-settings-now\n"), QByteArray(200, 'x')}) {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(junk);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; }, 2000))
            << junk.left(20).toStdString();
        EXPECT_TRUE(socket.readAll().isEmpty());
    }
    EXPECT_EQ(spy.count(), 0);

    // The silent client is still connected; the server serves others meanwhile.
    EXPECT_TRUE(SingleInstance(m_name).tryNotifyRunning());
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(SingleInstanceTest, CrashedOrQuitInstanceIsReplaced) {
    leaveDeadSocket(m_name);
    ASSERT_TRUE(QFileInfo::exists(m_name));
    auto first = std::make_unique<SingleInstance>(m_name);
    EXPECT_FALSE(first->tryNotifyRunning(300));
    ASSERT_EQ(first->start(), Role::primary) << first->errorString().toStdString();
    EXPECT_EQ(SingleInstance(m_name).start(), Role::secondary);

    first.reset();
    EXPECT_FALSE(QFileInfo::exists(m_name));
    SingleInstance next(m_name);
    EXPECT_EQ(next.start(), Role::primary) << next.errorString().toStdString();
}

TEST_F(SingleInstanceTest, NoSocketMeansRunningUnguarded) {
    const QString file = m_dir.filePath("plain-file");
    QFile(file).open(QIODevice::WriteOnly);
    SingleInstance guard(file + "/lumora.socket"); // its folder cannot exist
    EXPECT_EQ(guard.start(300), Role::standalone);
    EXPECT_FALSE(guard.errorString().isEmpty());
}

TEST_F(SingleInstanceTest, IdleClientsAreFewAndBrief) {
    SingleInstance first(m_name);
    ASSERT_EQ(first.start(), Role::primary);
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < SingleInstance::maxClients + 8; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(m_name);
    }
    const auto connected = [&] {
        return std::count_if(idle.begin(), idle.end(), [](const auto& socket) {
            return socket->state() == QLocalSocket::ConnectedState;
        });
    };
    // The ones past the limit are turned away at once ...
    EXPECT_TRUE(QTest::qWaitFor([&] { return connected() == SingleInstance::maxClients; }, 500))
        << connected();
    // ... and the rest once they have kept quiet for a second.
    EXPECT_TRUE(QTest::qWaitFor([&] { return connected() == 0; }, 2500)) << connected();
    QSignalSpy spy(&first, &SingleInstance::activationRequested);
    EXPECT_TRUE(SingleInstance(m_name).tryNotifyRunning());
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(SingleInstanceTest, AGuardWhoseSocketClosedListensAgain) {
    SingleInstance first(m_name);
    ASSERT_EQ(first.start(), Role::primary);
    auto* server = first.findChild<QLocalServer*>();
    ASSERT_NE(server, nullptr);
    testing::internal::CaptureStderr();
    server->close(); // what QLocalServer does by itself when accept() fails
    EXPECT_FALSE(QFileInfo::exists(m_name));
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isListening(); }, 3000));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(m_name.toStdString()), std::string::npos) << err;

    QSignalSpy spy(&first, &SingleInstance::activationRequested);
    EXPECT_EQ(SingleInstance(m_name).start(), Role::secondary);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(SingleInstanceTest, AFloodOfIdleClientsUnderADescriptorLimitLeavesTheGuardStanding) {
    // The flood needs more descriptors than the guard's process gets.
    rlimit mine{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &mine), 0);
    if (mine.rlim_cur < 1024 && mine.rlim_max > mine.rlim_cur) {
        mine.rlim_cur = std::min<rlim_t>(mine.rlim_max, 1024);
        ::setrlimit(RLIMIT_NOFILE, &mine);
    }
    QProcess host;
    host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host.start(SINGLE_INSTANCE_HOST, {m_name, "256"});
    ASSERT_TRUE(host.waitForReadyRead(10000));
    ASSERT_EQ(host.readLine(), "listening\n");

    std::vector<int> idle;
    for (int i = 0; i < 400; ++i) {
        const int fd = connectIdle(m_name);
        if (fd < 0) {
            break;
        }
        idle.push_back(fd);
    }
    EXPECT_EQ(idle.size(), 400u) << "the socket went away";
    // Past the time a silent client is kept.
    QTest::qWait(SingleInstance::requestTimeoutMs + 500);

    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(SINGLE_INSTANCE_HOST, {m_name});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(host.waitForFinished(10000));
    EXPECT_EQ(host.exitCode(), 0);
    EXPECT_EQ(host.readAll(), "activated\n");
    for (int fd : idle) {
        ::close(fd);
    }
}

// Without XDG_RUNTIME_DIR the socket lives in a folder under /tmp, where anyone can plant things.
TEST(SingleInstanceSharedFolder, OnlyAPrivateFolderOfOurOwnIsUsed) {
    const QString base = QDir::tempPath() + QStringLiteral("/lumora-test-%1-").arg(::getpid());
    QTemporaryDir target;
    ASSERT_EQ(::chmod(QFile::encodeName(target.path()).constData(), 0755), 0);
    struct Cleanup {
        QStringList paths;
        ~Cleanup() {
            for (const QString& p : paths) {
                QFile::remove(p + "/socket");
                QFile::remove(p + "/socket.lock");
                QFile::remove(p);
                QDir().rmdir(p);
            }
        }
    } cleanup;

    const auto refused = [](const QString& dir, const char* why) {
        SingleInstance guard(dir + "/socket");
        EXPECT_EQ(guard.start(300), Role::standalone) << dir.toStdString();
        EXPECT_TRUE(guard.errorString().contains(why)) << guard.errorString().toStdString();
        EXPECT_EQ(guard.errorString().count('\n'), 0);
    };

    const QString link = base + "link";
    cleanup.paths << link;
    ASSERT_TRUE(QFile::link(target.path(), link));
    refused(link, "link");
    EXPECT_EQ(modeOf(target.path()), 0755u); // not made private through the link
    EXPECT_FALSE(QFileInfo::exists(target.filePath("socket")));

    const QString dangling = base + "dangling";
    cleanup.paths << dangling;
    ASSERT_TRUE(QFile::link(target.filePath("planted"), dangling));
    refused(dangling, "link");
    EXPECT_FALSE(QFileInfo::exists(target.filePath("planted")));

    refused(target.path(), "open to other users");
    EXPECT_EQ(modeOf(target.path()), 0755u);

    if (::geteuid() == 0) {
        QTemporaryDir foreign;
        ASSERT_EQ(::chown(QFile::encodeName(foreign.path()).constData(), 65534, 65534), 0);
        refused(foreign.path(), "another user");
    }

    const QString fresh = base + "fresh";
    cleanup.paths << fresh;
    SingleInstance guard(fresh + "/socket");
    EXPECT_EQ(guard.start(300), Role::primary) << guard.errorString().toStdString();
    EXPECT_EQ(modeOf(fresh), 0700u);
}

} // namespace
