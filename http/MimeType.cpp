#include "http/MimeType.h"

#include <array>
#include <utility>

QByteArray contentTypeFor(const QByteArray& servedPath)
{
    // The first six are the program's original table. The others were
    // answered as octet-stream before, which made browsers refuse stylesheets
    // and scripts placed in the web root.
    static constexpr std::array<std::pair<const char*, const char*>, 14> types{{
        {"htm", "text/html"},
        {"html", "text/html"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"swf", "application/x-shockwave-flash"},
        {"css", "text/css"},
        {"js", "text/javascript"},
        {"json", "application/json"},
        {"svg", "image/svg+xml"},
        {"png", "image/png"},
        {"ico", "image/x-icon"},
        {"webp", "image/webp"},
        {"txt", "text/plain"},
    }};
    // With no "." at all the whole path is taken, which matches nothing.
    const QByteArray extension = servedPath.mid(servedPath.lastIndexOf('.') + 1).toLower();
    for (const auto& [name, type] : types) {
        if (extension == name)
            return QByteArray(type);
    }
    return QByteArrayLiteral("application/octet-stream");
}
