#include "ServerFixture.h"

#include "http/ResponseHeader.h"

#include <QElapsedTimer>

namespace {

using namespace std::chrono_literals;

const QByteArray kPlayer = "<html>player</html>\n";

class ServerDefenceTest : public ServerFixture {
protected:
    QByteArray playerAnswer() const { return responseHeader("text/html", int32_t(kPlayer.size())) + kPlayer; }

    // A connection that sends nothing, once a slot holds it.
    std::unique_ptr<LoopbackClient> silentClient(int slot)
    {
        auto client = std::make_unique<LoopbackClient>(state.My_PORT);
        EXPECT_TRUE(pumpUntil([&] { return (*webServer)[slot].HasConnection(); })) << slot;
        return client;
    }
};

TEST_F(ServerDefenceTest, SilentConnectionIsTakenAndAnsweredOnceItSends)
{
    // The listener defers connections until they send; one that keeps
    // silent past the deferral still gets its slot and its answer.
    start(freePortRun(1));
    const auto client = silentClient(1);
    EXPECT_TRUE(client->received().isEmpty());
    ASSERT_TRUE(client->send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client->readAll(), playerAnswer());
}

TEST_F(ServerDefenceTest, RotationPassesOverYoungConnectionAndClosesOlderIdleOne)
{
    os.deferAccept = false;
    server->setRotationGrace(200ms);
    start(freePortRun(1));
    const auto old = silentClient(1);
    QElapsedTimer age;
    age.start();
    ASSERT_TRUE(pumpUntil([&] { return age.elapsed() > 250; }));
    const auto young = silentClient(2);
    state.lastSlot = 99; // the rotation comes round to slot 1 next
    EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), playerAnswer());
    EXPECT_EQ(state.lastSlot, 3);
    EXPECT_TRUE(old->readAll().isEmpty());
    EXPECT_TRUE((*webServer)[2].HasConnection());
    EXPECT_FALSE(young->poll());
}

TEST_F(ServerDefenceTest, WhenEverySlotIsYoungTheOldestSilentOneMakesRoom)
{
    os.deferAccept = false;
    server->setRotationGrace(1h);
    state.maxSlots = 3; // slots 1 and 2
    start(freePortRun(1));
    const auto first = silentClient(1);
    const auto second = silentClient(2);
    EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), playerAnswer());
    EXPECT_EQ(state.lastSlot, 1);
    EXPECT_TRUE(first->readAll().isEmpty());
    EXPECT_TRUE((*webServer)[2].HasConnection());
    EXPECT_FALSE(second->poll());
}

TEST_F(ServerDefenceTest, BigFileGoesWholeToSlowReaderWhileOthersAreAnswered)
{
    // Above the size kept in memory: sent from disk as the reader drains.
    const qsizetype size = FileCache::kDefaultStreamThreshold + 12345;
    const QByteArray big = patternBytes(size);
    web.write(QStringLiteral("big.bin"), big);
    start(freePortRun(1));
    LoopbackClient slow(state.My_PORT, 8192);
    ASSERT_TRUE(slow.send("GET /big.bin HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(pumpUntil([&] {
        slow.take(4096);
        return slow.received().size() >= 100000;
    }));
    EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), playerAnswer());
    EXPECT_EQ(webServer->backgroundConnections(), 1);
    EXPECT_LT(webServer->backgroundBytes(), 1024 * 1024);
    EXPECT_EQ(slow.readAll(), responseHeader("application/octet-stream", int32_t(size)) + big);
    EXPECT_FALSE(slow.wasReset());
}

TEST_F(ServerDefenceTest, ClosedConnectionsPastTheBoundDropTheMostStalled)
{
    // More than the kernel's socket buffers take, less than is sent from disk.
    web.write(QStringLiteral("two.bin"), patternBytes(12 * 1024 * 1024));
    webServer->setBackgroundLimits(2, 64 * 1024 * 1024);
    start(freePortRun(1));
    std::vector<std::unique_ptr<LoopbackClient>> readers;
    for (int i = 0; i < 3; ++i) {
        readers.push_back(std::make_unique<LoopbackClient>(state.My_PORT, 4096));
        ASSERT_TRUE(readers.back()->send("GET /two.bin HTTP/1.1\r\n\r\n"));
        ASSERT_TRUE(pumpUntil([&] { return webServer->backgroundConnections() == std::min(i + 1, 2); })) << i;
    }
    // One of the two that stalled before the newcomer is dropped (their
    // last progress may fall in the same clock tick); the newcomer stays.
    ASSERT_TRUE(pumpUntil([&] { return readers[0]->poll() || readers[1]->poll(); }));
    const LoopbackClient& dropped = readers[0]->closed() ? *readers[0] : *readers[1];
    EXPECT_TRUE(dropped.wasReset());
    EXPECT_FALSE(readers[0]->closed() && readers[1]->closed());
    EXPECT_FALSE(readers[2]->poll());
}

TEST_F(ServerDefenceTest, OutOfDescriptorsClosesIdleConnectionsAndViewersAreAnsweredAgain)
{
    os.deferAccept = false;
    server->setRotationGrace(1h);
    start(freePortRun(1));
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int slot = 1; slot <= 4; ++slot)
        idle.push_back(silentClient(slot));
    // No descriptor left, the reserve included: only closing idle
    // connections makes room.
    os.descriptorLimit = int(os.open.size()) - 2;
    for (int viewer = 0; viewer < 3; ++viewer) {
        EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), playerAnswer()) << viewer;
        // Answered connections that still linger would be closed first.
        ASSERT_TRUE(pumpUntil([&] { return webServer->lingeringConnections() == 0; }));
    }
    EXPECT_GT(os.emfileCount, 0);
    EXPECT_TRUE(idle[0]->readAll().isEmpty());
    EXPECT_TRUE((*webServer)[4].HasConnection());
    // Once the attacker lets go, the reserve is taken back.
    idle.clear();
    os.descriptorLimit = 0;
    EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), playerAnswer());
}

} // namespace
