#include "image/cDIBSection.h"

#include <QImage>
#include <QPixmap>

#include <limits>
#include <stdexcept>

namespace {

// Gives a borrowed screen DC back on every path.
class ScreenDc {
public:
    explicit ScreenDc(DibPlatform& platform) : m_platform(platform), m_dc(platform.getScreenDC()) {}
    ~ScreenDc() { release(); }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    DcHandle get() const { return m_dc; }
    void release()
    {
        if (m_dc != 0)
            m_platform.releaseScreenDC(m_dc);
        m_dc = 0;
    }

private:
    DibPlatform& m_platform;
    DcHandle m_dc;
};

} // namespace

cDIBSection::cDIBSection(DibPlatform& platform) : m_platform(platform) {}

cDIBSection::~cDIBSection()
{
    ClearUp();
}

std::int32_t cDIBSection::BytesPerScanLine() const
{
    const std::int64_t bytes = dibRowBytes(Width());
    if (bytes > std::numeric_limits<std::int32_t>::max() || bytes < std::numeric_limits<std::int32_t>::min())
        throw std::overflow_error("BytesPerScanLine: row length exceeds 32 bits");
    return static_cast<std::int32_t>(bytes);
}

bool cDIBSection::CreateDIB(DcHandle lhDC, std::int32_t lWidth, std::int32_t lHeight, BitmapHandle& hDib)
{
    BitmapInfoHeader& header = m_bitmapInfo.bmiHeader;
    header.biSize = sizeof(BitmapInfoHeader);
    header.biWidth = lWidth;
    header.biHeight = lHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = kBiRgb;

    const std::int64_t sizeImage = std::int64_t(header.biHeight) * BytesPerScanLine();
    if (sizeImage > std::numeric_limits<std::int32_t>::max() || sizeImage < std::numeric_limits<std::int32_t>::min())
        throw std::overflow_error("CreateDIB: image size exceeds 32 bits");
    header.biSizeImage = static_cast<std::uint32_t>(static_cast<std::int32_t>(sizeImage));

    hDib = m_platform.createDIBSection(lhDC, m_bitmapInfo, &m_bitsPointer);
    if (hDib == 0)
        m_bitsPointer = nullptr;
    return hDib != 0;
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight)
{
    ClearUp();
    m_memoryDC = m_platform.createCompatibleDC(0);
    if (m_memoryDC == 0)
        return false;
    bool created = false;
    try {
        created = CreateDIB(m_memoryDC, lWidth, lHeight, m_dibHandle);
    } catch (...) {
        // The size can't be represented: nothing was allocated but the DC.
        ClearUp();
        throw;
    }
    if (!created) {
        m_platform.deleteDC(m_memoryDC);
        m_memoryDC = 0;
        m_dibHandle = 0;
        m_bitsPointer = nullptr;
        return false;
    }
    m_previousBitmap = m_platform.selectObject(m_memoryDC, m_dibHandle);
    return true;
}

void cDIBSection::CreateFromPicture(const QImage& picThis)
{
    // The picture's bitmap lives only for this copy.
    const BitmapHandle picture = m_platform.createPictureBitmap(picThis);
    struct PictureOwner {
        DibPlatform& platform;
        BitmapHandle handle;
        ~PictureOwner()
        {
            if (handle != 0)
                platform.deleteObject(handle);
        }
    } owner{m_platform, picture};

    BitmapRecord record;
    if (!m_platform.getObject(picture, record))
        record = BitmapRecord{};
    if (!Create(record.bmWidth, record.bmHeight))
        return;

    ScreenDc screen(m_platform);
    if (screen.get() == 0)
        return;
    const DcHandle tempDC = m_platform.createCompatibleDC(screen.get());
    screen.release();
    if (tempDC == 0)
        return;
    const BitmapHandle old = m_platform.selectObject(tempDC, picture);
    LoadPictureBlt(tempDC, 0, 0, -1, -1, RasterOp::SrcCopy);
    m_platform.selectObject(tempDC, old);
    m_platform.deleteDC(tempDC);
}

void cDIBSection::CreateFromPicture(const QPixmap& picThis)
{
    CreateFromPicture(picThis.toImage());
}

void cDIBSection::LoadPictureBlt(DcHandle lhDC, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                 std::int32_t lSrcWidth, std::int32_t lSrcHeight, RasterOp eRop)
{
    if (lSrcWidth < 0)
        lSrcWidth = Width();
    if (lSrcHeight < 0)
        lSrcHeight = Height();
    m_platform.bitBlt(m_memoryDC, 0, 0, lSrcWidth, lSrcHeight, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(DcHandle lhDC, std::int32_t lDestLeft, std::int32_t lDestTop,
                               std::int32_t lDestWidth, std::int32_t lDestHeight, std::int32_t lSrcLeft,
                               std::int32_t lSrcTop, RasterOp eRop)
{
    if (lDestWidth < 0)
        lDestWidth = Width();
    if (lDestHeight < 0)
        lDestHeight = Height();
    m_platform.bitBlt(lhDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, m_memoryDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::ClearUp()
{
    if (m_memoryDC != 0) {
        if (m_dibHandle != 0) {
            m_platform.selectObject(m_memoryDC, m_previousBitmap);
            m_platform.deleteObject(m_dibHandle);
        }
        m_platform.deleteDC(m_memoryDC);
    }
    m_memoryDC = 0;
    m_dibHandle = 0;
    m_previousBitmap = 0;
    m_bitsPointer = nullptr;
}
