#include "image/YuvRows.h"

#include <linux/videodev2.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// Eight 16-bit samples each, in the integer forms of the header; the pack
// to bytes that follows clamps at 255.
__m128i fullRangeLumaLanes(__m128i y)
{
    y = _mm_slli_epi16(_mm_subs_epu16(y, _mm_set1_epi16(16)), 2);
    y = _mm_mulhi_epu16(y, _mm_set1_epi16(short(38154)));
    return _mm_srli_epi16(_mm_add_epi16(y, _mm_set1_epi16(1)), 1);
}

__m128i fullRangeChromaLanes(__m128i c)
{
    c = _mm_mulhi_epu16(_mm_slli_epi16(c, 7), _mm_set1_epi16(short(37300)));
    return _mm_srli_epi16(_mm_subs_epu16(c, _mm_set1_epi16(1101)), 6);
}

// Sixteen luma samples from 32 bytes of a YUYV row, full range.
__m128i yuyvLuma16(const uchar* in)
{
    const __m128i mask = _mm_set1_epi16(0x00FF);
    const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), mask);
    const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), mask);
    return _mm_packus_epi16(fullRangeLumaLanes(a), fullRangeLumaLanes(b));
}

// Sixteen pixel pairs (64 bytes) of two YUYV rows: their Cb and Cr, the
// rows averaged (rounded up), full range.
void yuyvChroma16(const uchar* upper, const uchar* lower, __m128i& cb, __m128i& cr)
{
    __m128i c[4];
    for (int i = 0; i < 4; ++i) {
        const __m128i mean = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + 16 * i)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + 16 * i)));
        c[i] = _mm_srli_epi16(mean, 8); // Cb Cr Cb Cr... as 16-bit lanes
    }
    // Cb in the low half of each 32-bit lane, Cr in the high half.
    const __m128i low = _mm_set1_epi32(0xFFFF);
    __m128i b[2], r[2];
    for (int i = 0; i < 2; ++i) {
        b[i] = _mm_packs_epi32(_mm_and_si128(c[2 * i], low), _mm_and_si128(c[2 * i + 1], low));
        r[i] = _mm_packs_epi32(_mm_srli_epi32(c[2 * i], 16), _mm_srli_epi32(c[2 * i + 1], 16));
    }
    cb = _mm_packus_epi16(fullRangeChromaLanes(b[0]), fullRangeChromaLanes(b[1]));
    cr = _mm_packus_epi16(fullRangeChromaLanes(r[0]), fullRangeChromaLanes(r[1]));
}
inline __m128i load(const uchar* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void store(uchar* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

const __m128i kLowBytes = _mm_set1_epi16(0x00FF);
#endif

} // namespace

void yuyvLumaRow(const uchar* in, int width, uchar* out)
{
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= width; x += 16)
        store(out + x, yuyvLuma16(in + 2 * x));
#endif
    for (; x < width; ++x)
        out[x] = fullRangeLuma(in[2 * x]);
}

void yuyvChromaRows(const uchar* upper, const uchar* lower, int width, uchar* cb, uchar* cr)
{
    const int half = width / 2;
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= half; x += 16) {
        __m128i b, r;
        yuyvChroma16(upper + 4 * x, lower + 4 * x, b, r);
        store(cb + x, b);
        store(cr + x, r);
    }
#endif
    for (; x < half; ++x) {
        cb[x] = fullRangeChroma((upper[4 * x + 1] + lower[4 * x + 1] + 1) >> 1);
        cr[x] = fullRangeChroma((upper[4 * x + 3] + lower[4 * x + 3] + 1) >> 1);
    }
}

void fullRangeRow(const uchar* in, int count, int step, bool chroma, uchar* out)
{
    int x = 0;
#if defined(__SSE2__)
    const auto lanes = [chroma](__m128i v) { return chroma ? fullRangeChromaLanes(v) : fullRangeLumaLanes(v); };
    if (step == 1) {
        const __m128i zero = _mm_setzero_si128();
        for (; x + 16 <= count; x += 16) {
            const __m128i v = load(in + x);
            store(out + x, _mm_packus_epi16(lanes(_mm_unpacklo_epi8(v, zero)), lanes(_mm_unpackhi_epi8(v, zero))));
        }
    } else if (step == 2) {
        for (; x + 16 <= count; x += 16) {
            const __m128i a = lanes(_mm_and_si128(load(in + 2 * x), kLowBytes));
            // The last sample's partner byte may lie past the row: read
            // the second half ending on the sample itself.
            const __m128i b = lanes(_mm_srli_epi16(load(in + 2 * x + 15), 8));
            store(out + x, _mm_packus_epi16(a, b));
        }
    }
#endif
    for (; x < count; ++x)
        out[x] = chroma ? fullRangeChroma(in[qint64(x) * step]) : fullRangeLuma(in[qint64(x) * step]);
}

void fullRangePlanes(quint32 fourcc, const uchar* data, qint64 line, int width, int height, bool to420, int first,
                    int rows, uchar* const (&out)[3])
{
    const int half = width / 2;
    if (fourcc == V4L2_PIX_FMT_YUYV) {
        for (int row = 0; row < rows; ++row)
            yuyvLumaRow(data + (first + row) * line, width, out[0] + qint64(row) * width);
        const int step = to420 ? 2 : 1;
        for (int row = first, at = 0; row + step <= first + rows; row += step, at += half) {
            const uchar* upper = data + row * line;
            yuyvChromaRows(upper, upper + (step - 1) * line, width, out[1] + at, out[2] + at);
        }
        return;
    }
    for (int row = 0; row < rows; ++row)
        fullRangeRow(data + (first + row) * line, width, 1, false, out[0] + qint64(row) * width);
    const uchar* chroma = data + line * height;
    for (int row = first / 2, at = 0; row < (first + rows) / 2; ++row, at += half) {
        if (fourcc == V4L2_PIX_FMT_NV12) {
            fullRangeRow(chroma + row * line, half, 2, true, out[1] + at);
            fullRangeRow(chroma + row * line + 1, half, 2, true, out[2] + at);
        } else {
            const qint64 chromaLine = line / 2;
            fullRangeRow(chroma + row * chromaLine, half, 1, true, out[1] + at);
            fullRangeRow(chroma + chromaLine * (height / 2) + row * chromaLine, half, 1, true, out[2] + at);
        }
    }
}
