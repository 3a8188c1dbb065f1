#include "ServerFixture.h"

#include "http/OwnAddress.h"
#include "http/PeerAddress.h"
#include "http/ResponseHeader.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace {

using SocketControlTest = ServerFixture;

// A body too large for the socket buffers, to a client that reads nothing
// until told to: the slot is free as soon as the handler closes it, and the
// rest goes out in the background, unless the peer stalls or a send fails.
TEST_F(SocketControlTest, QueuedBodyIsFinishedInTheBackground)
{
    const QByteArray body = patternBytes(8 * 1024 * 1024);
    web.write(QStringLiteral("big.bin"), body);
    start(freePortRun(1)); // routes events first, so the check below runs after the answer
    bool handled = false, heldAfterClose = true;
    int backgroundAfterClose = 0;
    QObject::connect(webServer.get(), &TcpSocketArray::DataArrived, webServer.get(), [&](int index) {
        heldAfterClose = (*webServer)[index].HasConnection();
        backgroundAfterClose = webServer->backgroundConnections();
        handled = true;
    });
    enum class Then { Read, Stall, FailSend };
    for (const Then then : {Then::Read, Then::Stall, Then::FailSend}) {
        SCOPED_TRACE(int(then));
        webServer->setStallTimeout(std::chrono::milliseconds(then == Then::Stall ? 0 : 30000));
        handled = false;
        os.accepted.clear();
        os.aborted.clear();
        LoopbackClient client(state.My_PORT, 4096);
        ASSERT_TRUE(client.send("GET /big.bin HTTP/1.1\r\n\r\n"));
        ASSERT_TRUE(pumpUntil([&] { return handled; }));
        EXPECT_FALSE(heldAfterClose);
        EXPECT_EQ(backgroundAfterClose, 1);
        os.sendError = then == Then::FailSend ? ECONNRESET : 0;
        if (then == Then::Stall) {
            EXPECT_TRUE(pumpUntil([&] { return webServer->backgroundConnections() == 0; }));
        }
        const QByteArray received = client.readAll();
        EXPECT_TRUE(pumpUntil([&] { return webServer->backgroundConnections() == 0; }));
        ASSERT_EQ(os.accepted.size(), 1u);
        EXPECT_EQ(os.aborted, then == Then::Read ? std::vector<int>{} : os.accepted);
        if (then == Then::Read) {
            EXPECT_EQ(received, responseHeader("application/octet-stream", int32_t(body.size())) + body);
            EXPECT_FALSE(client.wasReset());
        } else {
            EXPECT_LT(received.size(), body.size());
        }
    }
    os.sendError = 0;
}

TEST_F(SocketControlTest, PeerCloseRaisesSocketEndedAndFreesTheSlot)
{
    std::vector<int> ended;
    QObject::connect(webServer.get(), &TcpSocketArray::SocketEnded, webServer.get(),
                     [&](int index) { ended.push_back(index); });
    start(freePortRun(1));
    LoopbackClient client(state.My_PORT);
    ASSERT_TRUE(pumpUntil([&] { return (*webServer)[1].HasConnection(); }));
    client.close();
    ASSERT_TRUE(pumpUntil([&] { return !ended.empty(); }));
    EXPECT_EQ(ended, std::vector<int>{1});
    EXPECT_FALSE((*webServer)[1].HasConnection());
}

TEST_F(SocketControlTest, HandleNobodyTakesIsClosed)
{
    TcpSocketControl& listener = (*webServer)[0];
    listener.setPortNumber(freePortRun(1));
    ASSERT_TRUE(listener.StartListening());
    LoopbackClient client(listener.PortNumber());
    EXPECT_TRUE(pumpUntil([&] { return client.poll(); }));
    EXPECT_TRUE(client.received().isEmpty());
}

TEST_F(SocketControlTest, MembersRefuseWhatTheyCannotDo)
{
    TcpSocketControl& listener = (*webServer)[0];
    TcpSocketControl& slot = (*webServer)[1];
    EXPECT_FALSE(slot.TakeConnection(0));
    EXPECT_FALSE(slot.HasConnection());
    EXPECT_EQ(slot.WriteData(QByteArray("x"), 1), 0);
    QByteArray buffer = "stale";
    EXPECT_EQ(slot.ReadData(buffer, 2048), 0);
    EXPECT_TRUE(buffer.isEmpty());
    slot.CloseSocket();
    listener.CloseSocket();
    listener.setPortNumber(0);
    EXPECT_FALSE(listener.StartListening());
    std::vector<std::unique_ptr<PortBlocker>> blockers;
    const int16_t port = holdPortRun(1, 1, blockers);
    ASSERT_NE(port, 0);
    listener.setPortNumber(port);
    EXPECT_FALSE(listener.StartListening());
    EXPECT_EQ(listener.lastError(), EADDRINUSE);
    EXPECT_FALSE(webServer->load(1));
    EXPECT_FALSE(webServer->load(0));
    EXPECT_EQ(webServer->element(101), nullptr);
}

// A list as getifaddrs hands it out, built by hand.
struct FakeInterface {
    ifaddrs entry{};
    sockaddr_in address{};
    sockaddr_in6 address6{};
};

TEST(OwnAddress, FirstUpNonLoopbackIpv4Interface)
{
    FakeInterface list[5];
    auto set = [&](int i, unsigned flags, int family, const char* ip) {
        list[i].entry.ifa_flags = flags;
        if (family == AF_INET) {
            list[i].address.sin_family = AF_INET;
            inet_pton(AF_INET, ip, &list[i].address.sin_addr);
            list[i].entry.ifa_addr = reinterpret_cast<sockaddr*>(&list[i].address);
        } else if (family == AF_INET6) {
            list[i].address6.sin6_family = AF_INET6;
            list[i].entry.ifa_addr = reinterpret_cast<sockaddr*>(&list[i].address6);
        }
        if (i > 0)
            list[i - 1].entry.ifa_next = &list[i].entry;
    };
    set(0, IFF_UP | IFF_LOOPBACK, AF_INET, "127.0.0.1");
    set(1, 0, AF_INET, "10.0.0.9");                 // down
    set(2, IFF_UP, AF_INET6, nullptr);               // no IPv4
    set(3, IFF_UP, 0, nullptr);                      // no address at all
    set(4, IFF_UP, AF_INET, "192.168.0.10");
    EXPECT_EQ(pickPrimaryIpv4Address(&list[0].entry), QStringLiteral("192.168.0.10"));
    list[3].entry.ifa_next = nullptr;
    EXPECT_EQ(pickPrimaryIpv4Address(&list[0].entry), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(pickPrimaryIpv4Address(nullptr), QStringLiteral("127.0.0.1"));
}

TEST(PeerKey, Ipv4AsItselfMappedAsItsIpv4AndIpv6InTheReservedBlock)
{
    const auto key = [](const char* text) {
        sockaddr_storage peer{};
        socklen_t length = 0;
        auto& v4 = reinterpret_cast<sockaddr_in&>(peer);
        auto& v6 = reinterpret_cast<sockaddr_in6&>(peer);
        if (inet_pton(AF_INET, text, &v4.sin_addr) == 1) {
            v4.sin_family = AF_INET;
            length = sizeof v4;
        } else if (inet_pton(AF_INET6, text, &v6.sin6_addr) == 1) {
            v6.sin6_family = AF_INET6;
            length = sizeof v6;
        }
        return ntohl(peerKey(peer, length));
    };
    EXPECT_EQ(key("192.168.0.10"), 0xC0A8000Au);
    EXPECT_EQ(key("::ffff:192.168.0.10"), 0xC0A8000Au);
    EXPECT_EQ(key("::1") >> 28, 0xFu);
    EXPECT_EQ(key("2001:db8::1") >> 28, 0xFu);
    EXPECT_NE(key("::1"), key("2001:db8::1"));
    EXPECT_EQ(key("nonsense"), 0u);
}

} // namespace
