#include "DesktopSession.h"
#include "support/Loopback.h"
#include "support/Ports.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>


namespace {

// The main window's close button and the start-up window's "Open", in the
// windows' own coordinates.
constexpr QPoint kOpenButton{112, 224};
constexpr QPoint kCloseButton{310, 14};

// One request to 127.0.0.1; the raw response bytes.
QByteArray fetch(int port, const QByteArray& request)
{
    LoopbackClient client{int16_t(port)};
    return client.send(request) ? client.readAll() : QByteArray();
}

bool waitForPort(int port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (fetch(port, "GET /player.html HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK"))
            return true;
        QThread::msleep(100);
    }
    return false;
}

QByteArray header(const QByteArray& type, qsizetype length)
{
    return "HTTP/1.1 200 OK\r\nServer: Talvex Server\r\n"
           "Cache-Control: no-store, no-cache, must-revalidate, post-check=0, pre-check=0\r\n"
           "Pragma: no-cache\r\nConnection: close\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program laid out as users have it: the executable with root/ beside it
// and a Settings.ini with a fixed port, in a home of its own.
class InstalledCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok()) << "Xvfb did not start";
        const QString bin = QStringLiteral(TALVEX_BIN_DIR);
        exe = dir.path() + "/Talvex";
        ASSERT_TRUE(QFile::copy(bin + "/Talvex", exe));
        ASSERT_TRUE(QDir().mkpath(dir.path() + "/root"));
        for (const QString& name : QStringList{"player.html", "error.htm"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(TALVEX_SOURCE_DIR) + "/root/" + name,
                                    dir.path() + "/root/" + name));
        ASSERT_TRUE(QDir().mkpath(dir.path() + "/root/images"));
        port = freePortRun(1);
        ASSERT_GT(port, 0);
        settings = "75\r\n2\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n";
        QFile ini(dir.path() + "/Settings.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(settings);
        ini.close();
        // No camera in the test: the remembered source is the test pattern.
        QDir().mkpath(dir.path() + "/home/.config/Talvex");
        QFile conf(dir.path() + "/home/.config/Talvex/Talvex.conf");
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("[Capture]\nSource=testpattern\nFrameSize=640x480\n");
        conf.close();
        QDir().mkpath(dir.path() + "/run");
        QFile::setPermissions(dir.path() + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void TearDown() override
    {
        for (QProcess* process : {&first, &second})
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(3000);
            }
    }
    void start(QProcess& process)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", desktop.display());
        env.insert("HOME", dir.path() + "/home");
        env.insert("XDG_CONFIG_HOME", dir.path() + "/home/.config");
        env.insert("XDG_RUNTIME_DIR", dir.path() + "/run");
        env.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(exe, {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    DesktopSession desktop;
    QTemporaryDir dir;
    QString exe;
    int port = 0;
    QByteArray settings;
    QProcess first;
    QProcess second;
};

TEST_F(InstalledCopy, OpensServesRefusesASecondInstanceAndClosesCleanly)
{
    start(first);
    const QString begin = desktop.waitForWindow("Talvex");
    ASSERT_FALSE(begin.isEmpty()) << "the start-up window did not appear";
    desktop.click(begin, kOpenButton.x(), kOpenButton.y());
    ASSERT_TRUE(waitForPort(port, 20000)) << "the server never answered on " << port;

    const QByteArray player = fileBytes(dir.path() + "/root/player.html");
    EXPECT_EQ(fetch(port, "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n"), header("text/html", player.size()) + player);

    const QByteArray errorPage = fileBytes(dir.path() + "/root/error.htm");
    EXPECT_EQ(fetch(port, "GET /no/such/file.txt HTTP/1.1\r\n\r\n"), header("text/html", errorPage.size()) + errorPage);

    const QByteArray snapshot = fetch(port, "GET /images/VelmarixCamImage.jpg?1 HTTP/1.1\r\n\r\n");
    const qsizetype bodyAt = snapshot.indexOf("\r\n\r\n") + 4;
    ASSERT_GT(bodyAt, 4);
    const QByteArray jpeg = snapshot.mid(bodyAt);
    EXPECT_EQ(snapshot.left(bodyAt), header("image/jpeg", jpeg.size()));
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8") && jpeg.endsWith("\xFF\xD9"));
    EXPECT_EQ(QImage::fromData(jpeg, "JPEG").size(), QSize(640, 480));

    // A second start shows its message and ends without touching the first.
    const QStringList before = desktop.windows("Talvex");
    start(second);
    QString message;
    const QDeadlineTimer deadline(15000);
    while (message.isEmpty() && !deadline.hasExpired()) {
        for (const QString& id : desktop.windows("Talvex"))
            if (!before.contains(id))
                message = id;
        QThread::msleep(50);
    }
    ASSERT_FALSE(message.isEmpty()) << "no message from the second instance";
    desktop.xdotool({"key", "--window", message, "Return"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(fetch(port, "GET / HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(first.state(), QProcess::Running);

    const QStringList mains = desktop.windows("Talvex");
    ASSERT_EQ(mains.size(), 1);
    desktop.click(mains.first(), kCloseButton.x(), kCloseButton.y());
    ASSERT_TRUE(first.waitForFinished(15000)) << "the main window's close button did not end the program";
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(fileBytes(dir.path() + "/Settings.ini"), settings);
}

}  // namespace
