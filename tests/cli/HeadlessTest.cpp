#include "ProgramProcess.h"

#include "support/EventLoop.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/Ports.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray get(int16_t port, const QByteArray& path)
{
    LoopbackClient client(port);
    if (!client.connected() || !client.send("GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n"))
        return {};
    return client.readAll();
}

long deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(makePortableCopy(folder()));
    }
    QString folder() const { return m_dir.filePath("app"); }
    QString home() const { return m_dir.filePath("home"); }

    QTemporaryDir m_dir;
};

// Started in a copied program folder with the settings in a form only the
// reader accepts: after the signal the file holds the four canonical lines,
// which only the closing write produces.
// (Each of the three close signals reaching the event loop is tested on
// SignalCloser itself.)
TEST_F(Headless, ServesASnapshotThenClosesOnSigtermLikeTheCloseButton)
{
    const int16_t port = freePortRun(1);
    ASSERT_GT(port, 0);
    ASSERT_TRUE(writeFile(folder() + "/Settings.ini", "80,3,\"False\"," + QByteArray::number(port)));
    // What a killed run leaves: the bitmap beside the program and a
    // snapshot replace cut short.
    const QString leftover = folder() + "/root/images/.VelmarixCamImage.jpg.tmp" + QString::number(deadPid()) + "_0";
    ASSERT_TRUE(writeFile(leftover, "half a jpeg"));
    ASSERT_TRUE(writeFile(folder() + "/VelmarixCamImage.bmp", "old frame"));

    ProgramProcess program(folder() + "/Talvex", home());
    program.start({"--headless"});
    const QString address = QStringLiteral(":%1/").arg(port);
    ASSERT_TRUE(program.waitForError("Talvex: serving http://")) << program.error().toStdString();
    EXPECT_TRUE(program.error().contains(address.toLatin1()));
    EXPECT_EQ(program.error().count("http://"), 1) << "the address once";
    EXPECT_FALSE(QFile::exists(leftover));

    const QByteArray answer = get(port, "/images/VelmarixCamImage.jpg?1");
    ASSERT_TRUE(answer.startsWith("HTTP/1.1 200 OK\r\n")) << answer.left(200).toStdString();
    const qsizetype body = answer.indexOf("\r\n\r\n") + 4;
    EXPECT_EQ(answer.mid(body, 2), QByteArray("\xFF\xD8", 2)) << "a JPEG";

    ASSERT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.waitForExit(), 0) << program.error().toStdString();
    EXPECT_EQ(readFile(folder() + "/Settings.ini"), "80\r\n3\r\n\"False\"\r\n" + QByteArray::number(port) + "\r\n");
    EXPECT_FALSE(QFile::exists(folder() + "/VelmarixCamImage.bmp"));
}

TEST(HeadlessServer, ATakenPortEndsTheRunWithTheReason)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("app");
    ASSERT_TRUE(makePortableCopy(folder));
    std::vector<std::unique_ptr<PortBlocker>> blockers;
    const int16_t port = holdPortRun(1, 1, blockers);
    ASSERT_GT(port, 0);
    const QByteArray settings = "75\r\n2\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n";
    ASSERT_TRUE(writeFile(folder + "/Settings.ini", settings));

    ProgramProcess program(folder + "/Talvex", dir.filePath("home"));
    EXPECT_EQ(program.run({"--headless"}), 1);
    const QByteArray error = program.error();
    EXPECT_TRUE(error.contains("Web Server cannot be start! Port " + QByteArray::number(port)
                               + " may be in use by another application.")) << error.toStdString();
    EXPECT_TRUE(error.contains("Address already in use")) << error.toStdString();
}

} // namespace
