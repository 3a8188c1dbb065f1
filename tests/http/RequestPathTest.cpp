#include "http/MimeType.h"
#include "http/RequestPath.h"
#include "http/ResponseHeader.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* name;
    QByteArray request;
    std::optional<QByteArray> path; // relative, "\" separators; empty: no answer
};

std::ostream& operator<<(std::ostream& out, const PathCase& c)
{
    return out << c.name;
}

class RequestPathRules : public testing::TestWithParam<PathCase> {};

TEST_P(RequestPathRules, MapsRequestLineToRelativePath)
{
    EXPECT_EQ(requestPath(GetParam().request), GetParam().path);
}

using P = std::optional<QByteArray>;
INSTANTIATE_TEST_SUITE_P(Table, RequestPathRules, testing::Values(
    PathCase{"root", "GET / HTTP/1.1\r\n\r\n", P("player.html")},
    PathCase{"snapshotWithQuery", "GET /images/VelmarixCamImage.jpg?1234 HTTP/1.1", P("images\\VelmarixCamImage.jpg")},
    PathCase{"parentOfRoot", "GET /../Settings.ini HTTP/1.1", P("!\\Settings.ini")},
    PathCase{"directory", "GET /images/ HTTP/1.1", P("images")},
    PathCase{"doubledLeadingSlash", "GET //player.html HTTP/1.1", P("\\player.html")},
    PathCase{"headFifthByteIsSpace", "HEAD /x.gif HTTP/1.1", P("player.html")},
    PathCase{"queryAndFragment", "GET /player.html?x=1#top HTTP/1.1", P("player.html")},
    PathCase{"fragmentOnly", "GET /a.jpg#x HTTP/1.1", P("a.jpg")},
    PathCase{"percentKept", "GET /a%20b.jpg HTTP/1.1", P("a%20b.jpg")},
    PathCase{"encodedTraversalKept", "GET /..%2f..%2fetc HTTP/1.1", P("!%2f!%2fetc")},
    PathCase{"upperCase", "GET /IMG.JPG HTTP/1.1", P("IMG.JPG")},
    PathCase{"deepTraversal", "GET /images/../../etc/passwd HTTP/1.1", P("images\\!\\!\\etc\\passwd")},
    PathCase{"threeDots", "GET /.../x HTTP/1.1", P("!!x")},
    PathCase{"dotSlash", "GET /./player.html HTTP/1.1", P("!player.html")},
    PathCase{"innerDotSlash", "GET /a/./b HTTP/1.1", P("a\\!b")},
    PathCase{"dotFileInDirectory", "GET /a/.hidden HTTP/1.1", P("a!hidden")},
    PathCase{"dotFileAtRoot", "GET /.htaccess HTTP/1.1", P(".htaccess")},
    PathCase{"dotDirectoryAtRoot", "GET /.git/config HTTP/1.1", P(".git\\config")},
    PathCase{"backslash", "GET /a\\b HTTP/1.1", P("a!b")},
    PathCase{"driveLetter", "GET /C:\\Windows HTTP/1.1", P("C:!Windows")},
    PathCase{"innerDoubledSlash", "GET /a//b HTTP/1.1", P("a!b")},
    PathCase{"onlySlashes", "GET /// HTTP/1.1", P("\\")},
    PathCase{"trailingDoubledSlash", "GET /images// HTTP/1.1", P("images\\")},
    PathCase{"traversalAfterQuery", "GET /?/../x HTTP/1.1", P("player.html")},
    PathCase{"fragmentAtStart", "GET /#frag HTTP/1.1", P("player.html")},
    PathCase{"nulKept", QByteArray("GET /a\0b HTTP/1.1", 17), P(QByteArray("a\0b", 3))},
    PathCase{"methodBytesUnread", QByteArray("\0\0\0\0/a b", 8), P("a")},
    PathCase{"emptyPathAtFifthByte", "GET  HTTP/1.1", P("player.html")},
    PathCase{"empty", "", std::nullopt},
    PathCase{"threeBytes", "GET", std::nullopt},
    PathCase{"fourBytes", "GET ", std::nullopt},
    PathCase{"fiveBytesNoSpace", "GET /", std::nullopt},
    PathCase{"noSpaceAfterPath", "GET /player.html\r\n", std::nullopt},
    PathCase{"tabInsteadOfSpace", "GET /x\tHTTP/1.1", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RequestPath, HiddenWhenAnyComponentBeginsWithDot)
{
    const std::pair<QByteArray, bool> cases[] = {
        {".htaccess", true}, {".git\\config", true}, {"images\\.x", true}, {".", true},
        {"a.b", false}, {"!\\x", false}, {"\\player.html", false}, {"images\\x.jpg", false}, {"a!hidden", false},
    };
    for (const auto& [path, hidden] : cases)
        EXPECT_EQ(isHiddenPath(path), hidden) << path.constData();
}

TEST(RequestPath, FullPathMapsOnlyTheRelativePartBackToSlashes)
{
    EXPECT_EQ(fullFilePath("/srv/a\\b/root/", "images\\x.jpg"), QByteArray("/srv/a\\b/root/images/x.jpg"));
    EXPECT_EQ(fullFilePath("/srv/root/", "\\player.html"), QByteArray("/srv/root//player.html"));
}

TEST(MimeType, LowercasedExtensionOfTheWholeServedPath)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"/r/player.html", "text/html"}, {"/r/error.htm", "text/html"}, {"/r/IMG.JPG", "image/jpeg"},
        {"/r/a.JpEg", "image/jpeg"}, {"/r/a.gif", "image/gif"}, {"/r/a.swf", "application/x-shockwave-flash"},
        {"/r/a.PNG", "image/png"}, {"/r/a.css", "text/css"}, {"/r/a.js", "text/javascript"},
        {"/r/images/status.json", "application/json"}, {"/r/a.svg", "image/svg+xml"},
        {"/r/favicon.ico", "image/x-icon"}, {"/r/a.webp", "image/webp"}, {"/r/a.txt", "text/plain"},
        {"/r/a.mjs", "application/octet-stream"}, {"/r/a.jsx", "application/octet-stream"},
        {"/r/root/README", "application/octet-stream"},
        {"/r/x.v1/readme", "application/octet-stream"}, {"/r/x.htm/readme", "application/octet-stream"},
        {"/r/trailingdot.", "application/octet-stream"}, {"html", "text/html"},
    };
    for (const auto& [path, type] : cases)
        EXPECT_EQ(contentTypeFor(path), type) << path.constData();
}

TEST(ResponseHeader, SevenLinesByteForByte)
{
    const QByteArray expected =
        "HTTP/1.1 200 OK\r\nServer: Talvex Server\r\n"
        "Cache-Control: no-store, no-cache, must-revalidate, post-check=0, pre-check=0\r\n"
        "Pragma: no-cache\r\nConnection: close\r\nContent-Type: image/jpeg\r\nContent-Length: 40000\r\n\r\n";
    EXPECT_EQ(responseHeader("image/jpeg", 40000), expected);
    EXPECT_EQ(expected.size(), 207);
    EXPECT_TRUE(responseHeader("text/html", 0).endsWith("Content-Length: 0\r\n\r\n"));
    EXPECT_TRUE(responseHeader("text/html", 2147483647).endsWith("Content-Length: 2147483647\r\n\r\n"));
}

} // namespace
