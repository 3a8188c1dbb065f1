#include "FakeVideoDevice.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

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
    int waitReadable(int fd, int timeoutMs, int wakeFd) override { return m_fake.waitReadable(fd, timeoutMs, wakeFd); }
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
    std::lock_guard lock(m_lock);
    return m_cameras[path];
}

unsigned char FakeVideoDevice::pixelByte(unsigned char seed, int x, int y, int channel)
{
    return static_cast<unsigned char>(seed + x * 3 + channel + y * 7);
}

FakeFrame FakeVideoDevice::frame(unsigned char seed, const QString& path)
{
    std::lock_guard lock(m_lock);
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
    pushAll({frame}, path);
}

void FakeVideoDevice::pushAll(const std::vector<FakeFrame>& frames, const QString& path)
{
    std::lock_guard lock(m_lock);
    for (const FakeFrame& frame : frames)
        camera(path).frames.push_back(frame);
    signal(path);
}

int FakeVideoDevice::pendingFrames(const QString& path)
{
    std::lock_guard lock(m_lock);
    return int(camera(path).frames.size());
}

void FakeVideoDevice::wake(const QString& path)
{
    std::lock_guard lock(m_lock);
    signal(path);
}

void FakeVideoDevice::vanish(const QString& path)
{
    std::lock_guard lock(m_lock);
    camera(path).present = false;
    for (auto& [fd, file] : m_files)
        if (file.path == path)
            file.dead = true;
    signal(path);
}

void FakeVideoDevice::comeBack(const QString& path)
{
    std::lock_guard lock(m_lock);
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
    std::lock_guard lock(m_lock);
    int count = 0;
    for (const auto& [fd, file] : m_files)
        if (file.path == path)
            for (const Buffer& buffer : file.buffers)
                count += buffer.queued ? 1 : 0;
    return count;
}

bool FakeVideoDevice::streaming(const QString& path) const
{
    std::lock_guard lock(m_lock);
    for (const auto& [fd, file] : m_files)
        if (file.path == path && file.streaming)
            return true;
    return false;
}

QString FakeVideoDevice::resolve(const QString& path)
{
    // A udev link (a real symlink in the test's folder) leads to its node, as in /dev.
    const QFileInfo info(path);
    return info.isSymLink() ? info.canonicalFilePath() : path;
}

int FakeVideoDevice::open(const QString& linkOrPath)
{
    std::lock_guard lock(m_lock);
    ++opens;
    const QString path = resolve(linkOrPath);
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

int FakeVideoDevice::openFile(int fd, OpenFile** file)
{
    auto found = m_files.find(fd);
    if (found == m_files.end()) {
        ++badCalls;
        return -EBADF;
    }
    *file = &found->second;
    return found->second.dead ? -ENODEV : 0;
}

int FakeVideoDevice::close(int fd)
{
    std::lock_guard lock(m_lock);
    auto found = m_files.find(fd);
    if (found == m_files.end()) {
        ++badCalls;
        return -EBADF;
    }
    m_files.erase(found);
    ::close(fd);
    return 0;
}

int FakeVideoDevice::mmap(int fd, size_t length, qint64 offset, void** address)
{
    std::lock_guard lock(m_lock);
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
    std::lock_guard lock(m_lock);
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
    std::lock_guard lock(m_lock);
    OpenFile* file = nullptr;
    if (const int error = openFile(fd, &file))
        return error;
    FakeCamera& cam = camera(file->path);
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

int FakeVideoDevice::waitReadable(int fd, int timeoutMs, int wakeFd)
{
    std::unique_lock lock(m_lock);
    ++waitCalls;
    OpenFile* file = nullptr;
    if (const int error = openFile(fd, &file))
        return error;
    FakeCamera& cam = camera(file->path);
    if (!cam.frames.empty() || alwaysReady)
        return 1;
    // Like a real device, the fd stops being readable when nothing is there.
    drain(fd);
    if (timeoutMs == 0)
        return 0;
    // Blocks as poll() does, until a frame, a failure, a wake-up of the
    // device's own (readable, yet nothing to take) or the caller's.
    lock.unlock();
    pollfd entries[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int polled = ::poll(entries, wakeFd >= 0 ? 2 : 1, timeoutMs);
    lock.lock();
    if (polled == 0) {
        m_now += timeoutMs;
        return 0;
    }
    if (const int error = openFile(fd, &file)) // closed or unplugged under the wait
        return error;
    return entries[0].revents & POLLIN ? 1 : 0;
}

bool FakeVideoDevice::exists(const QString& path)
{
    std::lock_guard lock(m_lock);
    ++existsChecks;
    auto found = m_cameras.find(resolve(path));
    return found != m_cameras.end() && found->second.present;
}
