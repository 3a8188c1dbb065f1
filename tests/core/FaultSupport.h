#pragma once

#include "MainWindowFixture.h"

#include "capture/source/SourceCatalog.h"
#include "capture/source/VideoSource.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QTimer>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

// What the test decides about its camera: whether it is plugged in, and the
// colour of each still (a new one per still, so a fresh frame shows in the
// snapshot). Shared between the test and the source the control owns.
struct CameraScript {
    bool present = true;
    int stills = 0;
    QColor lastColour;
    QSize size{320, 240};

    QColor nextColour()
    {
        ++stills;
        lastColour = QColor::fromHsv((stills * 67) % 360, 200, 200);
        return lastColour;
    }
};

// A camera that can be unplugged and plugged back while the program runs.
class ScriptedCamera : public VideoSource {
public:
    explicit ScriptedCamera(std::shared_ptr<CameraScript> script)
        : m_script(std::move(script))
    {
    }
    static QString cameraId() { return QStringLiteral("/dev/scripted0"); }

    QString id() const override { return cameraId(); }
    QString displayName() const override { return QStringLiteral("Scripted camera"); }
    bool open() override { return m_open = m_script->present; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QImage latestFrame() const override { return m_latest; }
    QImage grabStill(QString* error) override
    {
        if (!m_script->present) {
            m_open = false;
            if (error)
                *error = QStringLiteral("device gone");
            return {};
        }
        QImage frame(m_script->size, QImage::Format_BGR888);
        frame.fill(m_script->nextColour());
        m_latest = frame;
        return frame;
    }
    QList<QSize> frameSizes() const override { return {m_script->size}; }
    QSize frameSize() const override { return m_script->size; }
    bool setFrameSize(const QSize& size) override { return size == m_script->size; }

private:
    std::shared_ptr<CameraScript> m_script;
    QImage m_latest;
    bool m_open = false;
};

class ScriptedCatalog : public SourceCatalog {
public:
    explicit ScriptedCatalog(std::shared_ptr<CameraScript> script)
        : m_script(std::move(script))
    {
    }
    QList<SourceChoice> choices() const override
    {
        return {{ScriptedCamera::cameraId(), QStringLiteral("Scripted camera")}};
    }
    std::unique_ptr<VideoSource> create(const QString& id) const override
    {
        if (id != ScriptedCamera::cameraId())
            return nullptr;
        return std::make_unique<ScriptedCamera>(m_script);
    }

private:
    std::shared_ptr<CameraScript> m_script;
};

// Lowers this process's file size limit, so that writes to regular files
// fail with EFBIG as on a full disk (permissions do not bind root). SIGXFSZ
// is ignored meanwhile; both are restored when the guard goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        if (::sigaction(SIGXFSZ, &ignore, &m_savedAction) != 0)
            return;
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0) {
            ::sigaction(SIGXFSZ, &m_savedAction, nullptr);
            return;
        }
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_active = true;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return m_ok; }
    // Restores the limit and the signal; harmless when done already.
    void lift()
    {
        if (!m_active)
            return;
        m_active = false;
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::sigaction(SIGXFSZ, &m_savedAction, nullptr);
    }

private:
    rlimit m_saved{};
    struct sigaction m_savedAction{};
    bool m_ok = false;
    bool m_active = false;
};

// The listening socket of this process on `port`, found among its open
// descriptors; -1 when there is none.
inline int listenerDescriptor(int16_t port)
{
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return -1;
    int found = -1;
    while (dirent* entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == ::dirfd(fds))
            continue;
        int listening = 0;
        socklen_t length = sizeof listening;
        sockaddr_in address{};
        socklen_t addressLength = sizeof address;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening
            && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressLength) == 0
            && address.sin_family == AF_INET && ntohs(address.sin_port) == uint16_t(port)) {
            found = fd;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

// Listens on `port` with SO_REUSEADDR, as the server does: it takes a port
// that only old connections (TIME_WAIT) use, or whose earlier owner still
// holds it bound but no longer listens, and it keeps the server off it.
class ReusingListener {
public:
    explicit ReusingListener(int16_t port, bool loopbackOnly = false)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
        address.sin_port = htons(uint16_t(port));
        if (m_fd < 0 || ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
            || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_fd, 4) != 0) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = -1;
        }
    }
    ~ReusingListener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ReusingListener(const ReusingListener&) = delete;
    ReusingListener& operator=(const ReusingListener&) = delete;
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A run of `count` ports within 8100 .. 8863, the range the clock chooses
// from, whose first `held` ports are taken by listeners, alternately on
// 127.0.0.1 and on every interface; 0 if none was found.
inline int16_t holdClockPortRun(int count, int held, std::vector<std::unique_ptr<ReusingListener>>& blockers)
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> base(8100, 8863 - count);
    for (int attempt = 0; attempt < 200; ++attempt) {
        blockers.clear();
        const int first = base(random);
        bool free = true;
        for (int i = 0; i < count && free; ++i)
            free = ReusingListener(int16_t(first + i)).ok();
        for (int i = 0; i < held && free; ++i) {
            blockers.push_back(std::make_unique<ReusingListener>(int16_t(first + i), i % 2 == 0));
            free = blockers.back()->ok();
        }
        if (free)
            return int16_t(first);
    }
    blockers.clear();
    return 0;
}

// A port (with the next one free) held by a listener on 127.0.0.1 or on
// every interface; picks again while other programs race for ports.
inline int16_t holdOnePort(bool loopbackOnly, std::unique_ptr<ReusingListener>& blocker)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int16_t port = freePortRun(2);
        blocker = std::make_unique<ReusingListener>(port, loopbackOnly);
        if (port != 0 && blocker->ok())
            return port;
    }
    blocker.reset();
    return 0;
}

// A clock value (seconds since midnight) that makes the automatic port
// `port` (8100 .. 8863): its first three digits are port - 8000.
inline float clockForPort(int16_t port)
{
    return float(port - 8000) * 100.0f;
}

struct HttpAnswer {
    bool complete = false; // the header ended and Content-Length matches the body
    QByteArray contentType;
    QByteArray body;
};

// One GET over loopback, pumping the event loop until the server closes.
inline HttpAnswer fetch(int16_t port, const QByteArray& path)
{
    HttpAnswer answer;
    LoopbackClient client(port);
    if (!client.connected() || !client.send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"))
        return answer;
    const QByteArray response = client.readAll();
    const qsizetype end = response.indexOf("\r\n\r\n");
    if (!response.startsWith("HTTP/1.1 200 OK\r\n") || end < 0)
        return answer;
    qsizetype length = -1;
    for (const QByteArray& line : response.left(end).split('\n')) {
        const QByteArray field = line.trimmed();
        if (field.startsWith("Content-Length: "))
            length = field.mid(16).toLongLong();
        else if (field.startsWith("Content-Type: "))
            answer.contentType = field.mid(14);
    }
    answer.body = response.mid(end + 4);
    answer.complete = length == answer.body.size();
    return answer;
}

// Mean colour of a decoded picture; invalid for data that does not decode.
inline QColor meanColour(const QByteArray& jpeg, QSize* size = nullptr)
{
    const QImage picture = QImage::fromData(jpeg).convertToFormat(QImage::Format_RGB888);
    if (size)
        *size = picture.size();
    if (picture.isNull())
        return {};
    qint64 sum[3] = {0, 0, 0};
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* row = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += row[x * 3 + c];
    }
    const qint64 n = qint64(picture.width()) * picture.height();
    return QColor(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
}

// Largest channel difference between two colours.
inline int colourDistance(const QColor& a, const QColor& b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// The main window over a temporary web root with the scripted camera.
class FaultWindow : public MainWindowFixture {
protected:
    frmMain& loadWithCamera(float clock = 49510.0f)
    {
        frmMain::Environment env;
        env.tempPath = web.tempPath();
        env.clock = [clock] { return clock; };
        env.catalog = std::make_unique<ScriptedCatalog>(camera);
        env.endProgram = [this] { ++ended; };
        window = new frmMain(std::move(env));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->load();
        return *window;
    }
    // Quality 75, rate 5, thumbnail kept, a configured port that is free now.
    frmMain& loadOnFreePort()
    {
        writeSettings("75\r\n5\r\n\"True\"\r\n" + QByteArray::number(freePortRun(1)) + "\r\n");
        return loadWithCamera();
    }
    // One tick, delivered as the timer would deliver it.
    static void tick(QTimer* timer) { QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection); }
    QString snapshotPath() const { return web.tempPath() + QStringLiteral("/root/images/VelmarixCamImage.jpg"); }
    QByteArray snapshotBytes() const
    {
        QFile file(snapshotPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList filesIn(const QString& relative) const
    {
        return QDir(web.tempPath() + QLatin1Char('/') + relative).entryList(QDir::Files | QDir::Hidden);
    }

    std::shared_ptr<CameraScript> camera = std::make_shared<CameraScript>();
};
