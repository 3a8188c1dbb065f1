#include "HttpTestSupport.h"

#include "http/RequestHandler.h"
#include "http/ResponseHeader.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class RequestHandlerTest : public testing::Test {
protected:
    void SetUp() override
    {
        jpeg = patternBytes(40000);
        web.write(QStringLiteral("images/VelmarixCamImage.jpg"), jpeg);
        web.write(QStringLiteral("empty.gif"), QByteArray());
        web.write(QStringLiteral("exact.bin"), patternBytes(16384));
        web.write(QStringLiteral("IMG.JPG"), "upper");
        web.write(QStringLiteral("a%20b.jpg"), "percent");
        web.write(QStringLiteral(".htaccess"), "secret");
        QDir(web.tempPath()).mkpath(QStringLiteral("root/.git"));
        web.write(QStringLiteral(".git/config"), "secret");
        QFile settings(web.tempPath() + QStringLiteral("/Settings.ini"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("75\r\n");
    }

    RecordingSlot handle(const QByteArray& request)
    {
        RecordingSlot slot(request);
        handleRequest(slot, web.root());
        return slot;
    }

    WebRootDir web;
    QByteArray jpeg;
    const QByteArray errorPage = "<html>error</html>\n";
    const QByteArray player = "<html>player</html>\n";
};

TEST_F(RequestHandlerTest, JpegGoesOutAsHeaderThenChunksOf16384)
{
    const RecordingSlot slot = handle("GET /images/VelmarixCamImage.jpg?1234 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(slot.readLength, 2048);
    EXPECT_EQ(slot.writeSizes, (std::vector<int>{207, 16384, 16384, 7232}));
    EXPECT_EQ(slot.written, responseHeader("image/jpeg", 40000) + jpeg);
    EXPECT_TRUE(slot.closed);
}

TEST_F(RequestHandlerTest, BodyWriteCountFollowsFileLength)
{
    const QByteArray emptyHeader = responseHeader("image/gif", 0);
    const RecordingSlot empty = handle("GET /empty.gif HTTP/1.1");
    EXPECT_EQ(empty.writeSizes, std::vector<int>{int(emptyHeader.size())});
    EXPECT_EQ(empty.written, emptyHeader);
    const RecordingSlot exact = handle("GET /exact.bin HTTP/1.1");
    EXPECT_EQ(exact.writeSizes.size(), 2u);
    EXPECT_EQ(exact.writeSizes.back(), 16384);
}

struct ServedCase {
    const char* request;
    const char* contentType;
    QByteArray body; // "" stands for the error page
};

TEST_F(RequestHandlerTest, ServedFileOrErrorPage)
{
    const ServedCase cases[] = {
        {"GET / HTTP/1.1", "text/html", player},
        {"HEAD /x.gif HTTP/1.1", "text/html", player},
        {"GET //player.html HTTP/1.1", "text/html", player},
        {"GET /player.html?x=1#top HTTP/1.1", "text/html", player},
        {"GET /IMG.JPG HTTP/1.1", "image/jpeg", "upper"},
        {"GET /a%20b.jpg HTTP/1.1", "image/jpeg", "percent"},
        {"GET /../Settings.ini HTTP/1.1", "text/html", ""},
        {"GET /images/ HTTP/1.1", "text/html", ""},
        {"GET /images// HTTP/1.1", "text/html", ""},
        {"GET /// HTTP/1.1", "text/html", ""},
        {"GET /.htaccess HTTP/1.1", "text/html", ""},
        {"GET /.git/config HTTP/1.1", "text/html", ""},
        {"GET /images/../../Settings.ini HTTP/1.1", "text/html", ""},
        {"GET /* HTTP/1.1", "text/html", ""},
        {"GET /missing.jpg HTTP/1.1", "text/html", ""},
    };
    for (const ServedCase& c : cases) {
        const QByteArray body = c.body.isEmpty() ? errorPage : c.body;
        const RecordingSlot slot = handle(c.request);
        EXPECT_EQ(slot.written, responseHeader(c.contentType, int32_t(body.size())) + body) << c.request;
        EXPECT_TRUE(slot.closed) << c.request;
    }
}

TEST_F(RequestHandlerTest, UnprocessableRequestsCloseWithoutAnswer)
{
    for (const char* request : {"", "GET", "GET /", "GET /player.html\r\n"}) {
        const RecordingSlot slot = handle(request);
        EXPECT_TRUE(slot.writeSizes.empty()) << request;
        EXPECT_TRUE(slot.closed) << request;
    }
}

TEST_F(RequestHandlerTest, MissingErrorPageClosesWithoutAnswer)
{
    ASSERT_TRUE(QFile::remove(web.tempPath() + QStringLiteral("/root/error.htm")));
    const RecordingSlot slot = handle("GET /missing HTTP/1.1");
    EXPECT_TRUE(slot.writeSizes.empty());
    EXPECT_TRUE(slot.closed);
    EXPECT_EQ(handle("GET / HTTP/1.1").written, responseHeader("text/html", int32_t(player.size())) + player);
}

TEST_F(RequestHandlerTest, FileTooLargeForContentLengthGetsErrorPage)
{
    QFile huge(web.tempPath() + QStringLiteral("/root/huge.jpg"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(qint64(1) << 31));
    huge.close();
    EXPECT_EQ(handle("GET /huge.jpg HTTP/1.1").written, responseHeader("text/html", int32_t(errorPage.size())) + errorPage);
}

} // namespace
