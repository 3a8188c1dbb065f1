#include "http/RequestHandler.h"

#include "http/FileExists.h"
#include "http/MimeType.h"
#include "http/RequestPath.h"
#include "http/ResponseHeader.h"
#include "http/WholeFile.h"

namespace {

// Reads the file to serve; false when not even the error page can be read.
bool loadServedFile(const QByteArray& request, const QByteArray& webRoot,
                    QByteArray& servedPath, QByteArray& body)
{
    const std::optional<QByteArray> relative = requestPath(request);
    if (!relative)
        return false;
    servedPath = fullFilePath(webRoot, *relative);
    if (!isHiddenPath(*relative) && FileExists(servedPath) && readWholeFile(servedPath, body))
        return true;
    servedPath = webRoot + QByteArrayLiteral("error.htm");
    return readWholeFile(servedPath, body);
}

void answer(SocketSlot& socket, const QByteArray& webRoot)
{
    QByteArray request;
    socket.ReadData(request, kRequestBufferSize);
    QByteArray servedPath;
    QByteArray body;
    if (!loadServedFile(request, webRoot, servedPath, body))
        return;
    const QByteArray header = responseHeader(contentTypeFor(servedPath), static_cast<int32_t>(body.size()));
    socket.WriteData(header, static_cast<int>(header.size()));
    qsizetype offset = 0;
    qsizetype remaining = body.size();
    while (remaining > kBodyChunkSize) {
        socket.WriteData(body, offset, kBodyChunkSize);
        offset += kBodyChunkSize;
        remaining -= kBodyChunkSize;
    }
    if (remaining > 0)
        socket.WriteData(body, offset, static_cast<int>(remaining));
}

} // namespace

void handleRequest(SocketSlot& socket, const QByteArray& webRoot)
{
    try {
        answer(socket, webRoot);
    } catch (...) {
        // Out of memory or the like: this request is lost, the server goes on.
    }
    if (socket.HasConnection())
        socket.CloseSocket();
}
