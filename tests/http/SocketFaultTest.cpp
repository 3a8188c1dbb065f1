#include "ServerFixture.h"

#include "http/ResponseHeader.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>

namespace {

const QByteArray kPlayer = "<html>player</html>\n";

class SocketFaultTest : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        QObject::connect(webServer.get(), &TcpSocketArray::SocketEnded, webServer.get(), [this](int) { ++ended; });
        start(freePortRun(1));
        ASSERT_TRUE((*webServer)[0].isListening());
    }

    bool wasAborted(int fd) const { return std::count(os.aborted.begin(), os.aborted.end(), fd) > 0; }
    const QByteArray answer = responseHeader("text/html", int32_t(kPlayer.size())) + kPlayer;
    int ended = 0;
};

struct AcceptCase {
    const char* name;
    std::deque<int> errors;
    int pauses; // a listener out of resources waits rather than spinning
};

TEST_F(SocketFaultTest, FailedAcceptsAreSkippedOrPauseTheListener)
{
    const AcceptCase cases[] = {
        {"one connection failed",
         {ECONNABORTED, EPROTO, EPERM, ENETDOWN, EHOSTDOWN, ENONET, EHOSTUNREACH, ENETUNREACH, EINTR}, 0},
        // The reserve descriptors are given up and the accept tried again at once.
        {"out of descriptors", {EMFILE}, 0},
        // With the reserve spent too, the listener waits.
        {"out of descriptors twice", {EMFILE, ENFILE}, 1},
        {"out of memory", {ENOBUFS, ENOMEM}, 2},
    };
    for (const AcceptCase& c : cases) {
        SCOPED_TRACE(c.name);
        // An answered connection still lingering would be closed to make room.
        ASSERT_TRUE(pumpUntil([&] { return webServer->lingeringConnections() == 0; }));
        os.acceptErrors = c.errors;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), answer);
        const qint64 waited = clock.elapsed();
        EXPECT_TRUE(os.acceptErrors.empty());
        if (c.pauses > 0) {
            EXPECT_GE(waited, 90 * c.pauses);
        } else {
            EXPECT_LT(waited, 800); // nine pauses would take 900 ms
        }
        // The listener itself was never given up.
        EXPECT_EQ(os.listenCalls, 1);
        EXPECT_EQ(ended, 0);
    }
}

TEST_F(SocketFaultTest, FailedSendResetsTheConnectionAndTheServerServesOn)
{
    // Small answers fail when the close sends them; large ones while they are
    // written, which raises SocketEnded from the event loop afterwards.
    for (const int error : {EPIPE, ECONNRESET})
        for (const qsizetype size : {qsizetype(100), qsizetype(4 * 1024 * 1024)}) {
            SCOPED_TRACE(testing::Message() << error << " " << size);
            web.write(QStringLiteral("body.bin"), patternBytes(size));
            os.sendError = error;
            os.accepted.clear();
            ended = 0;
            LoopbackClient client(state.My_PORT);
            ASSERT_TRUE(client.send("GET /body.bin HTTP/1.1\r\n\r\n"));
            EXPECT_TRUE(client.readAll().isEmpty());
            ASSERT_EQ(os.accepted.size(), 1u);
            EXPECT_TRUE(wasAborted(os.accepted[0]));
            if (size > 100) {
                EXPECT_TRUE(pumpUntil([&] { return ended == 1; }));
            }
            EXPECT_EQ(webServer->backgroundConnections(), 0);
            EXPECT_FALSE((*webServer)[state.lastSlot].HasConnection());
            os.sendError = 0;
            EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), answer);
            EXPECT_EQ(ended, size > 100 ? 1 : 0);
        }
}

// A request longer than one read leaves input unread; closing over it would
// reset the connection and could destroy the answer, so the server drains it
// after answering, but only so far and so long.
TEST_F(SocketFaultTest, DrainAfterTheAnswerIsBounded)
{
    const QByteArray request = "GET / HTTP/1.1\r\nX-Pad: " + QByteArray(6000, 'p') + "\r\n\r\n";
    struct Case {
        qsizetype flood;   // what the peer sends after its request
        bool reset;
    };
    for (const Case c : {Case{0, false}, Case{1024 * 1024, true}}) {
        SCOPED_TRACE(c.flood);
        os.accepted.clear();
        os.aborted.clear();
        os.receivedBytes.clear();
        QElapsedTimer clock;
        clock.start();
        LoopbackClient client(state.My_PORT);
        ASSERT_TRUE(client.send(request));
        if (c.flood > 0)
            client.send(QByteArray(c.flood, 'f')); // may end in a reset
        // The answer ends with the server's half of the connection.
        ASSERT_TRUE(pumpUntil([&] { return client.poll(); }));
        // A peer that keeps its side open is not waited for beyond 2 s.
        ASSERT_TRUE(pumpUntil([&] { return webServer->lingeringConnections() == 0; }, 5000));
        const qint64 waited = clock.elapsed();
        ASSERT_EQ(os.accepted.size(), 1u);
        const int fd = os.accepted[0];
        EXPECT_EQ(wasAborted(fd), c.reset);
        if (c.reset) {
            // At most 256 KiB of it is read and thrown away.
            EXPECT_LT(os.receivedBytes[fd], 256 * 1024 + 16 * 1024);
            continue;
        }
        EXPECT_GE(waited, 1800); // coarse timers may fire 5% early
        EXPECT_EQ(client.received(), answer);
        EXPECT_FALSE(client.wasReset());
    }
}

} // namespace
