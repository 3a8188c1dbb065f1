#include "http/FileExists.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class FileExistsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        base = dir.path() + QStringLiteral("/");
        QDir(dir.path()).mkpath(QStringLiteral("sub"));
        QDir(dir.path()).mkpath(QStringLiteral(".hiddendir"));
        touch(QStringLiteral("plain.txt"));
        touch(QStringLiteral(".hidden"));
        touch(QStringLiteral(".hiddendir/inside.txt"));
        const QByteArray b = QFile::encodeName(base);
        ASSERT_EQ(::symlink((b + "plain.txt").constData(), (b + "linkToFile").constData()), 0);
        ASSERT_EQ(::symlink((b + "sub").constData(), (b + "linkToDir").constData()), 0);
        ASSERT_EQ(::symlink((b + "missing").constData(), (b + "dangling").constData()), 0);
        ASSERT_EQ(::mkfifo((b + "fifo").constData(), 0600), 0);
        socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = b + "sock";
        if (socketPath.size() < static_cast<qsizetype>(sizeof address.sun_path)) {
            std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
            ::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
    }
    void TearDown() override { ::close(socketFd); }

    void touch(const QString& name)
    {
        QFile file(base + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

    QTemporaryDir dir;
    QString base;
    int socketFd = -1;
};

TEST_F(FileExistsTest, OnlyVisibleRegularFilesCount)
{
    const std::pair<const char*, bool> cases[] = {
        {"plain.txt", true}, {"linkToFile", true}, {".hiddendir/inside.txt", true},
        {".hidden", false}, {"sub", false}, {"sub/", false}, {"linkToDir", false}, {"dangling", false},
        {"fifo", false}, {"sock", false}, {"missing", false}, {"plain.txt/", false}, {"plain.txt/x", false},
        {"", false},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(FileExists(base + QString::fromUtf8(name)), expected) << name;
    EXPECT_FALSE(FileExists(QStringLiteral("/dev/null")));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(QByteArray()));
}

TEST_F(FileExistsTest, NulByteIsNeverCutShort)
{
    // Both halves name an existing file if the name were cut at the NUL.
    EXPECT_FALSE(FileExists(base + QStringLiteral("plain.txt") + QChar(u'\0') + QStringLiteral("junk")));
    EXPECT_FALSE(FileExists(QFile::encodeName(base) + QByteArray("plain.txt\0junk", 14)));
}

} // namespace
