#pragma once

#include <QString>

struct ifaddrs;

// The dotted IPv4 address of the first interface that is up, is not a
// loopback and has an IPv4 address; "127.0.0.1" when there is none.
// Reads the interface list only; sends nothing.
QString primaryIpv4Address();
// The choice itself, over a list as getifaddrs returns it.
QString pickPrimaryIpv4Address(const ifaddrs* interfaces);
