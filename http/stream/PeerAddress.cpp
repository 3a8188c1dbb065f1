#include "http/stream/PeerAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

QString peerAddress(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd < 0 || ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (address.ss_family == AF_INET)
        raw = &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr;
    else if (address.ss_family == AF_INET6)
        raw = &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
    if (!raw || !::inet_ntop(address.ss_family, raw, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}
