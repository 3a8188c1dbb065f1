// Arbitrary request bytes through the path rules and the request handler,
// over a fake connection and a web root made for the run. Stops the run if
// a path leaves the web root, a hidden name gets through, or an answer is
// malformed or carries bytes from outside the web root.
#include "http/RequestHandler.h"
#include "http/RequestPath.h"

#include <QByteArray>
#include <QList>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

#define FUZZ_CHECK(condition)                                              \
    do {                                                                   \
        if (!(condition)) {                                                \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                  \
        }                                                                  \
    } while (0)

const QByteArray kSecret = "OUTSIDE-THE-WEB-ROOT";

void writeFile(const std::string& path, const QByteArray& content)
{
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(content.constData(), 1, static_cast<size_t>(content.size()), file);
        std::fclose(file);
    }
}

// <temp>/root/ with the usual files, hidden ones, and a secret beside root/.
QByteArray makeWebRoot()
{
    char pattern[] = "/tmp/talvex-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    FUZZ_CHECK(made != nullptr);
    const std::string base = made;
    const std::string root = base + "/root/";
    ::mkdir(root.c_str(), 0700);
    ::mkdir((root + "images").c_str(), 0700);
    ::mkdir((root + ".git").c_str(), 0700);
    writeFile(base + "/Settings.ini", kSecret);
    writeFile(root + ".htaccess", kSecret);
    writeFile(root + ".git/config", kSecret);
    writeFile(root + "player.html", "<html>player</html>");
    writeFile(root + "error.htm", "<html>error</html>");
    writeFile(root + "images/VelmarixCamImage.jpg", QByteArray(40000, 'j'));
    writeFile(root + "a", "a");
    return QByteArray::fromStdString(root);
}

class FakeSlot : public SocketSlot {
public:
    explicit FakeSlot(QByteArray request) : m_request(std::move(request)) {}
    int ReadData(QByteArray& buffer, int length) override
    {
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

void checkAnswer(const FakeSlot& slot)
{
    FUZZ_CHECK(slot.closed);
    if (slot.writes == 0)
        return;
    const qsizetype headerEnd = slot.written.indexOf("\r\n\r\n");
    FUZZ_CHECK(headerEnd > 0);
    FUZZ_CHECK(slot.written.startsWith("HTTP/1.1 200 OK\r\n"));
    const qsizetype lengthAt = slot.written.indexOf("Content-Length: ");
    FUZZ_CHECK(lengthAt > 0 && lengthAt < headerEnd);
    const qsizetype length = slot.written.mid(lengthAt + 16, headerEnd - lengthAt - 16).toLongLong();
    FUZZ_CHECK(slot.written.size() - headerEnd - 4 == length);
    FUZZ_CHECK(!slot.written.contains(kSecret));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QByteArray root = makeWebRoot();
    const QByteArray request(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    if (const std::optional<QByteArray> relative = requestPath(request)) {
        FUZZ_CHECK(!relative->isEmpty());
        checkStaysInside(root, *relative);
    }
    FakeSlot slot(request);
    HandleRequest(slot, root);
    checkAnswer(slot);
    return 0;
}
