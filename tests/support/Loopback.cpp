#include "support/Loopback.h"

#include "support/EventLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

LoopbackClient::LoopbackClient(int16_t port, int receiveBuffer)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(m_fd);
        m_fd = -1;
    }
}

LoopbackClient::LoopbackClient(const char* address, int16_t port)
{
    sockaddr_in6 address6{};
    sockaddr_in address4{};
    const sockaddr* target = reinterpret_cast<sockaddr*>(&address4);
    socklen_t length = sizeof address4;
    if (::inet_pton(AF_INET6, address, &address6.sin6_addr) == 1) {
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(static_cast<uint16_t>(port));
        target = reinterpret_cast<sockaddr*>(&address6);
        length = sizeof address6;
    } else if (::inet_pton(AF_INET, address, &address4.sin_addr) == 1) {
        address4.sin_family = AF_INET;
        address4.sin_port = htons(static_cast<uint16_t>(port));
    } else {
        return;
    }
    m_fd = ::socket(target->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd >= 0 && ::connect(m_fd, target, length) != 0 && errno != EINPROGRESS) {
        ::close(m_fd);
        m_fd = -1;
    }
}

LoopbackClient::~LoopbackClient()
{
    close();
}

void LoopbackClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool LoopbackClient::send(const QByteArray& data)
{
    qsizetype done = 0;
    const bool sent = pumpUntil([&] {
        const ssize_t n = ::send(m_fd, data.constData() + done, static_cast<size_t>(data.size() - done), MSG_NOSIGNAL);
        if (n > 0)
            done += n;
        return done == data.size() || (n < 0 && errno != EAGAIN && errno != ENOTCONN);
    });
    return sent && done == data.size();
}

bool LoopbackClient::poll()
{
    char buffer[65536];
    while (!m_closed && m_fd >= 0) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            m_received.append(buffer, n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        m_reset = n < 0;
        m_closed = true;
    }
    return m_closed;
}

void LoopbackClient::take(qsizetype limit)
{
    char buffer[4096];
    while (limit > 0 && !m_closed && m_fd >= 0) {
        const ssize_t n = ::recv(m_fd, buffer, static_cast<size_t>(std::min<qsizetype>(limit, sizeof buffer)), 0);
        if (n <= 0)
            return;
        m_received.append(buffer, n);
        limit -= n;
    }
}

QByteArray LoopbackClient::readAll()
{
    pumpUntil([this] { return poll(); });
    return m_received;
}
