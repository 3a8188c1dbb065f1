#include "StreamTestSupport.h"

#include "http/stream/LatestFrame.h"
#include "http/stream/StreamServer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

// A real player: Debian's ffmpeg reads the stream and decodes frames.
TEST(FfmpegPlaysStreamTest, DecodesFramesFromTheStream)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh --test)";
    LatestFrame frames;
    StreamServer server(frames);
    ASSERT_EQ(server.listen(0), 0);

    QProcess player;
    player.start(ffmpeg, {"-hide_banner", "-nostdin", "-loglevel", "info", "-i",
                          QStringLiteral("http://127.0.0.1:%1/stream").arg(server.port()), "-frames:v", "8",
                          "-f", "framemd5", "-"});
    ASSERT_TRUE(player.waitForStarted(10000));
    unsigned seed = 0;
    QTimer publisher;
    QObject::connect(&publisher, &QTimer::timeout, [&] { frames.publish(noiseJpeg(320, 240, seed++)); });
    publisher.start(40);
    ASSERT_TRUE(pumpUntil([&] { return player.state() == QProcess::NotRunning; }, 30000));
    publisher.stop();

    const QByteArray log = player.readAllStandardError();
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 0) << log.constData();
    // One checksum line per decoded frame.
    const QList<QByteArray> lines = player.readAllStandardOutput().split('\n');
    const auto decoded = std::count_if(lines.begin(), lines.end(), [](const QByteArray& line) {
        return !line.isEmpty() && !line.startsWith('#');
    });
    EXPECT_EQ(decoded, 8) << log.constData();
    EXPECT_TRUE(log.contains("mpjpeg")) << log.constData();
}
