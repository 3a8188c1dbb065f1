#include "http/PeerAddress.h"

#include <netinet/in.h>

#include <cstring>

uint32_t peerKey(const sockaddr_storage& peer, socklen_t length)
{
    if (peer.ss_family == AF_INET && length >= sizeof(sockaddr_in))
        return reinterpret_cast<const sockaddr_in&>(peer).sin_addr.s_addr;
    if (peer.ss_family != AF_INET6 || length < sizeof(sockaddr_in6))
        return 0;
    const in6_addr& address = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&address)) {
        uint32_t ipv4 = 0;
        std::memcpy(&ipv4, address.s6_addr + 12, sizeof ipv4);
        return ipv4;
    }
    // FNV-1a over the 16 bytes, folded to 28 bits.
    uint32_t hash = 2166136261u;
    for (const uint8_t byte : address.s6_addr)
        hash = (hash ^ byte) * 16777619u;
    return htonl(0xF0000000u | (hash & 0x0FFFFFFFu));
}
