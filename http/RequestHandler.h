#pragma once

#include "http/SocketSlot.h"

#include <QByteArray>

class FileCache;

// Answers the one request waiting on socket from the files under webRoot
// (file-system encoding, ending in "/"), then closes the connection. A
// missing, hidden or unreadable file gets "error.htm" with status 200; a
// request whose path cannot be found, or a missing error page, is closed
// without an answer. Files come through cache, which the caller keeps
// between requests; a file too big for it goes out from disk. Never throws.
void handleRequest(SocketSlot& socket, const QByteArray& webRoot, FileCache& cache);
// The same with nothing kept between requests.
void handleRequest(SocketSlot& socket, const QByteArray& webRoot);

// The size of the request read and of the body writes.
inline constexpr int kRequestBufferSize = 2048;
inline constexpr int kBodyChunkSize = 16384;
