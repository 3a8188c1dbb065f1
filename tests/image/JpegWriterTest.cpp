#include "image/cDIBSection.h"
#include "image/mIntelJPEGLibrary.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <cstdlib>
#include <vector>

namespace {

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // top-down, 3 bytes per pixel
};

Decoded decodeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    Decoded out;
    tjhandle handle = tjInitDecompress();
    int subsamp = 0, colorspace = 0;
    auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    if (tjDecompressHeader3(handle, bytes, static_cast<unsigned long>(data.size()), &out.width, &out.height,
                            &subsamp, &colorspace)
        == 0) {
        out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
        if (tjDecompress2(handle, bytes, static_cast<unsigned long>(data.size()), out.rgb.data(), out.width, 0,
                          out.height, TJPF_RGB, 0)
            != 0)
            out = {};
    } else {
        out = {};
    }
    tjDestroy(handle);
    return out;
}

// Top half red, bottom half blue, on a green left margin: any flip or
// channel swap shows.
QImage testPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, x < width / 4 ? qRgb(0, 200, 0) : (y < height / 2 ? qRgb(220, 20, 20) : qRgb(20, 20, 220)));
    return image;
}

} // namespace

TEST(JpegRoundTrip, UprightAndInColour)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int width : {320, 321}) {
        SCOPED_TRACE(width);
        cDIBSection dib;
        dib.CreateFromPicture(testPicture(width, 240));
        ASSERT_EQ(dib.Width(), width);
        const QString path = dir.filePath(QStringLiteral("snap%1.jpg").arg(width));
        ASSERT_TRUE(mIntelJPEGLibrary::SaveJpegFile(dib, path, 75));
        const Decoded decoded = decodeFile(path);
        ASSERT_EQ(decoded.width, width);
        ASSERT_EQ(decoded.height, 240);
        auto at = [&](int x, int y) { return &decoded.rgb[(static_cast<std::size_t>(y) * width + x) * 3]; };
        const unsigned char* top = at(width * 3 / 4, 20);
        const unsigned char* bottom = at(width * 3 / 4, 220);
        const unsigned char* left = at(10, 120);
        EXPECT_NEAR(top[0], 220, 12);
        EXPECT_NEAR(top[2], 20, 12);
        EXPECT_NEAR(bottom[0], 20, 12);
        EXPECT_NEAR(bottom[2], 220, 12);
        EXPECT_NEAR(left[1], 200, 12);
    }
}
