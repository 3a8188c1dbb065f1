#include "capture/LiveFeed.h"
#include "http/stream/LatestFrame.h"
#include "http/stream/StreamServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>

#include "support/Loopback.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

class LiveFeedTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("root/images")));
        state.TempPath = dir.path();
        state.rate = 2;
    }

    QJsonObject readStatus() const
    {
        QFile file(feed.statusPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    QTemporaryDir dir;
    MainState state;
    LatestFrame frames;
    QLabel sb3;
    int viewers = 0;
    int64_t wallMs = 1'700'000'000'000;
    LiveFeed feed{state, frames, sb3, [this] { return viewers; }, [this] { return wallMs; }, [this] { return wallMs; }};
};

// A blocking loopback reader of the stream port, fed by the test's own loop.
int connectStream(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const char request[] = "GET /stream HTTP/1.1\r\n\r\n";
    ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL);
    return fd;
}

QByteArray pumpAndRead(int fd, const QByteArray& until)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (!received.contains(until) && clock.elapsed() < 5000) {
        QCoreApplication::processEvents();
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            received.append(buffer, n);
    }
    return received;
}

TEST_F(LiveFeedTest, WhileTheCameraFailsNothingNewIsSentAndFramesResumeAfter)
{
    StreamServer server(frames);
    ASSERT_EQ(server.listen(0), 0);
    feed.setStreamPort([&server] { return int{server.port()}; });
    const int fd = connectStream(server.port());
    ASSERT_GE(fd, 0);
    QElapsedTimer clock;
    clock.start();
    while (server.streamClients() == 0 && clock.elapsed() < 5000)
        QCoreApplication::processEvents();

    feed.snapshotTaken(true, "frame-A");
    const int64_t goodAt = wallMs;
    QByteArray received = pumpAndRead(fd, "frame-A");
    for (int i = 0; i < 3; ++i) {
        wallMs += 500;
        // A failed capture re-encodes the old picture: those bytes stay home.
        feed.snapshotTaken(false, "old-picture-again");
        EXPECT_EQ(readStatus().value("frame").toInteger(), 1);
        EXPECT_TRUE(readStatus().value("cameraFailing").toBool());
        EXPECT_EQ(readStatus().value("lastGood").toInteger(), goodAt);
    }
    wallMs += 500;
    feed.snapshotTaken(false, "old-picture-again");
    EXPECT_EQ(readStatus().value("camera").toString(), "failing"); // 2 s without a good frame
    wallMs += 500;
    feed.snapshotTaken(true, "frame-C");
    received += pumpAndRead(fd, "frame-C");
    ::close(fd);
    EXPECT_FALSE(received.contains("old-picture-again"));
    EXPECT_LT(received.indexOf("frame-A"), received.indexOf("frame-C"));
    const QJsonObject status = readStatus();
    EXPECT_EQ(status.value("frame").toInteger(), 2);
    EXPECT_FALSE(status.contains("frames")); // the count is said once
    EXPECT_FALSE(status.value("cameraFailing").toBool());
    EXPECT_EQ(status.value("lastGood").toInteger(), wallMs);
    EXPECT_EQ(status.value("rate").toInt(), 2);
    EXPECT_EQ(status.value("stream").toObject(), (QJsonObject{{"port", server.port()}, {"path", "/stream"}}));
}

TEST_F(LiveFeedTest, StatusFileIsNeverSeenHalfWritten)
{
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> broken{0};
    const QString path = feed.statusPath();
    feed.snapshotTaken(true, "first");
    std::thread reader([&] {
        while (!done) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                ++broken; // the file must never be missing either
                continue;
            }
            const QByteArray text = file.readAll();
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(text, &error);
            if (error.error != QJsonParseError::NoError || !document.object().contains("frame"))
                ++broken;
            ++reads;
        }
    });
    for (int i = 0; i < 2000 && (i < 200 || reads < 200); ++i) {
        viewers = i % 7;
        feed.snapshotTaken(i % 5 != 0, QByteArray("frame ") + QByteArray::number(i));
    }
    done = true;
    reader.join();
    EXPECT_GE(reads.load(), 200);
    EXPECT_EQ(broken.load(), 0);
}

TEST_F(LiveFeedTest, TheRateLabelsTooltipTellsWhoIsWatching)
{
    viewers = 3;
    feed.snapshotTaken(true, QByteArray(13824, 'x'));
    EXPECT_EQ(sb3.toolTip(), QStringLiteral("3 viewers, about 81 KB/s in all"));
    EXPECT_EQ(sb3.accessibleDescription(), sb3.toolTip());
    EXPECT_EQ(readStatus().value("viewers").toInt(), 3);
    EXPECT_TRUE(readStatus().value("stream").isNull()); // no stream port
}

TEST_F(LiveFeedTest, HealthSaysOverTheStreamPortWhetherThePictureIsFresh)
{
    const struct {
        int rate;
        const char* captures; // one snapshot per interval: G good, F failed
        int64_t askAfterMs;   // after the last snapshot
        const char* status;
        const char* body;
    } cases[] = {
        {5, "", 0, "503", R"({"camera":"no frame yet","frames":0,"lastFrameAgeMs":null,"viewers":2})"},
        {5, "G", 300, "200", R"({"camera":"ok","frames":1,"lastFrameAgeMs":300,"viewers":2})"},
        {5, "GF", 100, "200", R"({"camera":"ok","frames":1,"lastFrameAgeMs":300,"viewers":2})"},
        {5, "GFFFFFFFFFF", 0, "503", R"({"camera":"failing","frames":1,"lastFrameAgeMs":2000,"viewers":2})"},
        {5, "FF", 0, "503", R"({"camera":"failing","frames":0,"lastFrameAgeMs":null,"viewers":2})"},
        {1, "G", 2999, "200", R"({"camera":"ok","frames":1,"lastFrameAgeMs":2999,"viewers":2})"},
        {1, "G", 3000, "503", R"({"camera":"stale","frames":1,"lastFrameAgeMs":3000,"viewers":2})"},
    };
    viewers = 2;
    for (const auto& c : cases) {
        state.rate = static_cast<int16_t>(c.rate);
        LatestFrame rowFrames;
        LiveFeed rowFeed(state, rowFrames, sb3, [this] { return viewers; }, {}, [this] { return wallMs; });
        StreamServer server(rowFrames);
        server.setHealth([&rowFeed] { return rowFeed.health(); });
        ASSERT_EQ(server.listen(0), 0);
        for (const char* step = c.captures; *step; ++step) {
            wallMs += 1000 / c.rate;
            rowFeed.snapshotTaken(*step == 'G', "jpeg");
        }
        wallMs += c.askAfterMs;
        for (const QByteArray method : {"GET", "HEAD"}) {
            LoopbackClient client(static_cast<int16_t>(server.port()));
            ASSERT_TRUE(client.send(method + " /health HTTP/1.1\r\n\r\n"));
            const QByteArray answer = client.readAll();
            EXPECT_TRUE(answer.startsWith(QByteArray("HTTP/1.1 ") + c.status)) << c.captures << answer.constData();
            EXPECT_TRUE(answer.contains("\r\nContent-Type: application/json\r\nContent-Length: "
                                        + QByteArray::number(qstrlen(c.body) + 1) + "\r\nCache-Control: no-store\r\n"));
            EXPECT_EQ(answer.mid(answer.indexOf("\r\n\r\n") + 4), method == "GET" ? c.body + QByteArray("\n") : "");
        }
    }
}

TEST(ViewersTipTest, Texts)
{
    const struct {
        int viewers;
        int64_t bytes;
        int rate;
        const char* text;
    } cases[] = {
        {0, 20000, 2, "No viewers"},
        {1, 1024, 1, "1 viewer, about 1 KB/s in all"},
        {3, 13824, 2, "3 viewers, about 81 KB/s in all"},
        {50, 225000, 5, "50 viewers, about 54932 KB/s in all"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(viewersTip(c.viewers, c.bytes, c.rate), QString::fromLatin1(c.text));
}

} // namespace
