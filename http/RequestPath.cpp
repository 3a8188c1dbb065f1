#include "http/RequestPath.h"

namespace {
constexpr qsizetype kPathStart = 4; // the method and its space are skipped unread

// Whether any of the rewriting rules below can match; nearly every path is
// plain, and the search of each rule costs more than this one pass.
bool needsRewriting(const QByteArray& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '\\')
            return true;
        if ((c == '.' || c == '/') && i + 1 < path.size() && (path[i + 1] == '.' || path[i + 1] == '/'))
            return true;
    }
    return false;
}
}

std::optional<QByteArray> requestPath(const QByteArray& request)
{
    if (request.size() <= kPathStart)
        return std::nullopt;
    const qsizetype space = request.indexOf(' ', kPathStart);
    if (space < 0)
        return std::nullopt;
    QByteArray path = request.mid(kPathStart, space - kPathStart);
    if (path.endsWith('/'))
        path.chop(1);
    if (path.startsWith('/'))
        path.remove(0, 1);
    // The order matters: each rule runs over the result of the one before.
    if (needsRewriting(path)) {
        path.replace("..", "!");
        path.replace("./", "!");
        path.replace("/.", "!");
        path.replace("//", "!");
        path.replace("\\", "!");
    }
    path.replace('/', '\\');
    const qsizetype query = path.indexOf('?');
    if (query >= 0)
        path.truncate(query);
    const qsizetype fragment = path.indexOf('#');
    if (fragment >= 0)
        path.truncate(fragment);
    if (path.isEmpty())
        path = QByteArrayLiteral("player.html");
    return path;
}

QByteArray fullFilePath(const QByteArray& webRoot, const QByteArray& relativePath)
{
    QByteArray path = webRoot + relativePath;
    // Every "\" left after the rules came from a "/" of the request.
    for (qsizetype i = webRoot.size(); i < path.size(); ++i) {
        if (path[i] == '\\')
            path[i] = '/';
    }
    return path;
}

bool isHiddenPath(const QByteArray& relativePath)
{
    bool componentStart = true;
    for (const char c : relativePath) {
        if (componentStart && c == '.')
            return true;
        componentStart = c == '\\';
    }
    return false;
}
