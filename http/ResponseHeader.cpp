#include "http/ResponseHeader.h"

QByteArray responseHeader(const QByteArray& contentType, int32_t contentLength)
{
    QByteArray header;
    header.reserve(256);
    header += "HTTP/1.1 200 OK\r\n"
              "Server: Talvex Server\r\n"
              "Cache-Control: no-store, no-cache, must-revalidate, post-check=0, pre-check=0\r\n"
              "Pragma: no-cache\r\n"
              "Connection: close\r\n"
              "Content-Type: ";
    header += contentType;
    header += "\r\nContent-Length: ";
    header += QByteArray::number(contentLength);
    header += "\r\n\r\n";
    return header;
}
