#include "StreamTestSupport.h"

#include "http/stream/LatestFrame.h"
#include "http/stream/StreamServer.h"

#include <QImage>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class StreamServerTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Small kernel buffers, so frames outrun a reader that does not read.
        StreamServer::Limits limits;
        limits.sendBuffer = 16 * 1024;
        server.setLimits(limits);
        ASSERT_EQ(server.listen(0), 0);
    }

    StreamServer::Limits limits() const { return server.limits(); }

    std::unique_ptr<LoopbackClient> connect(const QByteArray& request, int receiveBuffer = 0)
    {
        auto client = std::make_unique<LoopbackClient>(static_cast<int16_t>(server.port()), receiveBuffer);
        EXPECT_TRUE(client->connected());
        EXPECT_TRUE(client->send(request));
        return client;
    }

    std::unique_ptr<LoopbackClient> openStream(int receiveBuffer = 0)
    {
        const int before = server.streamClients();
        auto client = connect("GET /stream?viewer=1 HTTP/1.1\r\nHost: x\r\n\r\n", receiveBuffer);
        EXPECT_TRUE(pumpUntil([&] { return server.streamClients() == before + 1; }));
        return client;
    }

    // Publishes and waits until `reader` has the whole part.
    void publishAndRead(const QByteArray& jpeg, LoopbackClient& reader, qint64 captureTimeUs = 0)
    {
        const qsizetype parts = parseStream(reader.received()).parts.size();
        frames.publish(jpeg, captureTimeUs);
        ASSERT_TRUE(pumpUntil([&] {
            reader.poll();
            return parseStream(reader.received()).parts.size() > parts;
        }));
    }

    LatestFrame frames;
    StreamServer server{frames};
};

TEST_F(StreamServerTest, EveryFrameIsOneExactPartThatDecodes)
{
    auto reader = openStream();
    std::vector<QByteArray> sent;
    // Each part carries its frame's capture time, microseconds kept to six digits.
    const qint64 captured[] = {1700000000000042, 1700000000123456, 1700000001000000, 1700000001999999};
    const QByteArray stamps[] = {"1700000000.000042", "1700000000.123456", "1700000001.000000", "1700000001.999999"};
    for (unsigned i = 0; i < 4; ++i) {
        sent.push_back(noiseJpeg(160 + 16 * i, 120, i));
        publishAndRead(sent.back(), *reader, captured[i]);
    }
    const ParsedStream stream = parseStream(reader->received());
    EXPECT_TRUE(stream.exact);
    EXPECT_TRUE(stream.head.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(stream.head.contains("\r\nContent-Type: multipart/x-mixed-replace; boundary=talvexframe\r\n"));
    EXPECT_TRUE(stream.head.contains("\r\nCache-Control: no-cache, no-store\r\n"));
    ASSERT_EQ(stream.parts.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(stream.parts[i], sent[static_cast<size_t>(i)]);
        EXPECT_EQ(stream.timestamps[i], stamps[i]);
        EXPECT_FALSE(QImage::fromData(stream.parts[i], "JPEG").isNull());
    }
}

TEST_F(StreamServerTest, ANewViewerStartsWithTheLatestFrame)
{
    const QByteArray latest = noiseJpeg(64, 48, 7);
    frames.publish(noiseJpeg(64, 48, 6));
    frames.publish(latest);
    auto reader = openStream();
    ASSERT_TRUE(pumpUntil([&] {
        reader->poll();
        return !parseStream(reader->received()).parts.isEmpty();
    }));
    EXPECT_EQ(parseStream(reader->received()).parts.value(0), latest);
}

TEST_F(StreamServerTest, ASlowReaderSkipsFramesButGetsOnlyWholeOnes)
{
    auto slow = openStream(4096);
    auto quick = openStream();
    std::vector<QByteArray> sent;
    for (unsigned i = 0; i < 12; ++i) {
        sent.push_back(noiseJpeg(640, 480, 100 + i));
        publishAndRead(sent.back(), *quick);
    }
    // Only now does the slow reader take what it was sent.
    ASSERT_TRUE(pumpUntil([&] {
        slow->poll();
        const ParsedStream stream = parseStream(slow->received());
        return !stream.parts.isEmpty() && stream.parts.last() == sent.back();
    }));
    const ParsedStream stream = parseStream(slow->received());
    EXPECT_TRUE(stream.exact);
    EXPECT_LT(stream.parts.size(), 12);
    size_t next = 0;
    for (const QByteArray& part : stream.parts) {
        // Each part is one published frame, in order, never a mix.
        while (next < sent.size() && sent[next] != part)
            ++next;
        ASSERT_LT(next, sent.size()) << "a part that is no published frame";
        ++next;
    }
    EXPECT_EQ(parseStream(quick->received()).parts.size(), 12);
}

TEST_F(StreamServerTest, AStalledReaderIsDroppedAndOthersGoOn)
{
    StreamServer::Limits limits = this->limits();
    limits.stallMs = 300;
    server.setLimits(limits);
    auto stalled = openStream(4096);
    auto quick = openStream();
    int published = 0;
    // Frames keep coming until the stalled reader is gone.
    ASSERT_TRUE(pumpUntil([&] {
        publishAndRead(noiseJpeg(640, 480, 200 + published), *quick);
        ++published;
        return server.streamClients() == 1;
    }));
    EXPECT_TRUE(pumpUntil([&] { return stalled->poll(); }));
    publishAndRead(noiseJpeg(64, 48, 1), *quick);
    EXPECT_EQ(parseStream(quick->received()).parts.size(), published + 1);
    EXPECT_TRUE(parseStream(quick->received()).exact);
}

TEST_F(StreamServerTest, PastTheClientLimitTheAnswerIs503)
{
    StreamServer::Limits limits = this->limits();
    limits.maxClients = 2;
    server.setLimits(limits);
    auto first = openStream();
    auto second = openStream();
    auto third = connect("GET /stream HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(third->readAll().startsWith("HTTP/1.1 503 Service Unavailable\r\n"));
    EXPECT_EQ(server.streamClients(), 2);
    // A place that frees up is taken again.
    first->close();
    ASSERT_TRUE(pumpUntil([&] { return server.streamClients() == 1; }));
    auto fourth = openStream();
    EXPECT_EQ(server.streamClients(), 2);
}

TEST_F(StreamServerTest, OtherRequestsGetOneAnswerAndAClose)
{
    // Larger than the client's buffer, so answers are still on their way
    // when the server is done with them.
    const QByteArray jpeg = noiseJpeg(320, 240, 3);
    const struct {
        QByteArray request;
        QByteArray status;
        QByteArray body;
    } cases[] = {
        {"GET /snapshot?1 HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\n", jpeg},
        // Pipelined: one answer per connection, and the rest is read and dropped.
        {"GET /snapshot HTTP/1.1\r\n\r\nGET /snapshot HTTP/1.1\r\n\r\n" + QByteArray(100000, 'x'), "HTTP/1.1 200 OK\r\n", jpeg},
        {"HEAD /snapshot HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\n", ""},
        {"GET /images/VelmarixCamImage.jpg HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", "Not found. Try /stream or /snapshot.\n"},
        {"POST /stream HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n", "Only GET and HEAD.\n"},
        {"garbage\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", "Bad request.\n"},
        {QByteArray("GET /") + QByteArray(90000, 'a'), "HTTP/1.1 400 Bad Request\r\n", "Bad request.\n"},
    };
    frames.publish(jpeg, 1700000000012345);
    for (const auto& c : cases) {
        auto client = connect(c.request, 4096);
        const QByteArray answer = client->readAll();
        // Bytes left unread by the server must not turn the close into a reset.
        EXPECT_FALSE(client->wasReset()) << c.request.left(40).constData();
        EXPECT_TRUE(answer.startsWith(c.status)) << c.request.left(40).constData();
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        EXPECT_EQ(answer.mid(headEnd + 4), c.body) << c.request.left(40).constData();
        EXPECT_TRUE(answer.contains("\r\nContent-Length: " + QByteArray::number(c.body.isEmpty() && c.status.contains("200") ? jpeg.size() : c.body.size()) + "\r\n"));
        EXPECT_EQ(answer.left(headEnd).contains("\r\nX-Timestamp: 1700000000.012345\r\n"), c.status.contains("200"));
    }
    EXPECT_EQ(server.streamClients(), 0);
}

TEST_F(StreamServerTest, ASnapshotBeforeAnyFrameIs503)
{
    auto client = connect("GET /snapshot HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(client->readAll().startsWith("HTTP/1.1 503"));
}

} // namespace
