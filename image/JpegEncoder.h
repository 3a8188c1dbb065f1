#pragma once

#include <cstddef>
#include <cstdint>

// One TurboJPEG compressor and its output buffer, kept across frames: making
// a new handle and buffer per frame costs about a millisecond at 1080p.
// Not thread-safe; the owner serialises calls.
class JpegEncoder {
public:
    JpegEncoder() = default;
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Creates the compressor if there is none yet; false when that fails.
    bool ensureReady();

    // Encodes bottom-up rows of blue, green, red bytes, `pitch` bytes apart,
    // as a baseline 4:2:0 JPEG. On success `jpeg`/`size` show the result,
    // valid until the next call. Quality must be 1..100.
    bool encodeBottomUpBgr(const std::uint8_t* bits, int width, int pitch, int height, int quality,
                           const std::uint8_t** jpeg, std::size_t* size);

private:
    void releaseHandle();

    void* m_handle = nullptr;
    unsigned char* m_buffer = nullptr;
    unsigned long m_capacity = 0;
};
