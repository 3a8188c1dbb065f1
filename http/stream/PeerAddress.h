#pragma once

#include <QString>

// The address of the peer on a connected socket as text ("127.0.0.1"), or
// an empty string when the socket has none.
QString peerAddress(int fd);
