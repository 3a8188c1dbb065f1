#pragma once

#include <sys/socket.h>

#include <cstdint>

// The key a connection's peer is counted under: its IPv4 address (network
// order), also for an IPv4 client on an IPv6 socket (::ffff:a.b.c.d); for
// an IPv6 peer a digest of its address within 240.0.0.0/4, a block reserved
// since 1989 that no IPv4 host sends from. 0 when unknown.
uint32_t peerKey(const sockaddr_storage& peer, socklen_t length);
