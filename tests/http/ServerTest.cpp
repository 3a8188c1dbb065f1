#include "ServerFixture.h"

#include "http/OwnAddress.h"
#include "http/ResponseHeader.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kWarning = QStringLiteral("Web Server cannot be start! Port %1 may be in use by another application.");

class ServerTest : public ServerFixture {};

TEST_F(ServerTest, AnswersOverLoopbackByteForByte)
{
    const QByteArray jpeg = patternBytes(40000);
    web.write(QStringLiteral("images/VelmarixCamImage.jpg"), jpeg);
    start(freePortRun(1));
    ASSERT_EQ(view.captions, QStringList{QStringLiteral("Server: ON")});
    EXPECT_EQ(state.My_IP, primaryIpv4Address());

    EXPECT_EQ(fetch("GET /images/VelmarixCamImage.jpg?1234 HTTP/1.1\r\nConnection: keep-alive\r\n\r\n"),
              responseHeader("image/jpeg", 40000) + jpeg);
    const QByteArray error = "<html>error</html>\n";
    EXPECT_EQ(fetch("GET /../Settings.ini HTTP/1.1\r\n\r\n"), responseHeader("text/html", int32_t(error.size())) + error);
}

TEST_F(ServerTest, ShapelessOrSplitRequestsAreClosedAndTheServerServesOn)
{
    // Before each further packet the server may answer, close, or wait.
    const QList<QList<QByteArray>> requests = {
        {"GE", "T /player.html HTTP/1.1\r\n\r\n"},
        {"GET /pla", "yer.html HTTP/1.1\r\n\r\n"},
        {"GET "},
        {"GET /" + QByteArray(64 * 1024, 'a') + " HTTP/1.1\r\n\r\n"},
        {patternBytes(4096)},
    };
    start(freePortRun(1));
    const QByteArray player = "<html>player</html>\n", error = "<html>error</html>\n";
    const QByteArray answer = responseHeader("text/html", int32_t(player.size())) + player;
    const QByteArray errorAnswer = responseHeader("text/html", int32_t(error.size())) + error;
    for (const QList<QByteArray>& packets : requests) {
        SCOPED_TRACE(packets.front().left(20).toHex().toStdString());
        LoopbackClient client(state.My_PORT);
        for (int i = 0; i < packets.size(); ++i) {
            if (i > 0)
                pumpUntil([&] { return client.poll(); }, 500);
            client.send(packets[i]);
        }
        const QByteArray received = client.readAll();
        EXPECT_TRUE(client.closed()) << "the connection was left open";
        EXPECT_TRUE(received.isEmpty() || received == answer || received == errorAnswer);
    }
    EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), answer);
}

TEST_F(ServerTest, HundredthConnectionGoesToSlotOne)
{
    start(freePortRun(1));
    for (int i = 1; i <= 99; ++i)
        ASSERT_FALSE(fetch("GET / HTTP/1.1\r\n\r\n").isEmpty()) << i;
    EXPECT_EQ(state.lastSlot, 99);
    LoopbackClient held(state.My_PORT);
    EXPECT_TRUE(pumpUntil([&] { return (*webServer)[1].HasConnection(); }));
    EXPECT_EQ(state.lastSlot, 1);
    EXPECT_FALSE((*webServer)[100].HasConnection());
}

TEST_F(ServerTest, StillHeldSlotIsClosedAndPassedOver)
{
    server->setRotationGrace(std::chrono::milliseconds(0));
    start(freePortRun(1));
    LoopbackClient first(state.My_PORT);
    ASSERT_TRUE(pumpUntil([&] { return (*webServer)[1].HasConnection(); }));
    state.lastSlot = 99; // as after 99 answered requests
    LoopbackClient second(state.My_PORT);
    ASSERT_TRUE(pumpUntil([&] { return (*webServer)[2].HasConnection(); }));
    EXPECT_EQ(state.lastSlot, 2);
    EXPECT_FALSE((*webServer)[1].HasConnection());
    EXPECT_TRUE(pumpUntil([&] { return first.poll(); }));
    EXPECT_TRUE(first.received().isEmpty());
}

TEST_F(ServerTest, RotationAnswersAHeldSlotWhoseRequestIsWaiting)
{
    server->setRotationGrace(std::chrono::milliseconds(0));
    start(freePortRun(1));
    LoopbackClient first(state.My_PORT);
    ASSERT_TRUE(pumpUntil([&] { return (*webServer)[1].HasConnection(); }));
    // The request is in, but its read event has not been handled when the
    // rotation comes round to the slot.
    ASSERT_TRUE(first.send("GET / HTTP/1.1\r\n\r\n"));
    state.lastSlot = 99;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair), 0);
    server->ConnectionRequest(0, pair[0]);
    EXPECT_EQ(state.lastSlot, 2);
    EXPECT_TRUE(first.readAll().startsWith("HTTP/1.1 200 OK\r\n"));
    // A handle the listener never announced is not taken; it stays ours.
    if ((*webServer)[2].HasConnection())
        (*webServer)[2].CloseSocket();
    else
        ::close(pair[0]);
    ::close(pair[1]);
}

TEST_F(ServerTest, AutomaticPortWalksPastTakenPorts)
{
    std::vector<std::unique_ptr<PortBlocker>> blockers; // one on 127.0.0.1, one on 0.0.0.0
    const int16_t port = holdPortRun(3, 2, blockers);
    ASSERT_NE(port, 0);
    start(port);
    EXPECT_EQ(state.My_PORT, port + 2);
    EXPECT_EQ(state.portTries, 2);
    EXPECT_EQ(view.captions, QStringList{QStringLiteral("Server: ON")});
    EXPECT_TRUE(view.warnings.isEmpty());
    EXPECT_FALSE(fetch("GET / HTTP/1.1\r\n\r\n").isEmpty());
}

TEST_F(ServerTest, NoRetryWithConfiguredPort)
{
    for (const int16_t configured : {int16_t(1), int16_t(-1)}) {
        view = RecordingView();
        std::vector<std::unique_ptr<PortBlocker>> blockers;
        const int16_t port = holdPortRun(2, 1, blockers);
        ASSERT_NE(port, 0);
        os.listenCalls = 0;
        start(port, configured == 1 ? port : configured);
        EXPECT_EQ(os.listenCalls, 1);
        EXPECT_EQ(state.My_PORT, port);
        EXPECT_EQ(view.captions, QStringList{QStringLiteral("Server: OFF")});
        EXPECT_EQ(view.warnings, QStringList{kWarning.arg(port)});
    }
}

TEST_F(ServerTest, SixAttemptsThenWarningNamesTheLastPort)
{
    const int16_t port = 20000;
    for (int i = 0; i < 6; ++i)
        os.refusedPorts.insert(uint16_t(port + i));
    start(port);
    EXPECT_EQ(os.listenCalls, 6);
    EXPECT_EQ(state.portTries, 5);
    EXPECT_EQ(view.captions, QStringList{QStringLiteral("Server: OFF")});
    EXPECT_EQ(view.warnings, QStringList{kWarning.arg(port + 5)});
}

TEST_F(ServerTest, LostListenerRestartsOnItsPortOnly)
{
    for (const bool portTaken : {false, true}) {
        view = RecordingView();
        state.portTries = 0;
        const int16_t port = freePortRun(2);
        start(port);
        ASSERT_TRUE((*webServer)[0].isListening());
        os.listenCalls = 0;
        if (portTaken)
            os.refusedPorts.insert(uint16_t(port));
        os.acceptErrors = {EINVAL};
        LoopbackClient trigger(port);
        ASSERT_TRUE(pumpUntil([&] { return os.listenCalls > 0; }));
        EXPECT_EQ(os.listenCalls, 1);
        EXPECT_EQ(state.portTries, 5);
        EXPECT_EQ(state.My_PORT, port);
        EXPECT_EQ((*webServer)[0].isListening(), !portTaken);
        if (portTaken) {
            EXPECT_EQ(view.captions.last(), QStringLiteral("Server: OFF"));
            EXPECT_EQ(view.warnings, QStringList{kWarning.arg(port)});
        } else {
            EXPECT_EQ(view.captions, (QStringList{QStringLiteral("Server: ON"), QStringLiteral("Server: ON")}));
            EXPECT_FALSE(fetch("GET / HTTP/1.1\r\n\r\n").isEmpty());
        }
        server = std::make_unique<HttpServer>(state, *webServer, view);
        (*webServer)[0].CloseSocket();
    }
}

} // namespace
