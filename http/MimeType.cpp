#include "http/MimeType.h"

QByteArray contentTypeFor(const QByteArray& servedPath)
{
    // With no "." at all the whole path is taken, which matches nothing.
    const QByteArray extension = servedPath.mid(servedPath.lastIndexOf('.') + 1).toLower();
    if (extension == "htm" || extension == "html")
        return QByteArrayLiteral("text/html");
    if (extension == "jpg" || extension == "jpeg")
        return QByteArrayLiteral("image/jpeg");
    if (extension == "gif")
        return QByteArrayLiteral("image/gif");
    if (extension == "swf")
        return QByteArrayLiteral("application/x-shockwave-flash");
    return QByteArrayLiteral("application/octet-stream");
}
