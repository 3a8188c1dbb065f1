#include "ProgramProcess.h"

#include "support/Files.h"
#include "support/Ports.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace {

QByteArray settings(int16_t port)
{
    return "75\r\n2\r\n\"False\"\r\n" + QByteArray::number(port) + "\r\n";
}

// Two cameras: one program, two folders, each with its own port, config
// and lock. A second start on a taken folder, with --folder or as the
// program's own folder, is refused and says where;
// SIGHUP reloads the folder's Talvex.conf instead of ending the run.
TEST(FolderInstances, TwoFoldersRunTogetherASecondOnTheSameIsRefusedAndSighupReloads)
{
    QTemporaryDir dir;
    ASSERT_TRUE(makePortableCopy(dir.filePath("app")));
    const int16_t port = freePortRun(3);
    ASSERT_GT(port, 0);
    const QString first = dir.filePath("cams/one");
    const QString second = dir.filePath("cams/two");
    ASSERT_TRUE(writeFile(first + "/Settings.ini", settings(port)));
    ASSERT_TRUE(writeFile(first + "/Talvex.conf",
                          "[Stream]\nPort=" + QByteArray::number(port + 2) + "\nMaxClients=5\n"));
    ASSERT_TRUE(writeFile(second + "/Settings.ini", settings(port)));
    // A copy of the program whose own folder is `first`: its plain run works there.
    ASSERT_TRUE(makePortableCopy(first));

    const QString program = dir.filePath("app/Talvex");
    ProgramProcess one(program, dir.filePath("home"));
    ProgramProcess two(program, dir.filePath("home"));
    // As under su or ssh: no runtime folder given, and still no Qt warning.
    QProcessEnvironment bare = two.process().processEnvironment();
    bare.remove("XDG_RUNTIME_DIR");
    two.process().setProcessEnvironment(bare);
    one.start({"--headless", "--folder", first});
    two.start({"--headless", "--folder", second, "--port", QString::number(port + 1)});
    ASSERT_TRUE(one.waitForError("Talvex: stream ")) << one.error().toStdString();
    ASSERT_TRUE(two.waitForError("Talvex: serving ")) << two.error().toStdString();
    EXPECT_TRUE(one.error().contains(QStringLiteral(":%1/stream").arg(port + 2).toLatin1()));
    EXPECT_TRUE(two.error().contains(QStringLiteral(":%1/").arg(port + 1).toLatin1()));
    EXPECT_EQ(one.error().count("http://"), 2) << "the address once, the stream once";
    for (const QByteArray& line : two.error().trimmed().split('\n'))
        EXPECT_TRUE(line.startsWith("Talvex: ")) << line.toStdString();

    ProgramProcess again(program, dir.filePath("home"));
    EXPECT_EQ(again.run({"--headless", "--folder", first}), 1);
    EXPECT_TRUE(again.error().startsWith("Talvex: already running for " + first.toLocal8Bit() + " (lock /"))
        << again.error().toStdString();

    ProgramProcess plain(first + "/Talvex", dir.filePath("home"));
    EXPECT_EQ(plain.run({"--headless"}), 1) << "a plain run in a folder a --folder run holds";
    EXPECT_TRUE(plain.error().contains("already running for " + first.toLocal8Bit())) << plain.error().toStdString();

    ASSERT_TRUE(writeFile(first + "/Talvex.conf",
                          "[Stream]\nPort=" + QByteArray::number(port + 2) + "\nMaxClients=1\n"));
    ASSERT_TRUE(one.signal(SIGHUP));
    EXPECT_TRUE(one.waitForError("Talvex: reloaded Talvex.conf: stream MaxClients 1\n")) << one.error().toStdString();

    ASSERT_TRUE(one.signal(SIGTERM));
    ASSERT_TRUE(two.signal(SIGTERM));
    EXPECT_EQ(one.waitForExit(), 0);
    EXPECT_EQ(two.waitForExit(), 0);
    // --port is for the run; the file keeps what it held.
    QFile kept(second + "/Settings.ini");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), settings(port));
}

} // namespace
