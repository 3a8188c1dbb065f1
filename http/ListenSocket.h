#pragma once

#include <QByteArray>

#include <cstdint>

// Opens a non-blocking TCP listener with SO_REUSEADDR on port (0: any free
// port) at bindAddress, numeric IPv4 or IPv6 text ("127.0.0.1", "::1",
// "0.0.0.0", "::", "[::1]", "fe80::1%eth0"). Empty: every interface, IPv4
// and IPv6 on one socket where the system has IPv6, else IPv4 alone; "::"
// takes IPv4 too. deferAccept: connections reach accept() once they have
// sent something (or after a second). Returns the descriptor, or minus the
// errno value (EINVAL for an address that does not parse); *boundPort gets
// the port bound.
int openTcpListener(const QByteArray& bindAddress, uint16_t port, bool deferAccept, uint16_t* boundPort = nullptr);
