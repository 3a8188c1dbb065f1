#pragma once

#include "capture/source/FrameAnnouncer.h"
#include "capture/source/FrameSlot.h"
#include "capture/v4l2/FramePicture.h"
#include "capture/v4l2/V4l2Format.h"
#include "capture/v4l2/VideoDevice.h"
#include "capture/v4l2/VideoDeviceHandles.h"
#include "capture/source/VideoSource.h"

#include <QList>
#include <QString>

#include <atomic>
#include <memory>

class QTimer;
class V4l2CaptureThread;
class V4l2Stream;

struct VideoDeviceInfo {
    QString path;
    QString cardName;
    bool canCapture;
    QString busInfo;
};

// The /dev/video* nodes, sorted by number, with their card names. A node
// that cannot be opened is listed with canCapture false and no card name.
QList<VideoDeviceInfo> findVideoDevices();
// The same over any directory and device layer.
QList<VideoDeviceInfo> findVideoDevices(VideoDevice& device, const QString& directory);

// A V4L2 camera. Opens the device non-blocking, asks for the camera's own
// format (MJPEG, YUYV, NV12 or YU12; BGR24 through libv4l2 when it offers
// none of them) at the highest frame rate up to 30 a second, and takes
// frames on a capture thread as the driver hands them over, keeping only the
// newest as the camera sent it; frameReady() follows on the UI thread, once
// for however many frames came meanwhile. Only frames that are looked at
// become pictures. Everything else runs on the UI thread. When the
// device goes away the source closes itself and tries to reopen the same
// path every ~2 s for as long as it is wanted (from open() until close()).
// When mmap streaming fails at an open and read() stands in, the same timer
// tries mmap again a few times.
class V4l2Source : public VideoSource {
    Q_OBJECT
public:
    explicit V4l2Source(const QString& devicePath, QObject* parent = nullptr);
    // Runs on the given device layer (the tests' scripted camera).
    V4l2Source(const QString& devicePath, std::unique_ptr<VideoDevice> device, QObject* parent = nullptr);
    ~V4l2Source() override;

    QString id() const override;
    QString displayName() const override;

    bool open() override;
    void close() override;
    bool isOpen() const override;

    QImage latestFrame() const override;
    QImage previewFrame(const QSize& atLeast) const override;
    // The newest frame that has arrived, without waiting, as long as the
    // camera sent it within the last 2 s. A device failure the capture
    // thread has seen counts at once, before the event loop hears of it. Only the source's first still may
    // wait for the first frame, until 3 s after the first open: slow USB
    // cameras take that long, and a still that fails then leaves the
    // thumbnail stopped for the whole run.
    QImage grabStill(QString* error) override;
    // The same without the conversion: the frame is made into a picture by
    // develop(), on any thread.
    PendingStill takeStill(QString* error) override;

    QList<QSize> frameSizes() const override;
    QSize frameSize() const override;
    bool setFrameSize(const QSize& size) override;

    QList<SourceControl> controls() const override;
    bool setControl(quint32 id, int value) override;

    // Frames a second the driver agreed to at the last open; 0 when the
    // device has no rate to set.
    double frameRate() const override { return m_frameRate; }

    // Why the source is not open, or why the last still failed; empty when fine.
    QString errorString() const { return m_error; }
    // Active while the source is wanted but its device is not open.
    QTimer* reopenTimer() const { return m_reopenTimer; }
    // True when frames come by mmap streaming, false for read() (or closed).
    bool usesMmap() const;
    // Frames dropped as short or broken since the device was opened, and
    // those that did not decode when used.
    int droppedFrames() const;
    // The newest frame as the camera sent it, for readers on any thread.
    const FrameSlot& frames() const { return m_frames; }
    const FrameSlot* frameSlot() const override { return &m_frames; }
    // The pixel format in use (a V4L2 fourcc); 0 when closed.
    quint32 pixelFormat() const { return isOpen() ? m_format.pixelFormat : 0; }
    // Buffers the driver refused back since the device was opened.
    int refusedBuffers() const;

private:
    bool openDevice();
    void teardown();
    // On the capture thread.
    void frameArrived(Frame&& frame);
    void captureFailed();
    // Runs deviceLost() for a failure the capture thread has seen; true if
    // so. Queued from that thread, and called before a still.
    bool takeCaptureFailure();
    void deviceLost();
    void tryReopen();
    bool wantsMmapRetry() const;
    // Runs the reopen timer while there is something to retry.
    void settleReopenTimer();
    // Waits for a frame newer than `seen` within the first frame's time.
    bool waitForFirstFrame(quint64 seen);
    // The newest frame as a picture at least `atLeast` (full size when
    // empty), made once per frame and size; the last good one when the
    // newest does not convert.
    QImage picture(const QSize& atLeast) const;
    void forgetFrames();

    const QString m_path;
    // Declared first so that it outlives the fd and stream that use it.
    std::unique_ptr<VideoDevice> m_device;
    DeviceFd m_fd;
    std::unique_ptr<V4l2Stream> m_stream;
    std::unique_ptr<V4l2CaptureThread> m_capture;
    QTimer* m_reopenTimer = nullptr;

    QSize m_wantedSize{640, 480};
    V4l2Format m_format;
    QList<QSize> m_sizes;
    mutable QString m_cardName;
    QString m_error;
    bool m_wanted = false;
    double m_frameRate = 0;
    bool m_canStream = false;
    int m_mmapFailures = 0;

    FrameSlot m_frames;
    // Pictures made from frames: full size (shared with stills developed
    // elsewhere), and for the live view.
    std::shared_ptr<FramePictureMemo> m_stills = std::make_shared<FramePictureMemo>();
    struct Picture {
        QImage image;
        quint64 sequence = 0;
        QSize asked;
    };
    mutable Picture m_preview;
    mutable int m_undecodable = 0;
    // Set on the capture thread, read on the UI thread.
    std::atomic<qint64> m_latestAt{0};  // when the newest frame came
    FrameAnnouncer m_announcer{this, [this] { emit frameReady(); }};
    std::atomic<bool> m_failed{false};  // the capture thread saw the device fail
    qint64 m_firstOpenAt = -1;
    bool m_stillAsked = false;
};
