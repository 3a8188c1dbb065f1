#include "ServerFixture.h"

#include "http/ResponseHeader.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <random>

namespace {

// Beside root/ and in hidden files: must never reach a peer.
const QByteArray kSecret = "SECRET-BESIDE-THE-WEB-ROOT";

struct ServedFile {
    QByteArray relative;
    QByteArray content;
    QByteArray type;
};

// Everything a request may be answered with. The last two live outside the
// root and are reached through symlinks the operator put into it: those are
// served as placed, since following them is the operator's choice.
const ServedFile kServed[] = {
    {"player.html", "<html>player</html>\n", "text/html"},
    {"error.htm", "<html>error</html>\n", "text/html"},
    {"images/x.jpg", "x-jpeg-bytes", "image/jpeg"},
    {"outside.htm", "PLACED-OUTSIDE-BY-THE-OPERATOR", "text/html"},
    {"shared/linked.txt", "IN-A-DIRECTORY-LINKED-BY-THE-OPERATOR", "application/octet-stream"},
};

const ServedFile* servedFileWith(const QByteArray& body)
{
    for (const ServedFile& file : kServed) {
        if (file.content == body)
            return &file;
    }
    return nullptr;
}

struct Hostile {
    const char* name;
    QList<QByteArray> packets;
    // The file that must be answered; nullptr when closing without an
    // answer is as right as answering with a file from the list above.
    const char* served;
};

QByteArray garbage(int size)
{
    std::mt19937 random(20261207);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

QList<Hostile> hostileRequests(const QByteArray& secretPath)
{
    const char* error = "error.htm";
    const QByteArray end = " HTTP/1.1\r\n\r\n";
    return {
        // Traversal in every spelling the path rules meet.
        {"dot-dot", {"GET /../secret.txt" + end}, error},
        {"dot-dot below a directory", {"GET /images/../../secret.txt" + end}, error},
        {"dot-dot back into the root", {"GET /../root/player.html" + end}, error},
        {"three dots", {"GET /.../secret.txt" + end}, error},
        {"dot-slash", {"GET /./player.html" + end}, error},
        {"slash-dot", {"GET /images/./x.jpg" + end}, error},
        {"doubled slash in front", {"GET //player.html" + end}, "player.html"},
        {"doubled slash inside", {"GET /images//x.jpg" + end}, error},
        {"tripled slash", {"GET ///secret.txt" + end}, error},
        {"absolute path of the secret", {"GET /" + secretPath + end}, error},
        {"backslash", {"GET /images\\x.jpg" + end}, error},
        {"backslash dot-dot", {"GET /..\\secret.txt" + end}, error},
        {"leading backslash", {"GET /\\..\\..\\secret.txt" + end}, error},
        {"escaped dot-dot-slash", {"GET /%2e%2e%2fsecret.txt" + end}, error},
        {"escaped dots", {"GET /%2e%2e/secret.txt" + end}, error},
        {"escaped slash", {"GET /..%2fsecret.txt" + end}, error},
        {"escaped slash inside", {"GET /images%2fx.jpg" + end}, error},
        {"traversal in the query", {"GET /player.html?/../../secret.txt" + end}, "player.html"},
        {"traversal in the fragment", {"GET /images/x.jpg#/../../secret.txt" + end}, "images/x.jpg"},
        {"trailing slash on a file", {"GET /images/x.jpg/" + end}, "images/x.jpg"},
        {"two trailing slashes", {"GET /images/x.jpg//" + end}, error},
        {"directory", {"GET /images/" + end}, error},
        {"lone dot", {"GET /." + end}, error},
        {"lone dot-dot", {"GET /.." + end}, error},
        {"wildcard", {"GET /play*.html" + end}, error},
        // NUL and control bytes.
        {"NUL inside the name", {QByteArray("GET /player.html\0.jpg", 21) + end}, error},
        {"NUL before a traversal", {QByteArray("GET /\0/../secret.txt", 20) + end}, error},
        {"control bytes", {"GET /pl\x01" "ayer\x7f.html" + end}, error},
        {"line end inside the path", {"GET /player.html\r\nX-Evil: y" + end}, error},
        {"tabs for spaces", {"GET\t/player.html\tHTTP/1.1\r\n\r\n"}, nullptr},
        // Long, short, split and shapeless requests.
        {"64 KB request line", {"GET /" + QByteArray(64 * 1024, 'a') + end}, nullptr},
        {"64 KB of headers", {"GET /images/x.jpg HTTP/1.1\r\nX-Pad: " + QByteArray(64 * 1024, 'p') + "\r\n\r\n"},
         "images/x.jpg"},
        {"first packet under 5 bytes", {"GE", "T /images/x.jpg" + end}, nullptr},
        {"split inside the path", {"GET /ima", "ges/x.jpg" + end}, nullptr},
        {"split inside a dot-dot", {"GET /.", "./secret.txt" + end}, nullptr},
        {"under 5 bytes", {"GET "}, nullptr},
        {"no space at all", {"GETplayer.html\r\n\r\n"}, nullptr},
        {"only spaces", {QByteArray(100, ' ')}, "player.html"},
        {"binary garbage", {garbage(4096)}, nullptr},
        // Methods are never looked at: the path starts at the fifth byte.
        {"HEAD", {"HEAD /images/x.jpg" + end}, "player.html"},
        {"POST with a body", {"POST /images/x.jpg HTTP/1.1\r\nContent-Length: 13\r\n\r\n../secret.txt"}, "player.html"},
        {"PUT", {"PUT /images/x.jpg" + end}, "images/x.jpg"},
        {"lower-case get", {"get /images/x.jpg" + end}, "images/x.jpg"},
        {"DELETE", {"DELETE /player.html" + end}, error},
        {"OPTIONS", {"OPTIONS *" + end}, error},
        {"CONNECT", {"CONNECT 127.0.0.1:22" + end}, error},
        // Hidden names, also behind a symlink.
        {"dot-file", {"GET /.htaccess" + end}, error},
        {"file in a dot-directory", {"GET /.git/config" + end}, error},
        {"dot-file in a directory", {"GET /images/.hidden.jpg" + end}, error},
        {"hidden symlink to the secret", {"GET /.settings" + end}, error},
        // The operator's symlinks out of the root are followed.
        {"symlink to a file outside", {"GET /outside.htm" + end}, "outside.htm"},
        {"symlinked directory", {"GET /shared/linked.txt" + end}, "shared/linked.txt"},
        {"dot-dot through a symlinked directory", {"GET /shared/../secret.txt" + end}, error},
    };
}

class HostileRequestTest : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        QDir base(web.tempPath());
        ASSERT_TRUE(base.mkpath(QStringLiteral("root/.git")) && base.mkpath(QStringLiteral("shared")));
        writeBeside(QStringLiteral("secret.txt"), kSecret);
        writeBeside(QStringLiteral("Settings.ini"), kSecret);
        writeBeside(QStringLiteral("linked.htm"), kServed[3].content);
        writeBeside(QStringLiteral("shared/linked.txt"), kServed[4].content);
        web.write(QStringLiteral("images/x.jpg"), kServed[2].content);
        for (const char* hidden : {".htaccess", ".git/config", "images/.hidden.jpg"})
            web.write(QString::fromLatin1(hidden), kSecret);
        const QByteArray root = web.root();
        ASSERT_EQ(::symlink("../linked.htm", root + "outside.htm"), 0);
        ASSERT_EQ(::symlink("../shared", root + "shared"), 0);
        ASSERT_EQ(::symlink("../Settings.ini", root + ".settings"), 0);
    }

    void writeBeside(const QString& relative, const QByteArray& content)
    {
        QFile file(web.tempPath() + QLatin1Char('/') + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(content), content.size());
    }

    // Sends the packets one by one. Before each further packet the server may
    // act on what it has: it answers or closes, or it waits for more.
    QByteArray exchange(const Hostile& request)
    {
        LoopbackClient client(state.My_PORT);
        EXPECT_TRUE(client.connected());
        for (int i = 0; i < request.packets.size(); ++i) {
            if (i > 0)
                pumpUntil([&] { return client.poll(); }, 2000);
            const bool sent = client.send(request.packets[i]);
            if (request.served) {
                EXPECT_TRUE(sent);
            }
        }
        const QByteArray received = client.readAll();
        EXPECT_TRUE(client.closed()) << "the connection was left open";
        return received;
    }
};

TEST_F(HostileRequestTest, AnsweredFromInsideTheRootOrClosedThenStillServing)
{
    start(freePortRun(1));
    ASSERT_EQ(view.captions, QStringList{QStringLiteral("Server: ON")});
    const QByteArray secretPath = QFile::encodeName(web.tempPath() + QStringLiteral("/secret.txt"));

    for (const Hostile& request : hostileRequests(secretPath)) {
        SCOPED_TRACE(request.name);
        const QByteArray received = exchange(request);
        EXPECT_FALSE(received.contains(kSecret));
        if (received.isEmpty()) {
            EXPECT_EQ(request.served, nullptr) << "no answer";
            continue;
        }
        const qsizetype headerEnd = received.indexOf("\r\n\r\n");
        ASSERT_GT(headerEnd, 0) << received.left(200).toStdString();
        const QByteArray body = received.mid(headerEnd + 4);
        const ServedFile* file = servedFileWith(body);
        ASSERT_NE(file, nullptr) << "body not a file of the root: " << body.left(200).toStdString();
        if (request.served) {
            EXPECT_EQ(file->relative, request.served);
        }
        EXPECT_EQ(received.left(headerEnd + 4), responseHeader(file->type, int32_t(body.size())));
    }

    const QByteArray player = kServed[0].content;
    EXPECT_EQ(fetch("GET / HTTP/1.1\r\n\r\n"), responseHeader("text/html", int32_t(player.size())) + player);
}

} // namespace
