#include "image/FrameJpeg.h"
#include "image/PictureApply.h"
#include "image/PictureCaption.h"
#include "image/PicturePlanes.h"
#include "image/PictureScale.h"
#include "image/PictureTransform.h"

#include "support/ColourBars.h"
#include "support/PictureOptionSets.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

using pictureoptions::with;

namespace {

// Quarters of red, green, blue and white: R G above, B W below.
QImage cornerPicture(int width, int height, QImage::Format format)
{
    QImage picture(width, height, format);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::white};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixelColor(x, y, colours[(y >= height / 2) * 2 + (x >= width / 2)]);
    return picture;
}

// The nearest of the four colours at each corner, as "RGBW" (TL TR BL BR).
std::string corners(const QImage& picture)
{
    std::string result;
    const QPoint points[] = {{2, 2}, {picture.width() - 3, 2}, {2, picture.height() - 3},
                             {picture.width() - 3, picture.height() - 3}};
    for (const QPoint& point : points) {
        const QColor c = picture.pixelColor(point);
        result += c.red() > 128 ? (c.green() > 128 ? 'W' : 'R') : (c.green() > 128 ? 'G' : 'B');
    }
    return result;
}

// A camera's JPEG of the picture: 4:2:2, as webcams send it.
QByteArray jpegOf(const QImage& picture)
{
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, bgr.constBits(), bgr.width(), int(bgr.bytesPerLine()), bgr.height(), TJPF_BGR, &out, &size,
                TJSAMP_422, 95, 0);
    const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    tjFree(out);
    tjDestroy(handle);
    return bytes;
}

// The picture as a YUYV camera frame (video range), rows width * 2 apart.
QByteArray yuyvOf(const QImage& picture)
{
    QByteArray bytes;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); x += 2) {
            int y0, y1, u, v;
            colourbars::toYuv(picture.pixelColor(x + 1, y), &y1, &u, &v);
            colourbars::toYuv(picture.pixelColor(x, y), &y0, &u, &v);
            bytes += char(y0), bytes += char(u), bytes += char(y1), bytes += char(v);
        }
    }
    return bytes;
}

struct Turn {
    int rotation;
    bool horizontal;
    bool vertical;
    const char* expected;
};

class PictureTurnTest : public testing::TestWithParam<Turn> {};

} // namespace

// Both ways of turning, the pixel one and the plane one, must agree on
// where each corner goes and on the size.
TEST_P(PictureTurnTest, CornersLandWhereTheTurnAndMirrorsPutThem)
{
    const Turn turn = GetParam();
    PictureOptions options;
    options.rotation = turn.rotation;
    options.flipHorizontal = turn.horizontal;
    options.flipVertical = turn.vertical;
    const QSize expectedSize = turn.rotation % 180 ? QSize(48, 64) : QSize(64, 48);
    for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB32}) {
        const QImage turned = turnPicture(cornerPicture(64, 48, format), options);
        EXPECT_EQ(turned.size(), expectedSize);
        EXPECT_EQ(corners(turned), turn.expected) << "format " << format;
    }
    // The stream's YUV road turns packed planes in blocks (odd sizes leave
    // strips) and a frame a band of rows at a time: every byte must land
    // where the picture turn puts it.
    for (const QSize size : {QSize(64, 48), QSize(61, 45), QSize(34, 100)}) {
        QImage plane(size, QImage::Format_Grayscale8);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                plane.scanLine(y)[x] = uchar(x * 7 + y * 13);
        const QImage expected = turnPicture(plane, options);
        const int w = expected.width();
        std::vector<uchar> packed(std::size_t(size.width() * size.height()));
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(packed.data() + y * size.width(), plane.constScanLine(y), std::size_t(size.width()));
        std::vector<uchar> whole(packed.size());
        std::vector<uchar> banded(packed.size());
        copyPlaneTurned(packed.data(), size.width(), size.height(), whole.data(), w, options);
        for (int first = 0; first < size.height(); first += 32)
            copyBandTurned(packed.data() + first * size.width(), size.width(), first,
                           std::min(32, size.height() - first), size.height(), banded.data(), w, options);
        for (int y = 0; y < expected.height(); ++y) {
            const uchar* row = expected.constScanLine(y);
            ASSERT_TRUE(std::equal(row, row + w, whole.data() + y * w)) << size.width() << " row " << y;
            ASSERT_TRUE(std::equal(row, row + w, banded.data() + y * w)) << size.width() << " banded row " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllTurns, PictureTurnTest,
    testing::Values(Turn{0, false, false, "RGBW"}, Turn{90, false, false, "BRWG"}, Turn{180, false, false, "WBGR"},
                    Turn{270, false, false, "GWRB"}, Turn{0, true, false, "GRWB"}, Turn{90, true, false, "RBGW"},
                    Turn{180, true, false, "BWRG"}, Turn{270, true, false, "WGBR"}, Turn{0, false, true, "BWRG"},
                    Turn{90, false, true, "WGBR"}, Turn{180, false, true, "GRWB"}, Turn{270, false, true, "RBGW"},
                    Turn{0, true, true, "WBGR"}, Turn{90, true, true, "GWRB"}, Turn{180, true, true, "RGBW"},
                    Turn{270, true, true, "BRWG"}));

TEST(PictureCaptionTest, StaysInsideAndFollowsTheClock)
{
    // 2025-12-06 around noon UTC: the same day and year in every time zone's
    // 2 hours either side.
    const std::time_t when = 1765022400;
    EXPECT_EQ(captionText(QStringLiteral("%Y cam"), when), QStringLiteral("2025 cam"));
    EXPECT_TRUE(captionText(QString(), when).isEmpty());

    const QString longPattern = QStringLiteral("%Y-%m-%d %H:%M:%S ") + QString(200, QLatin1Char('x'));
    for (const QSize size : {QSize(320, 240), QSize(1920, 1080)}) {
        for (const auto corner : {PictureOptions::Corner::TopLeft, PictureOptions::Corner::BottomRight}) {
            const QRect band = captionBand(size, captionText(longPattern, when), corner);
            EXPECT_TRUE(QRect(QPoint(), size).contains(band)) << size.width();
            EXPECT_GE(band.height(), std::min(size.width(), size.height()) / 24) << "too small to read";
            EXPECT_LT(band.height(), size.height() / 8) << "one line only, never wrapped";
        }
        PictureOptions options;
        options.captionOn = true;
        options.caption = QStringLiteral("%H:%M:%S");
        QImage base(size, QImage::Format_BGR888);
        base.fill(Qt::gray);
        const QImage first = applyPicture(base, options, when);
        const QImage second = applyPicture(base, options, when + 1);
        EXPECT_NE(first, base);
        EXPECT_NE(first, second) << "a second later the caption differs";
        // Outside the band nothing changed.
        const QRect band = captionBand(size, captionText(options.caption, when), options.corner);
        EXPECT_EQ(first.copy(0, 0, size.width(), band.top()), base.copy(0, 0, size.width(), band.top()));
        QImage untouched = base;
        drawCaption(untouched, QString(), options.corner);
        EXPECT_EQ(untouched, base);

        // On YUV planes (4:2:0) only the band darkens, and its chroma stays neutral.
        const QSize chroma = size / 2;
        std::vector<uchar> luma(std::size_t(size.width() * size.height()), 200);
        std::vector<uchar> cb(std::size_t(chroma.width() * chroma.height()), 128);
        std::vector<uchar> cr = cb;
        drawCaptionOnPlanes({luma.data(), size.width(), cb.data(), cr.data(), chroma.width(), 2, 2}, size,
                            captionText(options.caption, when), options.corner);
        EXPECT_EQ(luma.front(), 200) << "outside the band";
        EXPECT_LT(luma[std::size_t(band.bottom() * size.width() + band.left())], 200) << "the band's corner";
        EXPECT_TRUE(std::all_of(cb.begin(), cb.end(), [](uchar c) { return c == 128; }));
        std::vector<uchar> later(luma.size(), 200);
        drawCaptionOnPlanes({later.data(), size.width(), cb.data(), cr.data(), chroma.width(), 2, 2}, size,
                            captionText(options.caption, when + 1), options.corner);
        EXPECT_NE(later, luma) << "the band is drawn anew for a new text";
    }
}

TEST(PictureStreamTest, StreamWidthKeepsTheShapeAndNeverEnlarges)
{
    const struct {
        QSize size;
        int width;
        QSize expected;
    } rows[] = {{{1920, 1080}, 640, {640, 360}}, {{1080, 1920}, 640, {640, 1138}}, {{1920, 1080}, 0, {1920, 1080}},
                {{640, 480}, 1280, {640, 480}}, {{640, 480}, 640, {640, 480}}};
    for (const auto& row : rows)
        EXPECT_EQ(streamSize(row.size, row.width), row.expected) << row.size.width() << " to " << row.width;
    // The planes are shrunk before the turn, so in the camera's orientation.
    EXPECT_EQ(streamPlaneSize(QSize(1920, 1080), with(90, false, 640)), QSize(1138, 640));

    const QImage stream = applyStreamPicture(cornerPicture(640, 480, QImage::Format_BGR888), with(90, false, 240), 0);
    EXPECT_EQ(stream.size(), QSize(240, 320));
    EXPECT_EQ(corners(stream), "BRWG");
    const QImage picture = cornerPicture(64, 40, QImage::Format_BGR888);
    EXPECT_EQ(applyPicture(picture, PictureOptions(), 0).constBits(), picture.constBits()) << "shared, not copied";

    // Each shrunk sample is the mean of the block it covers: whole blocks of
    // two, blocks of one and two where the sizes do not divide, a look-up
    // after the mean, and every second byte as in YUYV.
    const uchar row[] = {10, 0, 30, 0, 50, 0, 70, 0, 90, 0, 110, 0};
    std::array<uchar, 256> plusOne{};
    for (int i = 0; i < 256; ++i)
        plusOne[std::size_t(i)] = uchar(std::min(255, i + 1));
    const struct {
        int outWidth;
        const uchar* table;
        std::vector<uchar> expected;
    } shrinks[] = {{3, nullptr, {20, 60, 100}}, {4, nullptr, {10, 40, 70, 100}}, {3, plusOne.data(), {21, 61, 101}},
                   {6, nullptr, {10, 30, 50, 70, 90, 110}}};
    for (const auto& shrink : shrinks) {
        std::vector<uchar> out(std::size_t(shrink.outWidth));
        // Two equal rows, so the vertical mean changes nothing.
        shrinkPlane(row, 0, 2, 6, 2, shrink.table, out.data(), shrink.outWidth, shrink.outWidth, 1);
        EXPECT_EQ(out, shrink.expected) << shrink.outWidth;
    }
}

TEST(PictureStreamTest, TurnedPlanesOf422Become420)
{
    // Planes as TurboJPEG decodes them. 4:2:2 turned a quarter is 4:4:0,
    // which encodes slowly: its chroma goes to 4:2:0, unless an odd height
    // leaves half a pair of rows. 4:1:1 takes another road.
    const struct {
        QSize size;
        int subsampling;
        bool turns;
        int turned;
    } rows[] = {{{64, 48}, TJSAMP_422, true, TJSAMP_420}, {{64, 47}, TJSAMP_422, true, TJSAMP_440},
                {{64, 48}, TJSAMP_420, true, TJSAMP_420}, {{64, 48}, TJSAMP_411, false, TJSAMP_411}};
    for (const auto& row : rows) {
        std::vector<uchar> planes[3];
        for (int i = 0; i < 3; ++i)
            planes[i].assign(std::size_t(tjPlaneWidth(i, row.size.width(), row.subsampling))
                                 * std::size_t(tjPlaneHeight(i, row.size.height(), row.subsampling)),
                             i ? 128 : 90);
        // Chroma rows alternate, so a pair of them averages to their mean.
        const int chromaWidth = tjPlaneWidth(1, row.size.width(), row.subsampling);
        for (int y = 0; y < tjPlaneHeight(1, row.size.height(), row.subsampling); y += 2)
            std::fill_n(planes[1].begin() + y * chromaWidth, chromaWidth, uchar(100));
        std::vector<uchar> spare[3];
        QSize size = row.size;
        int subsampling = row.subsampling;
        ASSERT_EQ(pictureOnPlanes(planes, spare, size, subsampling, with(90, true), 0), row.turns);
        if (!row.turns)
            continue;
        EXPECT_EQ(size, row.size.transposed());
        EXPECT_EQ(subsampling, row.turned);
        EXPECT_LT(planes[0].back(), 90) << "the caption's band fills the narrow picture's bottom row";
        if (row.turned == TJSAMP_420 && row.subsampling == TJSAMP_422) {
            EXPECT_EQ(planes[1][0], 114) << "the mean of a pair of rows";
        }
    }
}

TEST(PictureStreamTest, TheStreamEncoderAppliesTheOptionsOnEachRoad)
{
    const QImage camera = cornerPicture(64, 48, QImage::Format_RGB32);
    const QByteArray mjpeg = jpegOf(camera);
    const QByteArray yuyv = yuyvOf(camera);
    const struct {
        quint32 fourcc; // 0: a picture the source drew
        PictureOptions options;
        QSize sent;
        const char* corners;
    } rows[] = {
        {V4L2_PIX_FMT_MJPEG, with(90), {48, 64}, "BRWG"},            // on its decoded planes
        {V4L2_PIX_FMT_MJPEG, with(0, false, 32), {32, 24}, "RGBW"},  // by a scaled decode
        {V4L2_PIX_FMT_MJPEG, with(0, false, 40), {40, 30}, "RGBW"},  // decoded at 5/8, shrunk to 4:2:0
        {V4L2_PIX_FMT_MJPEG, with(90, false, 40), {40, 53}, "BRWG"}, // an odd height, cut back from 54
        {V4L2_PIX_FMT_YUYV, with(90), {48, 64}, "BRWG"},             // turned as copied
        {V4L2_PIX_FMT_YUYV, with(0, false, 32), {32, 24}, "RGBW"},   // shrunk from the camera's bytes
        {V4L2_PIX_FMT_YUYV, with(270, false, 24), {24, 32}, "GWRB"},
        {V4L2_PIX_FMT_YUYV, with(90, false, 40), {40, 53}, "BRWG"},
        {V4L2_PIX_FMT_YUYV, with(0, true), {64, 48}, "RG"}, // the caption covers the bottom
        {0, with(90, false, 40), {40, 53}, "BRWG"},         // by a picture
    };
    FrameJpeg encoder;
    for (const auto& row : rows) {
        FrameJpeg::Outcome outcome = FrameJpeg::Outcome::Broken;
        const bool isYuyv = row.fourcc == V4L2_PIX_FMT_YUYV;
        const CameraImage frame{row.fourcc ? row.fourcc : V4L2_PIX_FMT_BGR24, QSize(64, 48), isYuyv ? 128 : 0,
                                isYuyv ? yuyv : row.fourcc ? mjpeg : QByteArray(),
                                row.fourcc ? QImage() : camera.convertToFormat(QImage::Format_BGR888)};
        const QImage sent = QImage::fromData(encoder.encode(frame, 90, true, &outcome, &row.options), "JPEG");
        SCOPED_TRACE(testing::Message() << row.fourcc << " " << row.options.rotation << " " << row.options.streamWidth);
        EXPECT_EQ(outcome, FrameJpeg::Outcome::Encoded);
        EXPECT_EQ(sent.size(), row.sent);
        EXPECT_EQ(corners(sent).substr(0, std::strlen(row.corners)), row.corners);
    }
}
