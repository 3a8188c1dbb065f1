#pragma once

#include "capture/v4l2/VideoDevice.h"
#include "support/EventLoop.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <linux/videodev2.h>

// Fills a fixed-size V4L2 text field the way drivers do: no terminating
// NUL when the text fills the whole field.
inline void setFixedText(unsigned char* field, size_t size, const QByteArray& text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.constData(), std::min<size_t>(size, size_t(text.size())));
}

// One scripted frame as the driver would hand it over.
struct FakeFrame {
    QByteArray data;
    quint32 flags = 0;  // V4L2_BUF_FLAG_ERROR for a broken one
};

struct FakeControl {
    v4l2_queryctrl info{};
    int value = 0;
    bool failGet = false;
    QMap<quint32, QString> menu;  // index -> name; missing indexes are gaps
};

// A scripted camera at one path.
struct FakeCamera {
    QString card = QStringLiteral("Fake Camera");
    QString bus = QStringLiteral("usb-0000:00:14.0-1");
    quint32 capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
    quint32 deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    bool present = true;
    int openError = 0;  // e.g. -EBUSY

    // Frame sizes: a discrete list, or a stepwise range when stepMax is valid.
    QList<QSize> discreteSizes{{320, 240}, {640, 480}};
    QSize stepMin;
    QSize stepMax;
    // What S_FMT answers: forcedSize when valid, else the nearest offered size.
    QSize forcedSize;
    quint32 pixelFormat = V4L2_PIX_FMT_BGR24;
    // What ENUM_FMT lists (empty: the driver lists nothing); S_FMT gives any
    // of these when asked, else pixelFormat.
    QList<quint32> offeredFormats;
    int padding = 0;               // bytes added to each row
    int reportedBytesPerLine = -1;  // when >= 0, S_FMT reports this stride

    quint32 grantedBuffers = 4;
    int reqbufsError = 0;
    int sfmtError = 0;         // e.g. -EBUSY: another program streams
    int qbufFailures = 0;      // the next this many QBUFs fail with -EINVAL
    int streamonFailures = 0;  // the next this many STREAMONs fail with -EINVAL

    // Frame rates: intervals listed for every size (none: the driver lists
    // nothing), or a range when intervalMax is set. timePerFrame false: the
    // device has no rate to set. S_PARM takes the listed interval nearest
    // to the one asked.
    bool timePerFrame = true;
    QList<v4l2_fract> intervals;
    v4l2_fract intervalMin{0, 0};
    v4l2_fract intervalMax{0, 0};
    v4l2_fract interval{1, 5};
    std::vector<FakeControl> controls;

    // Set by S_FMT; what frames are built for.
    QSize size;
    int bytesPerLine = 0;
    std::deque<FakeFrame> frames;
};

// A scripted device layer: cameras by path, frames queued by the test, an
// eventfd per open file that a wait blocks on as poll() does on a real
// device, a clock that only moves when told (or when a wait "times out").
// Every call takes one lock, so a capture thread may use it beside the test;
// the test scripts a camera's fields while that thread waits for a frame.
class FakeVideoDevice : public VideoDevice {
public:
    FakeVideoDevice();
    ~FakeVideoDevice() override;

    // A device layer for a source that forwards here; this object must
    // outlive it.
    std::unique_ptr<VideoDevice> borrow();

    FakeCamera& camera(const QString& path = QStringLiteral("/dev/video0"));

    // A whole frame at the negotiated size: byte (x, y, c) = seed + x * 3 + c
    // + y * 7, row padding 0xEE.
    FakeFrame frame(unsigned char seed, const QString& path = QStringLiteral("/dev/video0"));
    static unsigned char pixelByte(unsigned char seed, int x, int y, int channel);
    void push(const FakeFrame& frame, const QString& path = QStringLiteral("/dev/video0"));
    // Frames that arrive together: the next wait finds them all.
    void pushAll(const std::vector<FakeFrame>& frames, const QString& path = QStringLiteral("/dev/video0"));
    // Frames queued and not yet taken.
    int pendingFrames(const QString& path = QStringLiteral("/dev/video0"));
    // Makes the device fds readable without a frame (a spurious wake-up).
    void wake(const QString& path = QStringLiteral("/dev/video0"));
    // The device is unplugged: open files fail with ENODEV and wake up.
    void vanish(const QString& path = QStringLiteral("/dev/video0"));
    void comeBack(const QString& path = QStringLiteral("/dev/video0"));

    // Every wait reports "ready" though no frame comes.
    std::atomic<bool> alwaysReady{false};
    void advance(qint64 ms) { m_now += ms; }

    // What the test checks afterwards.
    int openFiles() const
    {
        std::lock_guard lock(m_lock);
        return int(m_files.size());
    }
    int mappings() const
    {
        std::lock_guard lock(m_lock);
        return int(m_mapped.size());
    }
    int queuedBuffers(const QString& path = QStringLiteral("/dev/video0")) const;
    bool streaming(const QString& path = QStringLiteral("/dev/video0")) const;
    std::atomic<int> opens{0};
    std::atomic<int> existsChecks{0};
    std::atomic<int> badCalls{0};  // double queueing, unknown mappings, release while mapped
    std::atomic<int> emptyDequeues{0};
    std::atomic<int> waitCalls{0};  // DQBUFs with nothing to take (libv4l2 prints a line for each)
    QSize lastRequestedSize;

    int open(const QString& path) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    int mmap(int fd, size_t length, qint64 offset, void** address) override;
    int munmap(void* address, size_t length) override;
    qint64 read(int fd, void* buffer, size_t size) override;
    int waitReadable(int fd, int timeoutMs, int wakeFd) override;
    bool exists(const QString& path) override;
    qint64 nowMs() override { return m_now; }

private:
    // Buffer i is mapped at offset i * kBufferSpacing, as QUERYBUF reports.
    static constexpr qint64 kBufferSpacing = 4096;

    struct Buffer {
        QByteArray memory;
        bool queued = false;
        quint64 queuedAt = 0;
    };
    struct OpenFile {
        QString path;
        bool dead = false;
        bool streaming = false;
        std::vector<Buffer> buffers;
    };

    static QString resolve(const QString& path);
    // The open file behind fd: 0, or -EBADF (a misuse) or -ENODEV (unplugged).
    int openFile(int fd, OpenFile** file);
    int streamIoctl(int fd, OpenFile& file, unsigned long request, void* arg);
    int controlIoctl(FakeCamera& camera, unsigned long request, void* arg);
    int rateIoctl(FakeCamera& camera, unsigned long request, void* arg);
    int setFormat(FakeCamera& camera, v4l2_format* format);
    void signal(const QString& path);
    void drain(int fd);

    mutable std::recursive_mutex m_lock;
    std::map<QString, FakeCamera> m_cameras;
    std::map<int, OpenFile> m_files;
    std::map<void*, size_t> m_mapped;
    std::atomic<qint64> m_now{100000};
    quint64 m_queueCounter = 0;
};

// True when every pixel of image is the fake's pattern for seed.
bool showsFrame(const QImage& image, unsigned char seed, const QSize& size);
