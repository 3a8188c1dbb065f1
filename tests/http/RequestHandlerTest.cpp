#include "SocketFakes.h"
#include "support/WebRoot.h"

#include "http/RequestHandler.h"
#include "http/ResponseHeader.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Beside root/ and in hidden files: must never reach a peer.
const QByteArray kSecret = "SECRET-BESIDE-THE-WEB-ROOT";
const QByteArray kPlayer = "<html>player</html>\n";
const QByteArray kError = "<html>error</html>\n";

struct Served {
    QByteArray content;
    QByteArray type;
};

// Everything a request may be answered with, by a short name.
const std::map<QByteArray, Served> kFiles = {
    {"player", {kPlayer, "text/html"}},
    {"error", {kError, "text/html"}},
    {"x.jpg", {"x-jpeg-bytes", "image/jpeg"}},
    {"IMG.JPG", {"upper", "image/jpeg"}},
    {"a%20b.jpg", {"percent", "image/jpeg"}},
    // Outside the root, reached through symlinks the operator put into it:
    // following them is the operator's choice.
    {"outside", {"PLACED-OUTSIDE-BY-THE-OPERATOR", "text/html"}},
    {"linked", {"IN-A-DIRECTORY-LINKED-BY-THE-OPERATOR", "text/plain"}},
};

class RequestHandlerTest : public testing::Test {
protected:
    void SetUp() override
    {
        QDir base(web.tempPath());
        ASSERT_TRUE(base.mkpath(QStringLiteral("root/.git")) && base.mkpath(QStringLiteral("shared")));
        beside("secret.txt", kSecret);
        beside("Settings.ini", kSecret);
        beside("linked.htm", kFiles.at("outside").content);
        beside("shared/linked.txt", kFiles.at("linked").content);
        for (const char* name : {"x.jpg", "IMG.JPG", "a%20b.jpg"})
            web.write(QString::fromLatin1(name == QByteArray("x.jpg") ? "images/x.jpg" : name), kFiles.at(name).content);
        for (const char* hidden : {".htaccess", ".git/config", "images/.hidden.jpg"})
            web.write(QString::fromLatin1(hidden), kSecret);
        const QByteArray root = web.root();
        ASSERT_EQ(::symlink("../linked.htm", root + "outside.htm"), 0);
        ASSERT_EQ(::symlink("../shared", root + "shared"), 0);
        ASSERT_EQ(::symlink("../Settings.ini", root + ".settings"), 0);
    }

    void beside(const char* relative, const QByteArray& content)
    {
        QFile file(web.tempPath() + QLatin1Char('/') + QString::fromLatin1(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(content), content.size());
    }

    RecordingSlot handle(const QByteArray& request)
    {
        RecordingSlot slot(request);
        handleRequest(slot, web.root());
        return slot;
    }

    WebRootDir web;
};

TEST_F(RequestHandlerTest, AnswersFromInsideTheRootOnly)
{
    const QByteArray secretPath = QFile::encodeName(web.tempPath() + QStringLiteral("/secret.txt"));
    const QByteArray end = " HTTP/1.1\r\n\r\n";
    // The file answered; "" when the connection is closed without an answer.
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"GET /" + end, "player"},
        {"GET //player.html" + end, "player"},
        {"GET /player.html?x=1#top" + end, "player"},
        {"GET /player.html?/../../secret.txt" + end, "player"},
        {"GET /images/x.jpg#/../../secret.txt" + end, "x.jpg"},
        {"GET /images/x.jpg/" + end, "x.jpg"},
        {"GET /IMG.JPG" + end, "IMG.JPG"},
        {"GET /a%20b.jpg" + end, "a%20b.jpg"},
        // The path starts at the fifth byte whatever the method.
        {"HEAD /images/x.jpg" + end, "player"},
        {"POST /images/x.jpg HTTP/1.1\r\nContent-Length: 13\r\n\r\n../secret.txt", "player"},
        {"get /images/x.jpg" + end, "x.jpg"},
        {"DELETE /player.html" + end, "error"},
        {QByteArray(100, ' '), "player"},
        {"GET /images/x.jpg HTTP/1.1\r\nX-Pad: " + QByteArray(64 * 1024, 'p') + "\r\n\r\n", "x.jpg"},
        // Traversal, hidden names, and what is not a regular file.
        {"GET /../Settings.ini" + end, "error"},
        {"GET /images/../../secret.txt" + end, "error"},
        {"GET /images//x.jpg" + end, "error"},
        {"GET /" + secretPath + end, "error"},
        {"GET /images/x.jpg//" + end, "error"},
        {"GET /images/" + end, "error"},
        {"GET /play*.html" + end, "error"},
        {"GET /missing.jpg" + end, "error"},
        {QByteArray("GET /player.html\0.jpg", 21) + end, "error"},
        {"GET /.htaccess" + end, "error"},
        {"GET /.git/config" + end, "error"},
        {"GET /images/.hidden.jpg" + end, "error"},
        {"GET /.settings" + end, "error"},
        {"GET /shared/../secret.txt" + end, "error"},
        // The operator's symlinks out of the root are followed.
        {"GET /outside.htm" + end, "outside"},
        {"GET /shared/linked.txt" + end, "linked"},
        // No path to be found.
        {"", ""}, {"GET", ""}, {"GET /", ""}, {"GET /player.html\r\n", ""},
        {"GET\t/player.html\tHTTP/1.1\r\n\r\n", ""},
        {"GET /" + QByteArray(64 * 1024, 'a') + end, ""},
    };
    for (const auto& [request, served] : cases) {
        SCOPED_TRACE(request.left(80).toStdString());
        const RecordingSlot slot = handle(request);
        EXPECT_TRUE(slot.closed);
        EXPECT_EQ(slot.readLength, kRequestBufferSize);
        if (served.isEmpty()) {
            EXPECT_TRUE(slot.writeSizes.empty());
            continue;
        }
        const Served& file = kFiles.at(served);
        EXPECT_EQ(slot.written, responseHeader(file.type, int32_t(file.content.size())) + file.content);
    }
}

TEST_F(RequestHandlerTest, BodyGoesOutAsHeaderThenChunksOf16384)
{
    const std::pair<qsizetype, std::vector<int>> cases[] = {
        {40000, {207, 16384, 16384, 7232}}, {16384, {207, 16384}}, {0, {203}},
    };
    for (const auto& [size, writes] : cases) {
        const QByteArray body = patternBytes(size);
        web.write(QStringLiteral("images/body.jpg"), body);
        const RecordingSlot slot = handle("GET /images/body.jpg?1234 HTTP/1.1\r\n\r\n");
        EXPECT_EQ(slot.writeSizes, writes) << size;
        EXPECT_EQ(slot.written, responseHeader("image/jpeg", int32_t(size)) + body) << size;
    }
}

TEST_F(RequestHandlerTest, MissingErrorPageClosesWithoutAnswer)
{
    ASSERT_TRUE(QFile::remove(web.tempPath() + QStringLiteral("/root/error.htm")));
    const RecordingSlot slot = handle("GET /missing HTTP/1.1");
    EXPECT_TRUE(slot.writeSizes.empty());
    EXPECT_TRUE(slot.closed);
    EXPECT_EQ(handle("GET / HTTP/1.1").written, responseHeader("text/html", int32_t(kPlayer.size())) + kPlayer);
}

TEST_F(RequestHandlerTest, FileTooLargeForContentLengthGetsErrorPage)
{
    QFile huge(web.tempPath() + QStringLiteral("/root/huge.jpg"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(qint64(1) << 31));
    huge.close();
    EXPECT_EQ(handle("GET /huge.jpg HTTP/1.1").written, responseHeader("text/html", int32_t(kError.size())) + kError);
}

} // namespace
