#include "image/JpegEncoder.h"

#include <turbojpeg.h>

#include <climits>

JpegEncoder::~JpegEncoder()
{
    releaseHandle();
    tjFree(m_buffer);
}

void JpegEncoder::releaseHandle()
{
    if (m_handle)
        tjDestroy(m_handle);
    m_handle = nullptr;
}

bool JpegEncoder::ensureReady()
{
    if (!m_handle)
        m_handle = tjInitCompress();
    return m_handle != nullptr;
}

bool JpegEncoder::encodeBottomUpBgr(const std::uint8_t* bits, int width, int pitch, int height, int quality,
                                    const std::uint8_t** jpeg, std::size_t* size)
{
    if (!ensureReady() || !bits || width <= 0 || height <= 0 || pitch < width * 3 || quality < 1
        || quality > 100)
        return false;

    // The worst-case size for these dimensions, so the library never has to
    // reallocate; the buffer only grows.
    const unsigned long needed = tjBufSize(width, height, TJSAMP_420);
    if (needed == static_cast<unsigned long>(-1) || needed > static_cast<unsigned long>(INT_MAX))
        return false;
    if (m_capacity < needed) {
        tjFree(m_buffer);
        m_capacity = 0;
        m_buffer = tjAlloc(static_cast<int>(needed));
        if (!m_buffer)
            return false;
        m_capacity = needed;
    }

    unsigned long written = m_capacity;
    const int status = tjCompress2(static_cast<tjhandle>(m_handle), bits, width, pitch, height, TJPF_BGR,
                                   &m_buffer, &written, TJSAMP_420, quality,
                                   TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC);
    if (status != 0) {
        // Start the next frame from a fresh compressor rather than trust its state.
        releaseHandle();
        return false;
    }
    *jpeg = m_buffer;
    *size = written;
    return true;
}
