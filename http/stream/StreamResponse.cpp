#include "http/stream/StreamResponse.h"

#include <QList>

namespace {

qsizetype requestEnd(const QByteArray& received)
{
    const qsizetype crlf = received.indexOf("\r\n\r\n");
    if (crlf >= 0)
        return crlf;
    return received.indexOf("\n\n");
}

// Seconds.microseconds since the epoch; nothing when the time is unknown.
QByteArray timestampLine(qint64 captureTimeUs)
{
    if (captureTimeUs <= 0)
        return {};
    return "X-Timestamp: " + QByteArray::number(captureTimeUs / 1000000) + '.'
        + QByteArray::number(captureTimeUs % 1000000).rightJustified(6, '0') + "\r\n";
}

} // namespace

StreamRequest parseStreamRequest(const QByteArray& received)
{
    StreamRequest request;
    const qsizetype end = requestEnd(received);
    if (end < 0) {
        request.route = received.size() >= kMaxStreamRequest ? StreamRoute::BadRequest : StreamRoute::Incomplete;
        return request;
    }
    if (end > kMaxStreamRequest) {
        request.route = StreamRoute::BadRequest;
        return request;
    }
    const qsizetype lineEnd = received.indexOf('\n');
    const QByteArray line = received.left(lineEnd).trimmed();
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3 || !words[2].startsWith("HTTP/")) {
        request.route = StreamRoute::BadRequest;
        return request;
    }
    request.headOnly = words[0] == "HEAD";
    if (words[0] != "GET" && !request.headOnly) {
        request.route = StreamRoute::NotAllowed;
        return request;
    }
    QByteArray path = words[1];
    for (const char cut : {'?', '#'}) {
        const qsizetype at = path.indexOf(cut);
        if (at >= 0)
            path.truncate(at);
    }
    if (path == "/stream")
        request.route = StreamRoute::Stream;
    else if (path == "/snapshot")
        request.route = StreamRoute::Snapshot;
    else if (path == "/health")
        request.route = StreamRoute::Health;
    else
        request.route = StreamRoute::NotFound;
    return request;
}

QByteArray streamResponseHeader()
{
    return QByteArray("HTTP/1.1 200 OK\r\n"
                      "Server: Talvex Server\r\n"
                      "Content-Type: multipart/x-mixed-replace; boundary=")
        + kStreamBoundary
        + "\r\n"
          "Cache-Control: no-cache, no-store\r\n"
          "Pragma: no-cache\r\n"
          "Connection: close\r\n"
          "\r\n";
}

QByteArray partHeader(qsizetype jpegBytes, qint64 captureTimeUs)
{
    QByteArray header = QByteArray("--") + kStreamBoundary
        + "\r\n"
          "Content-Type: image/jpeg\r\n"
          "Content-Length: "
        + QByteArray::number(jpegBytes) + "\r\n";
    return header + timestampLine(captureTimeUs) + "\r\n";
}

QByteArray snapshotResponseHeader(qsizetype jpegBytes, qint64 captureTimeUs)
{
    return QByteArray("HTTP/1.1 200 OK\r\n"
                      "Server: Talvex Server\r\n"
                      "Content-Type: image/jpeg\r\n"
                      "Content-Length: ")
        + QByteArray::number(jpegBytes)
        + "\r\n"
        + timestampLine(captureTimeUs)
        + "Cache-Control: no-cache, no-store\r\n"
          "Pragma: no-cache\r\n"
          "Connection: close\r\n"
          "\r\n";
}

QByteArray textResponse(int status, const char* reason, const char* text, bool headOnly)
{
    const QByteArray body(text);
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
        + "\r\n"
          "Server: Talvex Server\r\n"
          "Content-Type: text/plain; charset=utf-8\r\n"
          "Content-Length: "
        + QByteArray::number(body.size())
        + "\r\n"
          "Cache-Control: no-cache, no-store\r\n"
          "Connection: close\r\n";
    if (status == 503)
        answer += "Retry-After: 10\r\n";
    answer += "\r\n";
    if (!headOnly)
        answer += body;
    return answer;
}

QByteArray jsonResponse(int status, const QByteArray& body, bool headOnly)
{
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Service Unavailable")
        + "\r\n"
          "Server: Talvex Server\r\n"
          "Content-Type: application/json\r\n"
          "Content-Length: "
        + QByteArray::number(body.size())
        + "\r\n"
          "Cache-Control: no-store\r\n"
          "Connection: close\r\n"
          "\r\n";
    if (!headOnly)
        answer += body;
    return answer;
}
