#include "platform/SingleInstance.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace lumora;

namespace {

using Role = SingleInstance::Role;

class SingleInstanceTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    const QString m_name = m_dir.filePath("lumora.socket");
};

// What a crashed instance leaves behind: a socket file nobody listens on.
void leaveDeadSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    ASSERT_LT(size_t(bytes.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

TEST_F(SingleInstanceTest, LaterStartsAskTheFirstToShowItself) {
    SingleInstance first(m_name);
    ASSERT_EQ(first.start(), Role::primary) << first.errorString().toStdString();
    EXPECT_TRUE(first.isListening());
    QSignalSpy spy(&first, &SingleInstance::activationRequested);

    SingleInstance second(m_name);
    EXPECT_EQ(second.start(), Role::secondary);
    EXPECT_FALSE(second.isListening());
    EXPECT_EQ(spy.count(), 1);

    EXPECT_TRUE(SingleInstance(m_name).tryNotifyRunning());
    EXPECT_EQ(spy.count(), 2);
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

} // namespace
