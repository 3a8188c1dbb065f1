#pragma once

#include "image/DibTypes.h"

#include <cstdint>

class QImage;
class QString;

// The few device-context, bitmap, clipboard and message services cDIBSection
// needs, behind one narrow interface so tests can make any step fail.
// Every call returns a status: 0 handles or false mean failure.
class DibPlatform {
public:
    virtual ~DibPlatform() = default;

    // A memory DC; `dc` 0 means compatible with the screen.
    virtual DcHandle createCompatibleDC(DcHandle dc) = 0;
    virtual bool deleteDC(DcHandle dc) = 0;

    // A section of the layout `info` describes (24-bit BGR, rows padded to 4
    // bytes, positive height = bottom-up). `*bits` receives its pixel block,
    // which lives exactly as long as the returned bitmap.
    virtual BitmapHandle createDIBSection(DcHandle dc, const BitmapInfo& info, std::uint8_t** bits) = 0;
    // A device-dependent bitmap for the clipboard.
    virtual BitmapHandle createCompatibleBitmap(DcHandle dc, std::int32_t width, std::int32_t height) = 0;
    // A read-only bitmap showing `picture`; the caller deletes it when done.
    virtual BitmapHandle createPictureBitmap(const QImage& picture) = 0;

    // Returns the bitmap that was selected before (0 if none, or on failure).
    // Selecting 0 takes the current bitmap out.
    virtual BitmapHandle selectObject(DcHandle dc, BitmapHandle bitmap) = 0;
    // Fails for a bitmap that is still selected into a DC.
    virtual bool deleteObject(BitmapHandle bitmap) = 0;
    virtual bool getObject(BitmapHandle bitmap, BitmapRecord& record) = 0;

    // Block copy between the bitmaps selected into two DCs, in picture
    // coordinates (origin top-left, y down), clipped to both.
    virtual bool bitBlt(DcHandle dest, std::int32_t x, std::int32_t y, std::int32_t width,
                        std::int32_t height, DcHandle src, std::int32_t srcX, std::int32_t srcY,
                        RasterOp rop) = 0;

    // The screen's DC, borrowed and given back.
    virtual DcHandle getScreenDC() = 0;
    virtual void releaseScreenDC(DcHandle dc) = 0;

    virtual bool openClipboard() = 0;
    virtual void emptyClipboard() = 0;
    // On success the clipboard owns the bitmap and the handle is gone.
    virtual bool setClipboardBitmap(BitmapHandle bitmap) = 0;
    virtual void closeClipboard() = 0;

    // A message box with an OK button and the application's caption.
    virtual void showMessage(const QString& text) = 0;

    // The real platform, shared by every image that isn't given another.
    static DibPlatform& standard();
};
