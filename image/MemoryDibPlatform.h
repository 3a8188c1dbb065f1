#pragma once

#include "image/DibPlatform.h"
#include "image/PixelBlit.h"

#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <unordered_map>

// The real platform on Linux: DCs and bitmaps are entries in handle tables,
// pixel blocks are plain buffers and the block copy is blitSurfaces. The
// clipboard goes through QClipboard, the message through QMessageBox.
// UI thread only, like every image of the program.
class MemoryDibPlatform : public DibPlatform {
public:
    MemoryDibPlatform() = default;
    MemoryDibPlatform(const MemoryDibPlatform&) = delete;
    MemoryDibPlatform& operator=(const MemoryDibPlatform&) = delete;

    DcHandle createCompatibleDC(DcHandle dc) override;
    bool deleteDC(DcHandle dc) override;
    BitmapHandle createDIBSection(DcHandle dc, const BitmapInfo& info, std::uint8_t** bits) override;
    BitmapHandle createCompatibleBitmap(DcHandle dc, std::int32_t width, std::int32_t height) override;
    BitmapHandle createPictureBitmap(const QImage& picture) override;
    BitmapHandle selectObject(DcHandle dc, BitmapHandle bitmap) override;
    bool deleteObject(BitmapHandle bitmap) override;
    bool getObject(BitmapHandle bitmap, BitmapRecord& record) override;
    bool bitBlt(DcHandle dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                DcHandle src, std::int32_t srcX, std::int32_t srcY, RasterOp rop) override;
    DcHandle getScreenDC() override;
    void releaseScreenDC(DcHandle dc) override;
    bool openClipboard() override;
    void emptyClipboard() override;
    bool setClipboardBitmap(BitmapHandle bitmap) override;
    void closeClipboard() override;
    void showMessage(const QString& text) override;

    // DCs and bitmaps alive right now (the screen DC not counted): lets a
    // caller check that nothing leaks.
    std::size_t liveObjectCount() const;

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    struct Bitmap {
        Surface surface;
        std::unique_ptr<std::uint8_t, FreeDeleter> pixels; // a DIB section's own block
        QImage image;                                       // a picture or a compatible bitmap
        bool writable = false;
        DcHandle selectedInto = 0;
    };
    struct Dc {
        BitmapHandle selected = 0;
        bool screen = false;
    };

    BitmapHandle addBitmap(Bitmap bitmap);
    const Surface* selectedSurface(DcHandle dc) const;

    std::unordered_map<DcHandle, Dc> m_dcs;
    std::unordered_map<BitmapHandle, Bitmap> m_bitmaps;
    std::uintptr_t m_nextHandle = 0x100;
    bool m_clipboardOpen = false;
};
