#include "image/MemoryDibPlatform.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>

#include <limits>

namespace {

// QClipboard and QMessageBox exist only with a GUI application, on its thread.
bool onGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return qobject_cast<QGuiApplication*>(app) && QThread::currentThread() == app->thread();
}

} // namespace

DibPlatform& DibPlatform::standard()
{
    static MemoryDibPlatform platform;
    return platform;
}

BitmapHandle MemoryDibPlatform::addBitmap(Bitmap bitmap)
{
    const BitmapHandle handle = m_nextHandle++;
    m_bitmaps.emplace(handle, std::move(bitmap));
    return handle;
}

const Surface* MemoryDibPlatform::selectedSurface(DcHandle dc) const
{
    const auto dcIt = m_dcs.find(dc);
    if (dcIt == m_dcs.end() || dcIt->second.selected == 0)
        return nullptr;
    const auto bitmapIt = m_bitmaps.find(dcIt->second.selected);
    return bitmapIt == m_bitmaps.end() ? nullptr : &bitmapIt->second.surface;
}

DcHandle MemoryDibPlatform::createCompatibleDC(DcHandle dc)
{
    if (dc != 0 && !m_dcs.contains(dc))
        return 0;
    const DcHandle handle = m_nextHandle++;
    m_dcs.emplace(handle, Dc{});
    return handle;
}

bool MemoryDibPlatform::deleteDC(DcHandle dc)
{
    const auto it = m_dcs.find(dc);
    if (it == m_dcs.end() || it->second.screen)
        return false;
    if (auto bitmapIt = m_bitmaps.find(it->second.selected); bitmapIt != m_bitmaps.end())
        bitmapIt->second.selectedInto = 0;
    m_dcs.erase(it);
    return true;
}

BitmapHandle MemoryDibPlatform::createDIBSection(DcHandle, const BitmapInfo& info, std::uint8_t** bits)
{
    if (bits)
        *bits = nullptr;
    const BitmapInfoHeader& header = info.bmiHeader;
    if (!bits || header.biSize != sizeof(BitmapInfoHeader) || header.biPlanes != 1
        || header.biBitCount != 24 || header.biCompression != kBiRgb || header.biWidth <= 0
        || header.biHeight <= 0)
        return 0;
    const std::int64_t stride = dibRowBytes(header.biWidth);
    const std::int64_t size = stride * header.biHeight;
    if (size > std::numeric_limits<std::int32_t>::max())
        return 0;

    // Zeroed like a fresh section; large blocks come as untouched zero pages.
    Bitmap bitmap;
    bitmap.pixels.reset(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(size), 1)));
    if (!bitmap.pixels)
        return 0;
    bitmap.surface = Surface{bitmap.pixels.get(), header.biWidth, header.biHeight,
                             static_cast<std::int32_t>(stride), PixelFormat::Bgr24, true};
    bitmap.writable = true;
    std::uint8_t* block = bitmap.pixels.get();

    const BitmapHandle handle = addBitmap(std::move(bitmap));
    *bits = block;
    return handle;
}

BitmapHandle MemoryDibPlatform::createCompatibleBitmap(DcHandle, std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    Bitmap bitmap;
    bitmap.image = QImage(width, height, QImage::Format_RGB32);
    if (bitmap.image.isNull())
        return 0;
    bitmap.image.fill(Qt::black);
    bitmap.surface = Surface{bitmap.image.bits(), width, height,
                             static_cast<std::int32_t>(bitmap.image.bytesPerLine()), PixelFormat::Bgrx32,
                             false};
    bitmap.writable = true;

    return addBitmap(std::move(bitmap));
}

BitmapHandle MemoryDibPlatform::createPictureBitmap(const QImage& picture)
{
    if (picture.isNull())
        return 0;
    Bitmap bitmap;
    PixelFormat format = PixelFormat::Bgrx32;
    // The common camera and screen layouts are read as they are; anything else
    // is converted once, to a layout the block copy reads directly.
    switch (picture.format()) {
    case QImage::Format_RGB888:
        bitmap.image = picture;
        format = PixelFormat::Rgb24;
        break;
    case QImage::Format_BGR888:
        bitmap.image = picture;
        format = PixelFormat::Bgr24;
        break;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        bitmap.image = picture;
        break;
    default:
        bitmap.image = picture.convertToFormat(QImage::Format_RGB32);
        break;
#else
    default:
        bitmap.image = picture.convertToFormat(QImage::Format_BGR888);
        format = PixelFormat::Bgr24;
        break;
#endif
    }
    if (bitmap.image.isNull())
        return 0;
    // constBits: reading must not detach (copy) the caller's picture.
    bitmap.surface = Surface{const_cast<std::uint8_t*>(bitmap.image.constBits()), bitmap.image.width(),
                             bitmap.image.height(), static_cast<std::int32_t>(bitmap.image.bytesPerLine()),
                             format, false};

    return addBitmap(std::move(bitmap));
}

BitmapHandle MemoryDibPlatform::selectObject(DcHandle dc, BitmapHandle bitmap)
{
    const auto dcIt = m_dcs.find(dc);
    if (dcIt == m_dcs.end() || dcIt->second.screen)
        return 0;
    Bitmap* incoming = nullptr;
    if (bitmap != 0) {
        const auto it = m_bitmaps.find(bitmap);
        if (it == m_bitmaps.end())
            return 0;
        incoming = &it->second;
        if (incoming->selectedInto != 0 && incoming->selectedInto != dc)
            return 0; // a bitmap lives in one DC at a time
    }
    const BitmapHandle previous = dcIt->second.selected;
    if (auto it = m_bitmaps.find(previous); it != m_bitmaps.end())
        it->second.selectedInto = 0;
    dcIt->second.selected = bitmap;
    if (incoming)
        incoming->selectedInto = dc;
    return previous;
}

bool MemoryDibPlatform::deleteObject(BitmapHandle bitmap)
{
    const auto it = m_bitmaps.find(bitmap);
    if (it == m_bitmaps.end() || it->second.selectedInto != 0)
        return false;
    m_bitmaps.erase(it);
    return true;
}

bool MemoryDibPlatform::getObject(BitmapHandle bitmap, BitmapRecord& record)
{
    const auto it = m_bitmaps.find(bitmap);
    if (it == m_bitmaps.end())
        return false;
    const Surface& surface = it->second.surface;
    record = BitmapRecord{};
    record.bmWidth = surface.width;
    record.bmHeight = surface.height;
    record.bmWidthBytes = surface.stride;
    record.bmPlanes = 1;
    record.bmBitsPixel = surface.format == PixelFormat::Bgrx32 ? 32 : 24;
    return true;
}

bool MemoryDibPlatform::bitBlt(DcHandle dest, std::int32_t x, std::int32_t y, std::int32_t width,
                               std::int32_t height, DcHandle src, std::int32_t srcX, std::int32_t srcY,
                               RasterOp rop)
{
    if (rop != RasterOp::SrcCopy)
        return false;
    const Surface* to = selectedSurface(dest);
    const Surface* from = selectedSurface(src);
    if (!to || !from || !m_bitmaps.at(m_dcs.at(dest).selected).writable)
        return false;
    return blitSurfaces(*to, x, y, width, height, *from, srcX, srcY);
}

DcHandle MemoryDibPlatform::getScreenDC()
{
    const DcHandle handle = m_nextHandle++;
    m_dcs.emplace(handle, Dc{0, true});
    return handle;
}

void MemoryDibPlatform::releaseScreenDC(DcHandle dc)
{
    if (auto it = m_dcs.find(dc); it != m_dcs.end() && it->second.screen)
        m_dcs.erase(it);
}

bool MemoryDibPlatform::openClipboard()
{
    if (!onGuiThread() || m_clipboardOpen)
        return false;
    m_clipboardOpen = true;
    return true;
}

void MemoryDibPlatform::emptyClipboard()
{
    if (m_clipboardOpen)
        QGuiApplication::clipboard()->clear();
}

bool MemoryDibPlatform::setClipboardBitmap(BitmapHandle bitmap)
{
    if (!m_clipboardOpen)
        return false;
    const auto it = m_bitmaps.find(bitmap);
    if (it == m_bitmaps.end() || it->second.selectedInto != 0 || it->second.image.isNull())
        return false;
    QImage image = std::move(it->second.image);
    m_bitmaps.erase(it);
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

void MemoryDibPlatform::closeClipboard()
{
    m_clipboardOpen = false;
}

void MemoryDibPlatform::showMessage(const QString& text)
{
    if (!onGuiThread() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    QMessageBox::information(nullptr, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok);
}

std::size_t MemoryDibPlatform::liveObjectCount() const
{
    return m_dcs.size() + m_bitmaps.size();
}
