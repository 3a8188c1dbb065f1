#include "capture/v4l2/V4l2Source.h"

#include "capture/v4l2/FramePicture.h"
#include "capture/v4l2/V4l2Capabilities.h"
#include "capture/v4l2/V4l2CaptureThread.h"
#include "capture/v4l2/V4l2Controls.h"
#include "capture/v4l2/V4l2Device.h"
#include "capture/v4l2/V4l2FrameRate.h"
#include "capture/v4l2/V4l2Stream.h"

#include <QTimer>

#include <cerrno>
#include <chrono>

namespace {

// A still may use a frame this old; older ones mean the camera has stalled.
constexpr qint64 kFreshFrameMs = 2000;
// How long after the first open the first still may wait for the first frame.
constexpr qint64 kFirstFrameWaitMs = 3000;
constexpr int kReopenIntervalMs = 2000;
// Opens that try mmap again after it failed and read() stood in.
constexpr int kMaxMmapRetries = 3;

const char* const kNoDevice = "No video device";
const char* const kDeviceGone = "Video device gone";
const char* const kNoFrame = "No frame from video device";

QString openErrorText(int error)
{
    switch (-error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QString::fromLatin1(kNoDevice);
    case EBUSY:
        return QStringLiteral("Video device busy");
    case EACCES:
    case EPERM:
        return QStringLiteral("No access to video device");
    default:
        return QStringLiteral("Video device error");
    }
}

bool isGoneError(int error)
{
    return error == -ENODEV || error == -EIO || error == -ENXIO || error == -EBADF;
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

V4l2Source::V4l2Source(const QString& devicePath, QObject* parent)
    : V4l2Source(devicePath, std::make_unique<V4l2Device>(), parent)
{
}

V4l2Source::V4l2Source(const QString& devicePath, std::unique_ptr<VideoDevice> device, QObject* parent)
    : VideoSource(parent), m_path(devicePath), m_device(std::move(device)), m_reopenTimer(new QTimer(this))
{
    m_reopenTimer->setInterval(kReopenIntervalMs);
    connect(m_reopenTimer, &QTimer::timeout, this, &V4l2Source::tryReopen);
}

V4l2Source::~V4l2Source()
{
    teardown();
}

QString V4l2Source::id() const
{
    return m_path;
}

QString V4l2Source::displayName() const
{
    // Before the first open the card name is read once, without streaming.
    if (m_cardName.isEmpty() && !isOpen()) {
        const int fd = m_device->open(m_path);
        if (fd >= 0) {
            DeviceFd owner(m_device.get(), fd);
            V4l2Capabilities capabilities;
            if (queryCapabilities(*m_device, fd, &capabilities) == 0)
                m_cardName = capabilities.cardName;
        }
    }
    return m_cardName.isEmpty() ? m_path : QStringLiteral("%1 (%2)").arg(m_cardName, m_path);
}

bool V4l2Source::open()
{
    m_wanted = true;
    if (isOpen())
        return true;
    const bool opened = openDevice();
    settleReopenTimer();
    return opened;
}

void V4l2Source::close()
{
    m_wanted = false;
    m_reopenTimer->stop();
    teardown();
    forgetFrames();
    m_error.clear();
}

bool V4l2Source::isOpen() const
{
    return m_stream != nullptr;
}

bool V4l2Source::openDevice()
{
    const int opened = m_device->open(m_path);
    if (opened < 0) {
        m_error = openErrorText(opened);
        return false;
    }
    DeviceFd fd(m_device.get(), opened);

    V4l2Capabilities capabilities;
    if (queryCapabilities(*m_device, fd.get(), &capabilities) < 0 || !capabilities.canCapture()) {
        m_error = QStringLiteral("Not a video capture device");
        return false;
    }
    m_cardName = capabilities.cardName;

    const quint32 native = choosePixelFormat(*m_device, fd.get());
    QList<QSize> sizes = enumerateFrameSizes(*m_device, fd.get(), native);
    V4l2Format format;
    if (const int negotiated = negotiateFormat(*m_device, fd.get(), m_wantedSize, &format, native); negotiated < 0) {
        // Another program streaming from the camera holds its format.
        m_error = negotiated == -EBUSY ? openErrorText(negotiated) : QStringLiteral("Video format not supported");
        return false;
    }
    if (format.pixelFormat != native)
        sizes = enumerateFrameSizes(*m_device, fd.get(), format.pixelFormat);
    const double rate = setBestFrameRate(*m_device, fd.get(), format);

    auto stream = std::make_unique<V4l2Stream>(*m_device, fd.get(), format);
    int started = -ENOTSUP;
    m_canStream = capabilities.canStream();
    if (m_canStream) {
        started = stream->start(V4l2Stream::Method::Mmap);
        m_mmapFailures = started < 0 ? m_mmapFailures + 1 : 0;
    }
    if (started < 0 && capabilities.canRead())
        started = stream->start(V4l2Stream::Method::Read);
    if (started < 0) {
        m_error = openErrorText(started);
        return false;
    }

    m_fd = std::move(fd);
    m_stream = std::move(stream);
    m_format = format;
    m_frameRate = rate;
    m_sizes = sizes.isEmpty() ? QList<QSize>{format.size()} : sizes;
    if (m_firstOpenAt < 0)
        m_firstOpenAt = m_device->nowMs();
    m_error.clear();
    m_failed = false;
    m_capture = std::make_unique<V4l2CaptureThread>(*m_device, m_fd.get(), *m_stream);
    const int capturing =
        m_capture->start([this](Frame&& frame) { frameArrived(std::move(frame)); }, [this](int) { captureFailed(); });
    if (capturing < 0) {
        teardown();
        m_error = openErrorText(capturing);
        return false;
    }
    emit this->opened(); // this->: a local of that name holds the fd
    return true;
}

void V4l2Source::teardown()
{
    // The thread goes first: it uses the stream and the fd.
    m_capture.reset();
    m_stream.reset();
    m_fd.reset();
    // News still queued from that thread is about a stream that is gone.
    m_announcer.forgetQueued();
}

void V4l2Source::frameArrived(Frame&& frame)
{
    // Before the frame is there to be seen: a still that takes it reads
    // its age from this.
    m_latestAt = m_device->nowMs();
    m_frames.publish(std::move(frame));
    m_announcer.frameArrived();
}

void V4l2Source::captureFailed()
{
    m_failed = true;
    // Readers on other threads stop at once, and a still waiting for the
    // first frame wakes.
    m_frames.clear();
    // Should a reopen come first, the flag it clears makes this a no-op.
    QMetaObject::invokeMethod(this, [this] { takeCaptureFailure(); }, Qt::QueuedConnection);
}

bool V4l2Source::takeCaptureFailure()
{
    if (!isOpen() || !m_failed)
        return false;
    deviceLost();
    return true;
}

void V4l2Source::deviceLost()
{
    teardown();
    // A gone camera's last frame is not passed off as a new one.
    forgetFrames();
    m_error = QString::fromLatin1(kDeviceGone);
    settleReopenTimer();
}

bool V4l2Source::wantsMmapRetry() const
{
    return isOpen() && m_canStream && !usesMmap() && m_mmapFailures > 0 && m_mmapFailures <= kMaxMmapRetries;
}

void V4l2Source::settleReopenTimer()
{
    if (m_wanted && (!isOpen() || wantsMmapRetry()))
        m_reopenTimer->start();
    else
        m_reopenTimer->stop();
}

void V4l2Source::tryReopen()
{
    if (m_wanted && wantsMmapRetry()) {
        // read() works but costs a copy per frame: start over with mmap.
        // The last frame stays for stills while the camera restarts.
        teardown();
        openDevice();
    } else if (m_wanted && !isOpen() && m_device->exists(m_path)) {
        // Cheap while the node is absent: no open until it is back.
        openDevice();
    }
    settleReopenTimer();
}

void V4l2Source::forgetFrames()
{
    m_frames.clear();
    m_stills->clear();
    m_preview = Picture();
    m_latestAt = 0;
}

QImage V4l2Source::picture(const QSize& atLeast) const
{
    const auto frame = m_frames.latest();
    if (atLeast.isEmpty())
        return frame ? m_stills->make(*frame, m_latestAt, m_stills->generation()).image : m_stills->held().image;
    if (!frame || (frame->sequence == m_preview.sequence && atLeast == m_preview.asked))
        return m_preview.image;
    QImage image = framePicture(*frame, atLeast);
    m_preview.sequence = frame->sequence;
    m_preview.asked = atLeast;
    if (image.isNull()) {
        // A frame that looked whole but does not decode: counted, never
        // shown; the picture before it stays.
        ++m_undecodable;
        return m_preview.image;
    }
    m_preview.image = std::move(image);
    return m_preview.image;
}

QImage V4l2Source::latestFrame() const
{
    return picture(QSize());
}

QImage V4l2Source::previewFrame(const QSize& atLeast) const
{
    // A JPEG decodes, and a YUV frame converts, more cheaply at a smaller
    // size; the live view is painted at the camera's rate on the UI thread.
    return m_format.isJpeg() || m_format.isYuv() ? picture(atLeast) : picture(QSize());
}

bool V4l2Source::waitForFirstFrame(quint64 seen)
{
    const qint64 remaining = m_firstOpenAt + kFirstFrameWaitMs - m_device->nowMs();
    if (remaining <= 0)
        return false;
    // Wakes early when the capture thread sees the device fail.
    return m_frames.waitNewer(seen, std::chrono::milliseconds(remaining)) != nullptr;
}

QImage V4l2Source::grabStill(QString* error)
{
    const PendingStill still = takeStill(error);
    return still.isNull() ? QImage() : still.develop(error);
}

PendingStill V4l2Source::takeStill(QString* error)
{
    const bool firstStill = !m_stillAsked;
    m_stillAsked = true;
    takeCaptureFailure();
    if (!isOpen()) {
        setError(error, m_error.isEmpty() ? QString::fromLatin1(kNoDevice) : m_error);
        return {};
    }
    // Read before looking: a frame that comes in between is not waited past.
    const quint64 seen = m_frames.sequence();
    if (!m_frames.latest() && firstStill && !waitForFirstFrame(seen))
        takeCaptureFailure();
    const auto frame = m_frames.latest();
    const qint64 now = m_device->nowMs();
    const qint64 arrivedAt = m_latestAt;
    if (!frame || now - arrivedAt > kFreshFrameMs) {
        setError(error, isOpen() ? QString::fromLatin1(kNoFrame) : m_error);
        return {};
    }
    // After a frame that would not decode, the one before it serves while
    // it is fresh.
    return {[stills = m_stills, frame, arrivedAt, now, generation = m_stills->generation()](QString* error) {
        const FramePictureMemo::Made made = stills->make(*frame, arrivedAt, generation);
        if (!made.image.isNull() && now - made.arrivedAt <= kFreshFrameMs)
            return made.image;
        setError(error, QString::fromLatin1(kNoFrame));
        return QImage();
    }};
}

QList<QSize> V4l2Source::frameSizes() const
{
    return m_sizes;
}

QSize V4l2Source::frameSize() const
{
    return m_format.width > 0 ? m_format.size() : m_wantedSize;
}

bool V4l2Source::setFrameSize(const QSize& size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return false;
    m_wantedSize = size;
    if (isOpen() && size == m_format.size())
        return true;
    if (!isOpen()) {
        m_format = V4l2Format();
        return true;
    }
    // The format cannot change while buffers exist: start over at the new
    // size. The last frame stays for stills until the first new one comes.
    teardown();
    const bool reopened = openDevice();
    if (!reopened)
        m_format = V4l2Format();
    settleReopenTimer();
    return reopened;
}

QList<SourceControl> V4l2Source::controls() const
{
    if (!isOpen())
        return {};
    return queryControls(*m_device, m_fd.get());
}

bool V4l2Source::setControl(quint32 id, int value)
{
    if (!isOpen())
        return false;
    const int result = setControlValue(*m_device, m_fd.get(), id, value);
    if (isGoneError(result))
        deviceLost();
    return result == 0;
}

bool V4l2Source::usesMmap() const
{
    return m_stream && m_stream->method() == V4l2Stream::Method::Mmap;
}

int V4l2Source::droppedFrames() const
{
    return (m_stream ? m_stream->droppedFrames() : 0) + m_undecodable + m_stills->undecodable();
}

int V4l2Source::refusedBuffers() const
{
    return m_stream ? m_stream->refusedBuffers() : 0;
}
