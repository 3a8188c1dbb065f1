#include "MainWindowFixture.h"

#include "core/state/UserConfig.h"
#include "http/OwnAddress.h"

#include <QLabel>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool hasIpv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

struct BindCase {
    const char* name;
    const char* given;  // the run's own bind address
    const char* config; // [Server] Bind
    bool ipv4, ipv6;    // which clients both ports answer
    const char* shown;  // My_IP when not the host's own IPv4 address
};

class BindAddressTest : public MainWindowFixture, public testing::WithParamInterface<BindCase> {
protected:
    // A configuration file of this test's own: the rows run in parallel
    // processes, and the shared test configuration would let one row's
    // clean-up remove another's [Server] Bind.
    BindAddressTest() { userConfigFile() = web.tempPath() + QStringLiteral("/Talvex.conf"); }
    ~BindAddressTest() override { userConfigFile().clear(); }

    // Whether the port answers a request from a client at address.
    static bool answers(const char* address, int16_t port, const QByteArray& request)
    {
        LoopbackClient client(address, port);
        return client.connected() && client.send(request) && !client.readAll().isEmpty();
    }
};

TEST_P(BindAddressTest, BothPortsListenWhereToldAndCountIpv6Viewers)
{
    const BindCase& c = GetParam();
    if (c.ipv6 && !hasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface here";
    userConfig().setValue(QStringLiteral("Server/Bind"), QString::fromLatin1(c.config));
    bindAddress = QString::fromLatin1(c.given);
    streamPort = freePortRun(1);
    const int16_t webPort = freePortRun(1);
    ASSERT_NE(webPort, streamPort);
    writeSettingsWithPort(webPort);
    frmMain& main = load();
    ASSERT_EQ(main.sb2->text(), QStringLiteral("Server: ON"));
    ASSERT_TRUE(main.streamServer().isListening());

    const QByteArray page = "GET / HTTP/1.1\r\n\r\n", snapshot = "GET /snapshot HTTP/1.1\r\n\r\n";
    EXPECT_EQ(answers("127.0.0.1", webPort, page), c.ipv4);
    EXPECT_EQ(answers("127.0.0.1", int16_t(streamPort), snapshot), c.ipv4);
    if (hasIpv6Loopback()) {
        EXPECT_EQ(answers("::1", webPort, page), c.ipv6);
        EXPECT_EQ(answers("::1", int16_t(streamPort), snapshot), c.ipv6);
    }
    // A second IPv4 request is the same viewer, whether it came as IPv4 or
    // as ::ffff:127.0.0.1 to an IPv6 socket.
    EXPECT_EQ(answers("127.0.0.1", webPort, page), c.ipv4);
    EXPECT_EQ(main.viewerCount(), int(c.ipv4) + int(c.ipv6));
    // The address shown is an IPv4 one viewers can reach.
    EXPECT_EQ(main.state().My_IP, *c.shown ? QString::fromLatin1(c.shown) : primaryIpv4Address());
}

INSTANTIATE_TEST_SUITE_P(Table, BindAddressTest,
                         testing::Values(BindCase{"ipv4Loopback", "127.0.0.1", "", true, false, "127.0.0.1"},
                                         BindCase{"ipv6Loopback", "::1", "", false, true, ""},
                                         BindCase{"dualStackByDefault", "", "", true, true, ""},
                                         BindCase{"everyIpv4Interface", "0.0.0.0", "", true, false, ""},
                                         BindCase{"fromTheConfiguration", "", "::1", false, true, ""},
                                         BindCase{"givenOverConfigured", "127.0.0.1", "::1", true, false, "127.0.0.1"}),
                         [](const testing::TestParamInfo<BindCase>& info) { return info.param.name; });

} // namespace
