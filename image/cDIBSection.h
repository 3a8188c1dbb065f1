#pragma once

#include "image/DibPlatform.h"
#include "image/DibTypes.h"

#include <cstdint>
#include <memory>

class QImage;
class QPixmap;

// A 24-bit picture whose pixel block is at the same time a bitmap selected
// into a memory DC of its own, so it can be block-copied and read as bytes
// without a copy between the two views.
//
// Layout (the JPEG writer, the resampler and the noise fill rely on it):
// 3 bytes per pixel, blue, green, red; rows of BytesPerScanLine() bytes
// (Width() * 3 rounded up to a multiple of 4); row 0 in memory is the
// picture's bottom row. DIBSectionBitsPtr() is valid only while hDib() is not
// 0: read it afresh for each operation.
//
// Two states: empty (hdc(), hDib(), DIBSectionBitsPtr() all 0) and holding an
// image (all three non-zero). Width() and Height() report the header, which
// survives ClearUp() and a failed Create().
//
// UI thread only. `platform` must outlive the object.
class cDIBSection {
public:
    explicit cDIBSection(DibPlatform& platform = DibPlatform::standard());
    ~cDIBSection();
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Puts a copy on the clipboard as a bitmap; true when it was accepted.
    // bAsDIB only shows a message that this can't be done and returns false.
    bool CopyToClipboard(bool bAsDIB);

    // Writes the header and creates the section; hDib gets the bitmap (0 on
    // failure). Neither selects it nor releases an earlier image.
    // Throws std::overflow_error when the block size exceeds 32 bits.
    bool CreateDIB(DcHandle lhDC, std::int32_t lWidth, std::int32_t lHeight, BitmapHandle& hDib);

    // Takes the picture's size and a 24-bit copy of its pixels, whatever its
    // format. A null picture (or a failed step) leaves the object empty.
    void CreateFromPicture(const QImage& picThis);
    void CreateFromPicture(const QPixmap& picThis);

    // Releases any image held, then makes a new one. Width or height <= 0, or
    // a failed platform step, return false and leave the object empty.
    // Throws std::overflow_error when the block size exceeds 32 bits.
    bool Create(std::int32_t lWidth, std::int32_t lHeight);

    // Width() * 3 rounded up to a multiple of 4.
    // Throws std::overflow_error for a width above 715,827,881.
    std::int32_t BytesPerScanLine() const;
    std::int32_t Width() const { return m_bitmapInfo.bmiHeader.biWidth; }
    std::int32_t Height() const { return m_bitmapInfo.bmiHeader.biHeight; }
    const BitmapInfo& bitmapInfo() const { return m_bitmapInfo; }

    // Copies a block from lhDC into this image's top-left corner. A negative
    // width or height stands for the image's own; 0 copies nothing.
    void LoadPictureBlt(DcHandle lhDC, std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                        std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1,
                        RasterOp eRop = RasterOp::SrcCopy);
    // Copies a block of this image, unscaled, to lhDC.
    void PaintPicture(DcHandle lhDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                      std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1,
                      std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                      RasterOp eRop = RasterOp::SrcCopy);

    DcHandle hdc() const { return m_memoryDC; }
    BitmapHandle hDib() const { return m_dibHandle; }
    std::uint8_t* DIBSectionBitsPtr() const { return m_bitsPointer; }

    // Fills every pixel with noise (grey, or green and red with blue 0); pad
    // bytes are left alone. Does nothing when there is no pixel block.
    void RandomiseBits(bool bGray);

    // Back to empty; the header is kept. Safe to call any number of times.
    void ClearUp();

    // A new image of lNewWidth x lNewHeight filled by bilinear interpolation
    // (a plain copy at equal size), or nullptr when it can't be made: no
    // pixel block, a source under 2 pixels wide or high, a size <= 0.
    std::unique_ptr<cDIBSection> Resample(std::int32_t lNewHeight, std::int32_t lNewWidth) const;

private:
    void ResampleInto(cDIBSection& destination) const;

    DibPlatform& m_platform;
    BitmapHandle m_dibHandle = 0;
    BitmapHandle m_previousBitmap = 0;
    DcHandle m_memoryDC = 0;
    std::uint8_t* m_bitsPointer = nullptr;
    BitmapInfo m_bitmapInfo{};
};
