#include "http/RequestHandler.h"

#include "http/FileCache.h"
#include "http/FileExists.h"
#include "http/RequestPath.h"

#include <sys/stat.h>

#include <algorithm>

namespace {

bool serveIfPresent(const QByteArray& path, FileCache& cache, ServedFile& file)
{
    struct stat info {};
    return FileExists(path, info) && cache.serve(path, info, file);
}

// The file to send; false when not even the error page can be read.
bool findServedFile(const QByteArray& request, const QByteArray& webRoot, FileCache& cache, ServedFile& file)
{
    const std::optional<QByteArray> relative = requestPath(request);
    if (!relative)
        return false;
    if (!isHiddenPath(*relative) && serveIfPresent(fullFilePath(webRoot, *relative), cache, file))
        return true;
    return serveIfPresent(webRoot + QByteArrayLiteral("error.htm"), cache, file);
}

void answer(SocketSlot& socket, const QByteArray& webRoot, FileCache& cache)
{
    QByteArray request;
    socket.ReadData(request, kRequestBufferSize);
    ServedFile file;
    if (!findServedFile(request, webRoot, cache, file))
        return;
    socket.WriteData(file.header, static_cast<int>(file.header.size()));
    for (qint64 offset = 0; offset < file.length; offset += kBodyChunkSize) {
        const int length = static_cast<int>(std::min<qint64>(kBodyChunkSize, file.length - offset));
        if (file.stream) {
            if (socket.WriteFile(file.stream, offset, length) != length)
                return;
        } else {
            socket.WriteData(file.body, offset, length);
        }
    }
}

} // namespace

void handleRequest(SocketSlot& socket, const QByteArray& webRoot, FileCache& cache)
{
    try {
        answer(socket, webRoot, cache);
    } catch (...) {
        // Out of memory or the like: this request is lost, the server goes on.
    }
    if (socket.HasConnection())
        socket.CloseSocket();
}

void handleRequest(SocketSlot& socket, const QByteArray& webRoot)
{
    FileCache once(0);
    handleRequest(socket, webRoot, once);
}
