#pragma once

#include "capture/v4l2/V4l2Format.h"
#include "capture/v4l2/VideoDevice.h"
#include "capture/v4l2/VideoDeviceHandles.h"
#include "capture/source/VideoSource.h"

#include <QList>
#include <QString>

#include <memory>

class QSocketNotifier;
class QTimer;
class V4l2Stream;

struct VideoDeviceInfo {
    QString path;
    QString cardName;
    bool canCapture;
};

// The /dev/video* nodes, sorted by number, with their card names. A node
// that cannot be opened is listed with canCapture false and no card name.
QList<VideoDeviceInfo> findVideoDevices();
// The same over any directory and device layer.
QList<VideoDeviceInfo> findVideoDevices(VideoDevice& device, const QString& directory);

// A V4L2 camera. Opens the device non-blocking, asks libv4l2 for BGR24 and
// takes frames from the event loop as the driver hands them over, keeping
// only the newest. When the device goes away the source closes itself and
// tries to reopen the same path every ~2 s for as long as it is wanted
// (from open() until close()).
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
    QImage grabStill(QString* error) override;

    QList<QSize> frameSizes() const override;
    QSize frameSize() const override;
    bool setFrameSize(const QSize& size) override;

    QList<SourceControl> controls() const override;
    bool setControl(quint32 id, int value) override;

    // Why the source is not open, or why the last still failed; empty when fine.
    QString errorString() const { return m_error; }
    // Active while the source is wanted but its device is not open.
    QTimer* reopenTimer() const { return m_reopenTimer; }
    // True when frames come by mmap streaming, false for read() (or closed).
    bool usesMmap() const;
    // Frames dropped as short or broken since the device was opened.
    int droppedFrames() const;

private:
    bool openDevice();
    void teardown();
    void onReadable();
    // Takes what the device has ready; true when a new frame arrived.
    bool pullFrames();
    void deviceLost();
    void tryReopen();

    const QString m_path;
    // Declared first so that it outlives the fd and stream that use it.
    std::unique_ptr<VideoDevice> m_device;
    DeviceFd m_fd;
    std::unique_ptr<V4l2Stream> m_stream;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_reopenTimer = nullptr;

    QSize m_wantedSize{640, 480};
    V4l2Format m_format;
    QList<QSize> m_sizes;
    mutable QString m_cardName;
    QString m_error;
    bool m_wanted = false;

    QImage m_latest;
    qint64 m_latestAt = 0;
};
