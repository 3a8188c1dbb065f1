#include "support/Ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

namespace {

// A listening socket on the port, or -1.
int bindPort(int port, bool loopbackOnly, bool listen)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (!listen)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || (listen && ::listen(fd, 4) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int16_t freePortRun(int count)
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> base(20000, 32000);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int first = base(random);
        bool all = true;
        for (int i = 0; i < count && all; ++i) {
            const int fd = bindPort(first + i, false, false);
            all = fd >= 0;
            if (all)
                ::close(fd);
        }
        if (all)
            return static_cast<int16_t>(first);
    }
    return 0;
}

PortBlocker::PortBlocker(int16_t port, bool loopbackOnly)
    : m_fd(bindPort(port, loopbackOnly, true))
{
}

PortBlocker::~PortBlocker()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int16_t holdPortRun(int count, int held, std::vector<std::unique_ptr<PortBlocker>>& blockers)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        blockers.clear();
        const int16_t first = freePortRun(count);
        bool ok = first != 0;
        for (int i = 0; i < held && ok; ++i) {
            blockers.push_back(std::make_unique<PortBlocker>(int16_t(first + i), i % 2 == 0));
            ok = blockers.back()->ok();
        }
        if (ok)
            return first;
    }
    blockers.clear();
    return 0;
}
