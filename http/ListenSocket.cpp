#include "http/ListenSocket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int listenOn(const sockaddr* address, socklen_t length, bool deferAccept, uint16_t* boundPort)
{
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -errno;
    const int on = 1, off = 0;
    if (deferAccept) {
        const int deferSeconds = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    }
    // IPv4 clients come to an IPv6 wildcard socket as ::ffff:a.b.c.d, whatever
    // the system's default for new sockets is.
    const bool wildcard6 = address->sa_family == AF_INET6
        && IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || (wildcard6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0)
        || ::bind(fd, address, length) != 0 || ::listen(fd, SOMAXCONN) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength) != 0) {
        const int error = -errno;
        ::close(fd);
        return error;
    }
    if (boundPort)
        *boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                                       : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    return fd;
}

} // namespace

int openTcpListener(const QByteArray& bindAddress, uint16_t port, bool deferAccept, uint16_t* boundPort)
{
    if (bindAddress.isEmpty()) {
        sockaddr_in6 any6{};
        any6.sin6_family = AF_INET6;
        any6.sin6_addr = in6addr_any;
        any6.sin6_port = htons(port);
        const int fd = listenOn(reinterpret_cast<const sockaddr*>(&any6), sizeof any6, deferAccept, boundPort);
        // No IPv6 on this system (not built in, or off at boot): IPv4 alone.
        if (fd >= 0 || (fd != -EAFNOSUPPORT && fd != -EADDRNOTAVAIL && fd != -EPROTONOSUPPORT))
            return fd;
        sockaddr_in any4{};
        any4.sin_family = AF_INET;
        any4.sin_addr.s_addr = htonl(INADDR_ANY);
        any4.sin_port = htons(port);
        return listenOn(reinterpret_cast<const sockaddr*>(&any4), sizeof any4, deferAccept, boundPort);
    }
    QByteArray host = bindAddress;
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty() || host.contains('\0'))
        return -EINVAL;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(host.constData(), service.constData(), &hints, &found) != 0 || !found)
        return -EINVAL;
    const int fd = listenOn(found->ai_addr, found->ai_addrlen, deferAccept, boundPort);
    ::freeaddrinfo(found);
    return fd;
}
