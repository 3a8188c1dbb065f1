// The whole program on the real driver: Talvex under Xvfb takes its
// snapshots from vivid and serves them over HTTP on the loopback.

#include "VividSupport.h"
#include "e2e/DesktopSession.h"
#include "support/Loopback.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

constexpr QPoint kOpenButton{112, 224};
constexpr int kPort = 8123;  // the machine is ours alone

QByteArray fetch(const QByteArray& request)
{
    LoopbackClient client(kPort);
    return client.send(request) ? client.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(VividProgram, ServesSnapshotsOfTheCameraOverHttp)
{
    DesktopSession desktop;
    ASSERT_TRUE(desktop.ok()) << "Xvfb did not start";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString exe = dir.path() + "/Talvex";
    ASSERT_TRUE(QFile::copy(QStringLiteral(TALVEX_BIN_DIR) + "/Talvex", exe));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/root/images"));
    for (const QString& name : QStringList{"player.html", "error.htm"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(TALVEX_SOURCE_DIR) + "/root/" + name, dir.path() + "/root/" + name));
    ASSERT_TRUE(writeFile(dir.path() + "/Settings.ini", "75\r\n5\r\n\"True\"\r\n" + QByteArray::number(kPort) + "\r\n"));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/home/.config/Talvex"));
    ASSERT_TRUE(writeFile(dir.path() + "/home/.config/Talvex/Talvex.conf",
                          "[Capture]\nSource=/dev/video0\nFrameSize=640x480\n"));

    QProcess talvex;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", desktop.display());
    env.insert("HOME", dir.path() + "/home");
    env.insert("XDG_CONFIG_HOME", dir.path() + "/home/.config");
    env.remove("QT_QPA_PLATFORM");
    talvex.setProcessEnvironment(env);
    talvex.start(exe, {});
    ASSERT_TRUE(talvex.waitForStarted(10000));

    const QString begin = desktop.waitForWindow("Talvex", 60000);
    ASSERT_FALSE(begin.isEmpty()) << "the start-up window did not appear";
    desktop.click(begin, kOpenButton.x(), kOpenButton.y());
    const QDeadlineTimer deadline(60000);
    while (!fetch("GET /player.html HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK") && !deadline.hasExpired())
        QThread::msleep(200);
    ASSERT_FALSE(deadline.hasExpired()) << "the server never answered";
    QThread::msleep(2000);  // a few cycles at five a second

    const QByteArray answer = fetch("GET /images/VelmarixCamImage.jpg?1 HTTP/1.1\r\n\r\n");
    const qsizetype bodyAt = answer.indexOf("\r\n\r\n") + 4;
    ASSERT_GT(bodyAt, 4);
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 200 OK"));
    const QImage snapshot = QImage::fromData(answer.mid(bodyAt), "JPEG");
    EXPECT_EQ(snapshot.size(), QSize(640, 480));
    // JPEG at quality 75 moves flat colours by a few steps.
    const QString wrong = wrongBars(snapshot, 12);
    EXPECT_EQ(wrong, QString());

    talvex.kill();
    talvex.waitForFinished(5000);
    const QByteArray errors = talvex.readAllStandardError();
    EXPECT_FALSE(errors.contains("libv4l2")) << errors.toStdString();
    logLine(QStringLiteral("whole program under Xvfb: snapshot over HTTP %1x%2, %3 bytes, bars %4")
                .arg(snapshot.width())
                .arg(snapshot.height())
                .arg(answer.size() - bodyAt)
                .arg(wrong.isEmpty() ? QStringLiteral("all eight right") : wrong));
}

} // namespace
