#include "FakeVideoDevice.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

// The ioctls of the scripted camera: capabilities, sizes and format,
// controls, and mmap buffer streaming.

int FakeVideoDevice::ioctl(int fd, unsigned long request, void* arg)
{
    std::lock_guard lock(m_lock);
    OpenFile* found = nullptr;
    if (const int error = openFile(fd, &found))
        return error;
    OpenFile& file = *found;
    FakeCamera& cam = camera(file.path);
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        setFixedText(cap->card, sizeof cap->card, cam.card.toUtf8());
        setFixedText(cap->bus_info, sizeof cap->bus_info, cam.bus.toUtf8());
        cap->capabilities = cam.capabilities;
        cap->device_caps = cam.deviceCaps;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* entry = static_cast<v4l2_fmtdesc*>(arg);
        if (entry->index >= quint32(cam.offeredFormats.size()))
            return -EINVAL;
        entry->pixelformat = cam.offeredFormats[entry->index];
        entry->flags = entry->pixelformat == V4L2_PIX_FMT_MJPEG ? V4L2_FMT_FLAG_COMPRESSED : 0;
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
        if (cam.sfmtError)
            return cam.sfmtError;
        return setFormat(cam, static_cast<v4l2_format*>(arg));
    case VIDIOC_ENUM_FRAMEINTERVALS:
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM:
        return rateIoctl(cam, request, arg);
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
    if (cam.offeredFormats.contains(pix.pixelformat))
        cam.pixelFormat = pix.pixelformat;
    pix.pixelformat = cam.pixelFormat;
    pix.bytesperline = cam.reportedBytesPerLine >= 0 ? quint32(cam.reportedBytesPerLine) : quint32(cam.bytesPerLine);
    // Native formats: rows as the kernel lays them out; buffers stay sized
    // for BGR24, which holds any of them.
    if (cam.pixelFormat == V4L2_PIX_FMT_YUYV)
        pix.bytesperline = quint32(chosen.width() * 2);
    else if (cam.pixelFormat == V4L2_PIX_FMT_NV12 || cam.pixelFormat == V4L2_PIX_FMT_YUV420)
        pix.bytesperline = quint32(chosen.width());
    else if (cam.pixelFormat == V4L2_PIX_FMT_MJPEG)
        pix.bytesperline = 0;
    pix.sizeimage = quint32(cam.bytesPerLine * chosen.height());
    return 0;
}

int FakeVideoDevice::rateIoctl(FakeCamera& cam, unsigned long request, void* arg)
{
    const bool ranged = cam.intervalMax.numerator != 0;
    if (request == VIDIOC_ENUM_FRAMEINTERVALS) {
        auto* entry = static_cast<v4l2_frmivalenum*>(arg);
        if (entry->pixel_format != V4L2_PIX_FMT_BGR24 || QSize(int(entry->width), int(entry->height)) != cam.size)
            return -EINVAL;
        if (ranged) {
            if (entry->index != 0)
                return -EINVAL;
            entry->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
            entry->stepwise = {cam.intervalMin, cam.intervalMax, {1, 1}};
            return 0;
        }
        if (entry->index >= quint32(cam.intervals.size()))
            return -EINVAL;
        entry->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        entry->discrete = cam.intervals[entry->index];
        return 0;
    }
    auto* parm = static_cast<v4l2_streamparm*>(arg);
    if (parm->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return -EINVAL;
    if (!cam.timePerFrame) {
        if (request == VIDIOC_S_PARM)
            return -ENOTTY;
        parm->parm.capture = {};
        return 0;
    }
    if (request == VIDIOC_S_PARM) {
        auto seconds = [](const v4l2_fract& f) { return f.denominator ? double(f.numerator) / f.denominator : 1e9; };
        const double asked = seconds(parm->parm.capture.timeperframe);
        if (ranged) {
            cam.interval = parm->parm.capture.timeperframe;
            if (asked < seconds(cam.intervalMin))
                cam.interval = cam.intervalMin;
            if (asked > seconds(cam.intervalMax))
                cam.interval = cam.intervalMax;
        } else if (!cam.intervals.isEmpty()) {
            cam.interval = cam.intervals.first();
            for (const v4l2_fract& offered : cam.intervals)
                if (std::abs(seconds(offered) - asked) < std::abs(seconds(cam.interval) - asked))
                    cam.interval = offered;
        } else {
            cam.interval = parm->parm.capture.timeperframe;
        }
    }
    parm->parm.capture = {};
    parm->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    parm->parm.capture.timeperframe = cam.interval;
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
        if (cam.qbufFailures > 0) {
            --cam.qbufFailures;
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
            ++emptyDequeues;
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
        if (request == VIDIOC_STREAMON && cam.streamonFailures > 0) {
            --cam.streamonFailures;
            return -EINVAL;
        }
        file.streaming = request == VIDIOC_STREAMON;
        if (!file.streaming)
            for (Buffer& own : file.buffers)
                own.queued = false;
        return 0;
    default:
        return -ENOTTY;
    }
}
