#include "FakeVideoDevice.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr qint64 kBufferSpacing = 4096;

// Forwards to a FakeVideoDevice the test keeps, so that the test can still
// script and inspect it while a source owns the forwarder.
class Forwarder final : public VideoDevice {
public:
    explicit Forwarder(FakeVideoDevice& fake) : m_fake(fake) {}
    int open(const QString& path) override { return m_fake.open(path); }
    int close(int fd) override { return m_fake.close(fd); }
    int ioctl(int fd, unsigned long request, void* arg) override { return m_fake.ioctl(fd, request, arg); }
    int mmap(int fd, size_t length, qint64 offset, void** address) override
    {
        return m_fake.mmap(fd, length, offset, address);
    }
    int munmap(void* address, size_t length) override { return m_fake.munmap(address, length); }
    qint64 read(int fd, void* buffer, size_t size) override { return m_fake.read(fd, buffer, size); }
    int waitReadable(int fd, int timeoutMs) override { return m_fake.waitReadable(fd, timeoutMs); }
    bool exists(const QString& path) override { return m_fake.exists(path); }
    qint64 nowMs() override { return m_fake.nowMs(); }

private:
    FakeVideoDevice& m_fake;
};

} // namespace

FakeVideoDevice::FakeVideoDevice() = default;

FakeVideoDevice::~FakeVideoDevice()
{
    for (const auto& entry : m_files)
        ::close(entry.first);
}

std::unique_ptr<VideoDevice> FakeVideoDevice::borrow()
{
    return std::make_unique<Forwarder>(*this);
}

FakeCamera& FakeVideoDevice::camera(const QString& path)
{
    return m_cameras[path];
}

unsigned char FakeVideoDevice::pixelByte(unsigned char seed, int x, int y, int channel)
{
    return static_cast<unsigned char>(seed + x * 3 + channel + y * 7);
}

FakeFrame FakeVideoDevice::frame(unsigned char seed, const QString& path)
{
    const FakeCamera& cam = camera(path);
    FakeFrame result;
    result.data = QByteArray(cam.bytesPerLine * cam.size.height(), char(0xEE));
    for (int y = 0; y < cam.size.height(); ++y) {
        auto* row = reinterpret_cast<unsigned char*>(result.data.data()) + y * cam.bytesPerLine;
        for (int x = 0; x < cam.size.width(); ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = pixelByte(seed, x, y, c);
    }
    return result;
}

bool showsFrame(const QImage& image, unsigned char seed, const QSize& size)
{
    if (image.size() != size || image.format() != QImage::Format_BGR888)
        return false;
    for (int y = 0; y < size.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < size.width(); ++x)
            for (int c = 0; c < 3; ++c)
                if (row[x * 3 + c] != FakeVideoDevice::pixelByte(seed, x, y, c))
                    return false;
    }
    return true;
}

void FakeVideoDevice::push(const FakeFrame& frame, const QString& path)
{
    camera(path).frames.push_back(frame);
    signal(path);
}

void FakeVideoDevice::wake(const QString& path)
{
    signal(path);
}

void FakeVideoDevice::vanish(const QString& path)
{
    camera(path).present = false;
    for (auto& [fd, file] : m_files)
        if (file.path == path)
            file.dead = true;
    signal(path);
}

void FakeVideoDevice::comeBack(const QString& path)
{
    FakeCamera& cam = camera(path);
    cam.present = true;
    cam.frames.clear();
}

void FakeVideoDevice::signal(const QString& path)
{
    for (const auto& [fd, file] : m_files) {
        if (file.path == path) {
            const uint64_t one = 1;
            if (::write(fd, &one, sizeof one) < 0)
                std::abort();
        }
    }
}

void FakeVideoDevice::drain(int fd)
{
    uint64_t count = 0;
    while (::read(fd, &count, sizeof count) > 0) {
    }
}

int FakeVideoDevice::queuedBuffers(const QString& path) const
{
    int count = 0;
    for (const auto& [fd, file] : m_files)
        if (file.path == path)
            for (const Buffer& buffer : file.buffers)
                count += buffer.queued ? 1 : 0;
    return count;
}

int FakeVideoDevice::buffers(const QString& path) const
{
    int count = 0;
    for (const auto& [fd, file] : m_files)
        if (file.path == path)
            count += int(file.buffers.size());
    return count;
}

bool FakeVideoDevice::streaming(const QString& path) const
{
    for (const auto& [fd, file] : m_files)
        if (file.path == path && file.streaming)
            return true;
    return false;
}

int FakeVideoDevice::open(const QString& path)
{
    ++opens;
    auto found = m_cameras.find(path);
    if (found == m_cameras.end() || !found->second.present)
        return -ENOENT;
    if (found->second.openError)
        return found->second.openError;
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return -errno;
    m_files[fd] = OpenFile{path, false, false, {}};
    return fd;
}

int FakeVideoDevice::close(int fd)
{
    auto found = m_files.find(fd);
    if (found == m_files.end()) {
        ++badCalls;
        return -EBADF;
    }
    m_files.erase(found);
    ::close(fd);
    return 0;
}

int FakeVideoDevice::ioctl(int fd, unsigned long request, void* arg)
{
    auto found = m_files.find(fd);
    if (found == m_files.end()) {
        ++badCalls;
        return -EBADF;
    }
    OpenFile& file = found->second;
    if (file.dead)
        return -ENODEV;
    FakeCamera& cam = camera(file.path);
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        setFixedText(cap->card, sizeof cap->card, cam.card.toUtf8());
        cap->capabilities = cam.capabilities;
        cap->device_caps = cam.deviceCaps;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* entry = static_cast<v4l2_frmsizeenum*>(arg);
        if (entry->pixel_format != V4L2_PIX_FMT_BGR24)
            return -EINVAL;
        if (cam.stepMax.isValid()) {
            if (entry->index != 0)
                return -EINVAL;
            entry->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            entry->stepwise = {quint32(cam.stepMin.width()), quint32(cam.stepMax.width()), 1,
                               quint32(cam.stepMin.height()), quint32(cam.stepMax.height()), 1};
            return 0;
        }
        if (entry->index >= quint32(cam.discreteSizes.size()))
            return -EINVAL;
        entry->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        entry->discrete = {quint32(cam.discreteSizes[entry->index].width()),
                           quint32(cam.discreteSizes[entry->index].height())};
        return 0;
    }
    case VIDIOC_S_FMT:
        return setFormat(cam, static_cast<v4l2_format*>(arg));
    case VIDIOC_QUERYCTRL:
    case VIDIOC_QUERYMENU:
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
        return controlIoctl(cam, request, arg);
    default:
        return streamIoctl(fd, file, request, arg);
    }
}

int FakeVideoDevice::setFormat(FakeCamera& cam, v4l2_format* format)
{
    auto& pix = format->fmt.pix;
    lastRequestedSize = QSize(int(pix.width), int(pix.height));
    QSize chosen = cam.forcedSize;
    if (!chosen.isValid() && cam.stepMax.isValid())
        chosen = lastRequestedSize.expandedTo(cam.stepMin).boundedTo(cam.stepMax);
    if (!chosen.isValid() && !cam.discreteSizes.isEmpty()) {
        chosen = cam.discreteSizes.first();
        for (const QSize& size : cam.discreteSizes) {
            const int distance = std::abs(size.width() - lastRequestedSize.width())
                + std::abs(size.height() - lastRequestedSize.height());
            const int best = std::abs(chosen.width() - lastRequestedSize.width())
                + std::abs(chosen.height() - lastRequestedSize.height());
            if (distance < best)
                chosen = size;
        }
    }
    if (!chosen.isValid())
        chosen = QSize(640, 480);
    cam.size = chosen;
    cam.bytesPerLine = chosen.width() * 3 + cam.padding;
    pix.width = quint32(chosen.width());
    pix.height = quint32(chosen.height());
    pix.pixelformat = cam.pixelFormat;
    pix.bytesperline = cam.reportedBytesPerLine >= 0 ? quint32(cam.reportedBytesPerLine) : quint32(cam.bytesPerLine);
    pix.sizeimage = quint32(cam.bytesPerLine * chosen.height());
    return 0;
}

int FakeVideoDevice::controlIoctl(FakeCamera& cam, unsigned long request, void* arg)
{
    auto findControl = [&cam](quint32 id) -> FakeControl* {
        for (FakeControl& control : cam.controls)
            if (control.info.id == id)
                return &control;
        return nullptr;
    };
    if (request == VIDIOC_QUERYCTRL) {
        auto* query = static_cast<v4l2_queryctrl*>(arg);
        const quint32 after = query->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        const FakeControl* next = nullptr;
        for (const FakeControl& control : cam.controls)
            if (control.info.id > after && (!next || control.info.id < next->info.id))
                next = &control;
        if (!(query->id & V4L2_CTRL_FLAG_NEXT_CTRL))
            next = findControl(after);
        if (!next)
            return -EINVAL;
        *query = next->info;
        return 0;
    }
    if (request == VIDIOC_QUERYMENU) {
        auto* entry = static_cast<v4l2_querymenu*>(arg);
        const FakeControl* control = findControl(entry->id);
        if (!control || !control->menu.contains(entry->index))
            return -EINVAL;
        if (control->info.type == V4L2_CTRL_TYPE_INTEGER_MENU)
            entry->value = control->menu.value(entry->index).toLongLong();
        else
            setFixedText(entry->name, sizeof entry->name, control->menu.value(entry->index).toUtf8());
        return 0;
    }
    auto* value = static_cast<v4l2_control*>(arg);
    FakeControl* control = findControl(value->id);
    if (!control)
        return -EINVAL;
    if (request == VIDIOC_G_CTRL) {
        if (control->failGet)
            return -EACCES;
        value->value = control->value;
        return 0;
    }
    if (value->value < control->info.minimum || value->value > control->info.maximum)
        return -ERANGE;
    control->value = value->value;
    return 0;
}

int FakeVideoDevice::streamIoctl(int fd, OpenFile& file, unsigned long request, void* arg)
{
    FakeCamera& cam = camera(file.path);
    const bool canStream = cam.deviceCaps & V4L2_CAP_STREAMING;
    switch (request) {
    case VIDIOC_REQBUFS: {
        auto* request = static_cast<v4l2_requestbuffers*>(arg);
        if (!canStream || request->memory != V4L2_MEMORY_MMAP)
            return -EINVAL;
        if (cam.reqbufsError)
            return cam.reqbufsError;
        for (const Buffer& buffer : file.buffers) {
            if (m_mapped.count(const_cast<char*>(buffer.memory.constData()))) {
                ++badCalls;  // real drivers refuse to free mapped buffers
                return -EBUSY;
            }
        }
        file.buffers.clear();
        request->count = std::min(request->count, cam.grantedBuffers);
        for (quint32 i = 0; i < request->count; ++i)
            file.buffers.push_back(Buffer{QByteArray(cam.bytesPerLine * cam.size.height(), 0), false, 0});
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (buffer->index >= file.buffers.size())
            return -EINVAL;
        Buffer& own = file.buffers[buffer->index];
        if (request == VIDIOC_QUERYBUF) {
            buffer->length = quint32(own.memory.size());
            buffer->m.offset = quint32(buffer->index * kBufferSpacing);
            return 0;
        }
        if (own.queued) {
            ++badCalls;
            return -EINVAL;
        }
        own.queued = true;
        own.queuedAt = ++m_queueCounter;
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (!file.streaming)
            return -EINVAL;
        Buffer* oldest = nullptr;
        for (Buffer& own : file.buffers)
            if (own.queued && (!oldest || own.queuedAt < oldest->queuedAt))
                oldest = &own;
        if (cam.frames.empty() || !oldest) {
            drain(fd);
            return -EAGAIN;
        }
        const FakeFrame next = cam.frames.front();
        cam.frames.pop_front();
        const qsizetype copied = std::min(next.data.size(), oldest->memory.size());
        std::memcpy(oldest->memory.data(), next.data.constData(), size_t(copied));
        oldest->queued = false;
        buffer->index = quint32(oldest - file.buffers.data());
        buffer->bytesused = quint32(copied);
        buffer->flags = next.flags;
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        if (!canStream)
            return -EINVAL;
        file.streaming = request == VIDIOC_STREAMON;
        if (!file.streaming)
            for (Buffer& own : file.buffers)
                own.queued = false;
        return 0;
    default:
        return -ENOTTY;
    }
}

int FakeVideoDevice::mmap(int fd, size_t length, qint64 offset, void** address)
{
    auto found = m_files.find(fd);
    if (found == m_files.end() || found->second.dead)
        return -ENODEV;
    const qint64 index = offset / kBufferSpacing;
    auto& buffers = found->second.buffers;
    if (offset % kBufferSpacing || index >= qint64(buffers.size()) || length > size_t(buffers[index].memory.size())) {
        ++badCalls;
        return -EINVAL;
    }
    *address = buffers[index].memory.data();
    m_mapped[*address] = length;
    return 0;
}

int FakeVideoDevice::munmap(void* address, size_t length)
{
    auto found = m_mapped.find(address);
    if (found == m_mapped.end() || found->second != length) {
        ++badCalls;
        return -EINVAL;
    }
    m_mapped.erase(found);
    return 0;
}

qint64 FakeVideoDevice::read(int fd, void* buffer, size_t size)
{
    auto found = m_files.find(fd);
    if (found == m_files.end()) {
        ++badCalls;
        return -EBADF;
    }
    if (found->second.dead)
        return -ENODEV;
    FakeCamera& cam = camera(found->second.path);
    if (!(cam.deviceCaps & V4L2_CAP_READWRITE))
        return -EINVAL;
    if (cam.frames.empty()) {
        drain(fd);
        return -EAGAIN;
    }
    const FakeFrame next = cam.frames.front();
    cam.frames.pop_front();
    const size_t copied = std::min(size, size_t(next.data.size()));
    std::memcpy(buffer, next.data.constData(), copied);
    return qint64(copied);
}

int FakeVideoDevice::waitReadable(int fd, int timeoutMs)
{
    waits.append(timeoutMs);
    auto found = m_files.find(fd);
    if (found == m_files.end()) {
        ++badCalls;
        return -EBADF;
    }
    if (found->second.dead)
        return -ENODEV;
    FakeCamera& cam = camera(found->second.path);
    if (!cam.frames.empty() || alwaysReady)
        return 1;
    if (m_haveFrameDuringWait && timeoutMs > 0) {
        m_haveFrameDuringWait = false;
        m_now += 40;
        push(m_frameDuringWait, found->second.path);
        return 1;
    }
    m_now += timeoutMs;
    return 0;
}

bool FakeVideoDevice::exists(const QString& path)
{
    ++existsChecks;
    auto found = m_cameras.find(path);
    return found != m_cameras.end() && found->second.present;
}
