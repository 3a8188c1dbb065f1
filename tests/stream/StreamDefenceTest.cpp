#include "StreamTestSupport.h"

#include "http/stream/LatestFrame.h"
#include "http/stream/StreamServer.h"

#include <QElapsedTimer>
#include <QHash>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Clients = std::vector<std::unique_ptr<LoopbackClient>>;

Clients connectMany(uint16_t port, int count, const QByteArray& request = {})
{
    Clients clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<LoopbackClient>(static_cast<int16_t>(port)));
        EXPECT_TRUE(clients.back()->connected());
        if (!request.isEmpty()) {
            EXPECT_TRUE(clients.back()->send(request));
        }
    }
    return clients;
}

// How many of `clients` the server has closed.
int closedBy(Clients& clients)
{
    return static_cast<int>(std::count_if(clients.begin(), clients.end(), [](const auto& c) { return c->poll(); }));
}

QByteArray snapshotStatus(uint16_t port)
{
    LoopbackClient client(static_cast<int16_t>(port));
    client.send("GET /snapshot HTTP/1.1\r\n\r\n");
    const QByteArray answer = client.readAll();
    return answer.left(answer.indexOf("\r\n"));
}

bool hasPart(LoopbackClient& reader, qsizetype parts)
{
    return pumpUntil([&] {
        reader.poll();
        return parseStream(reader.received()).parts.size() >= parts;
    });
}

TEST(StreamDefenceTest, SilentAndHalfRequestsNeitherShutThePortNorOutstayTheirDeadline)
{
    LatestFrame frames;
    StreamServer server(frames);
    int64_t now = 1000;
    server.setClock([&] { return now; });
    frames.publish(noiseJpeg(64, 48, 1));

    // As set up by default, silent sockets stay in the kernel's queue.
    ASSERT_EQ(server.listen(0), 0);
    {
        Clients silent = connectMany(server.port(), 20);
        EXPECT_EQ(snapshotStatus(server.port()), "HTTP/1.1 200 OK");
        EXPECT_TRUE(pumpUntil([&] { return server.connections() == 0; }, 2000));
    }

    // Without deferral they all reach the server, which must hold its own.
    StreamServer::Limits limits = server.limits();
    limits.deferAcceptSeconds = 0;
    server.setLimits(limits);
    ASSERT_EQ(server.listen(0), 0);
    Clients half = connectMany(server.port(), 50, "GET /stream HTTP/1.1\r\nHost: x\r\n");
    Clients silent = connectMany(server.port(), 200);
    const int shed = 250 - StreamServer::kMaxWaiting;
    ASSERT_TRUE(pumpUntil([&] { return closedBy(silent) >= shed; }));

    QElapsedTimer answered;
    answered.start();
    EXPECT_EQ(snapshotStatus(server.port()), "HTTP/1.1 200 OK");
    EXPECT_LT(answered.elapsed(), 1000);
    LoopbackClient viewer(static_cast<int16_t>(server.port()));
    viewer.send("GET /stream HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(hasPart(viewer, 1));
    // Silent ones went first, though the others are older.
    EXPECT_EQ(closedBy(half), 0);
    EXPECT_LT(closedBy(silent), 200);
    EXPECT_LE(server.connections(), StreamServer::kMaxWaiting + 2);

    // Past the request deadline every waiting connection goes; the viewer stays.
    now += limits.requestMs + 1;
    EXPECT_TRUE(pumpUntil([&] { return closedBy(silent) == 200 && closedBy(half) == 50; }, 3000));
    frames.publish(noiseJpeg(64, 48, 2));
    EXPECT_TRUE(hasPart(viewer, 2));
    EXPECT_EQ(server.streamClients(), 1);
}

TEST(StreamDefenceTest, ASlowReaderGetsTheNewestFrameNext)
{
    constexpr int kBytesPerSecond = 20000;
    constexpr int kIntervalMs = 200; // the fastest snapshot rate
    LatestFrame frames;
    StreamServer server(frames);
    ASSERT_EQ(server.listen(0), 0);
    QHash<QByteArray, quint64> sequenceOf;
    unsigned seed = 0;
    const auto publish = [&] {
        const QByteArray jpeg = patchJpeg(1920, 1080, seed++);
        frames.publish(jpeg);
        sequenceOf.insert(jpeg, frames.sequence());
    };
    publish();
    // A small receive buffer stands for a slow link: little waits on the way.
    LoopbackClient reader(static_cast<int16_t>(server.port()), 4096);
    reader.send("GET /stream HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(hasPart(reader, 1));

    // From here on the reader takes 20 KB a second; note the newest frame
    // each time a part begins to arrive.
    const QByteArray boundary = QByteArray("--") + kStreamBoundary + "\r\n";
    std::vector<quint64> newestAtStart{frames.sequence()};
    qsizetype scanned = reader.received().size();
    const qsizetype readBefore = scanned;
    QElapsedTimer clock;
    clock.start();
    qint64 nextPublish = 0;
    constexpr qsizetype kParts = 3;
    ASSERT_TRUE(pumpUntil([&] {
        if (clock.elapsed() >= nextPublish) {
            publish();
            nextPublish += kIntervalMs;
        }
        reader.take(readBefore + clock.elapsed() * kBytesPerSecond / 1000 - reader.received().size());
        for (qsizetype at; (at = reader.received().indexOf(boundary, scanned)) >= 0; scanned = at + boundary.size())
            newestAtStart.push_back(frames.sequence());
        return parseStream(reader.received()).parts.size() >= kParts;
    }, 15000));

    const ParsedStream stream = parseStream(reader.received());
    EXPECT_TRUE(stream.exact);
    for (qsizetype i = 1; i < kParts; ++i) {
        ASSERT_TRUE(sequenceOf.contains(stream.parts[i])) << "part " << i << " is no published frame";
        EXPECT_LE(newestAtStart[size_t(i)] - sequenceOf.value(stream.parts[i]), 2u) << "part " << i;
    }
}

} // namespace
