// Arbitrary request bytes through the path rules and the whole request
// handler, over a fake connection and a web root made for the run. Stops the
// run if a path leaves the web root, a hidden name gets through, an answer is
// malformed, or a body is anything but one file the web root offers.
#include "FuzzSupport.h"

#include "http/RequestHandler.h"
#include "http/RequestPath.h"

#include <QByteArray>
#include <QList>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <string>

namespace {

const QByteArray kSecret = "OUTSIDE-THE-WEB-ROOT";
// Reached only through the operator's symlink inside the root, which is served.
const QByteArray kLinked = "PLACED-BY-THE-OPERATOR";
const QByteArray kErrorPage = "<html>error</html>";

struct WebRoot {
    QByteArray root;
    // Bytes of every file a request may be answered with.
    std::map<QByteArray, QByteArray> servable;
};

// <temp>/root/ with the usual files, hidden ones, symlinks out of the root,
// and secrets beside root/. Every servable file has distinct bytes, so a body
// tells which file was sent.
WebRoot makeWebRoot()
{
    const std::string base = fuzz::makeTempDir();
    const std::string root = base + "/root/";
    for (const char* dir : {"", "images", ".git", "images/.cache"})
        ::mkdir((root + dir).c_str(), 0700);
    ::mkdir((base + "/shared").c_str(), 0700);
    WebRoot web{QByteArray::fromStdString(root), {}};
    auto put = [&](const std::string& relative, const QByteArray& content) {
        FUZZ_CHECK(fuzz::writeFile(root + relative, content));
    };
    auto offer = [&](const std::string& relative, const QByteArray& content) {
        put(relative, content);
        web.servable[content] = QByteArray::fromStdString(relative);
    };
    FUZZ_CHECK(fuzz::writeFile(base + "/Settings.ini", kSecret));
    FUZZ_CHECK(fuzz::writeFile(base + "/shared/linked.txt", kLinked));
    put(".htaccess", kSecret);
    put(".git/config", kSecret);
    put("images/.hidden.jpg", kSecret);
    put("images/.cache/x.jpg", kSecret);
    offer("player.html", "<html>player</html>");
    offer("error.htm", kErrorPage);
    offer("images/VelmarixCamImage.jpg", QByteArray(40000, 'j'));
    offer("images/x.jpg", "x-jpeg");
    offer("images/chunks.bin", QByteArray(kBodyChunkSize + 1, 'c'));
    offer("a", "a");
    offer("a%20b.jpg", "percent");
    FUZZ_CHECK(::symlink("../shared/linked.txt", (root + "outside").c_str()) == 0);
    FUZZ_CHECK(::symlink("../shared", (root + "shared").c_str()) == 0);
    FUZZ_CHECK(::symlink("../Settings.ini", (root + ".settings").c_str()) == 0);
    web.servable[kLinked] = "outside";
    return web;
}

class FakeSlot : public SocketSlot {
public:
    explicit FakeSlot(QByteArray request) : m_request(std::move(request)) {}
    int ReadData(QByteArray& buffer, int length) override
    {
        FUZZ_CHECK(reads++ == 0);
        buffer = m_request.left(length);
        return static_cast<int>(buffer.size());
    }
    using SocketSlot::WriteData;
    int WriteData(const QByteArray& buffer, qsizetype offset, int length) override
    {
        FUZZ_CHECK(!closed);
        FUZZ_CHECK(offset >= 0 && length > 0 && offset + length <= buffer.size());
        FUZZ_CHECK(length <= kBodyChunkSize || writes == 0);
        ++writes;
        written += buffer.mid(offset, length);
        return length;
    }
    bool HasConnection() const override { return !closed; }
    void CloseSocket() override { closed = true; }

    QByteArray written;
    int reads = 0;
    int writes = 0;
    bool closed = false;

private:
    QByteArray m_request;
};

void checkStaysInside(const QByteArray& root, const QByteArray& relative)
{
    const QByteArray full = fullFilePath(root, relative);
    FUZZ_CHECK(full.startsWith(root));
    const QList<QByteArray> parts = full.mid(root.size()).split('/');
    bool dotted = false;
    for (const QByteArray& part : parts) {
        FUZZ_CHECK(part != "..");
        dotted = dotted || part.startsWith('.');
    }
    // A name that reaches the file system as hidden must be refused as hidden.
    FUZZ_CHECK(!dotted || isHiddenPath(relative));
}

bool sameFile(const QByteArray& a, const QByteArray& b)
{
    char resolvedA[PATH_MAX];
    char resolvedB[PATH_MAX];
    return ::realpath(a.constData(), resolvedA) && ::realpath(b.constData(), resolvedB)
        && std::string(resolvedA) == resolvedB;
}

// A status line and exactly seven header lines, a length that matches the
// body, and a body that is one servable file of the right type.
void checkAnswer(const WebRoot& web, const FakeSlot& slot, const std::optional<QByteArray>& relative)
{
    FUZZ_CHECK(slot.closed);
    FUZZ_CHECK(!slot.written.contains(kSecret));
    if (slot.writes == 0)
        return;
    const qsizetype headerEnd = slot.written.indexOf("\r\n\r\n");
    FUZZ_CHECK(headerEnd > 0);
    const QList<QByteArray> lines = slot.written.left(headerEnd).split('\n');
    FUZZ_CHECK(lines.size() == 7);
    static const char* const kNames[] = {"HTTP/1.1 200 OK\r", "Server: ", "Cache-Control: ", "Pragma: ",
                                         "Connection: close\r", "Content-Type: ", "Content-Length: "};
    for (int i = 0; i < 7; ++i) {
        FUZZ_CHECK(lines[i].startsWith(kNames[i]));
        FUZZ_CHECK(i == 6 || lines[i].endsWith('\r'));
    }
    const QByteArray lengthText = lines[6].mid(16);
    bool isNumber = false;
    const qlonglong length = lengthText.toLongLong(&isNumber);
    FUZZ_CHECK(isNumber && QByteArray::number(length) == lengthText);
    const QByteArray body = slot.written.mid(headerEnd + 4);
    FUZZ_CHECK(body.size() == length);

    const auto served = web.servable.find(body);
    FUZZ_CHECK(served != web.servable.end());
    if (body == kErrorPage) {
        FUZZ_CHECK(lines[5] == "Content-Type: text/html\r");
        return;
    }
    // Anything but the error page is the very file the path names.
    FUZZ_CHECK(relative.has_value());
    FUZZ_CHECK(sameFile(fullFilePath(web.root, *relative), web.root + served->second));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const WebRoot web = makeWebRoot();
    const QByteArray request(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const std::optional<QByteArray> relative = requestPath(request.left(kRequestBufferSize));
    if (relative) {
        FUZZ_CHECK(!relative->isEmpty());
        checkStaysInside(web.root, *relative);
    }
    FakeSlot slot(request);
    handleRequest(slot, web.root);
    checkAnswer(web, slot, relative);
    return 0;
}
