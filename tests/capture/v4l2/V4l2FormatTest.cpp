#include "FakeVideoDeviceFixture.h"
#include "capture/v4l2/V4l2Stream.h"

namespace {

struct SizesCase {
    const char* name;
    QList<QSize> discrete;
    QSize stepMin;
    QSize stepMax;
    QList<QSize> expected;
};

void PrintTo(const SizesCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2FrameSizesTest : public V4l2CameraTest, public ::testing::WithParamInterface<SizesCase> {};

TEST_P(V4l2FrameSizesTest, AreOfferedSortedWithoutDuplicates)
{
    FakeCamera& camera = fake.camera();
    camera.discreteSizes = GetParam().discrete;
    camera.stepMin = GetParam().stepMin;
    camera.stepMax = GetParam().stepMax;
    ASSERT_TRUE(openSource());
    EXPECT_EQ(source->frameSizes(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, V4l2FrameSizesTest,
    ::testing::Values(
        SizesCase{"Discrete", {{1280, 720}, {320, 240}, {640, 480}, {320, 240}, {640, 360}}, {}, {},
                  {{320, 240}, {640, 360}, {640, 480}, {1280, 720}}},
        SizesCase{"StepwiseRange", {}, {300, 200}, {1300, 800}, {{320, 240}, {640, 480}, {800, 600}, {1280, 720}}},
        SizesCase{"WideRange", {}, {16, 16}, {4096, 2160},
                  {{320, 240}, {640, 480}, {800, 600}, {1280, 720}, {1920, 1080}}},
        SizesCase{"RangeBelowAllCommonSizes", {}, {16, 16}, {176, 144}, {{176, 144}}},
        SizesCase{"NothingListed", {}, {}, {}, {{640, 480}}}),
    [](const auto& info) { return std::string(info.param.name); });

// What the driver answers to "BGR24 at 640 x 480", and what the source makes of it.
struct NegotiationCase {
    const char* name;
    QList<QSize> offered;
    QSize forced;
    int padding;
    int reportedBytesPerLine;
    QSize expected;  // invalid: the device must be refused
};

void PrintTo(const NegotiationCase& row, std::ostream* out)
{
    *out << row.name;
}

class V4l2NegotiationTest : public V4l2CameraTest, public ::testing::WithParamInterface<NegotiationCase> {};

TEST_P(V4l2NegotiationTest, TakesTheDriversSizeAndStride)
{
    const NegotiationCase& row = GetParam();
    FakeCamera& camera = fake.camera();
    camera.discreteSizes = row.offered;
    camera.forcedSize = row.forced;
    camera.padding = row.padding;
    camera.reportedBytesPerLine = row.reportedBytesPerLine;
    makeSource();
    if (!row.expected.isValid()) {
        EXPECT_FALSE(source->open());
        EXPECT_EQ(source->errorString(), QStringLiteral("Video format not supported"));
        return;
    }
    ASSERT_TRUE(source->open());
    EXPECT_EQ(fake.lastRequestedSize, QSize(640, 480));
    EXPECT_EQ(source->frameSize(), row.expected);
    ASSERT_TRUE(deliver({11}));
    EXPECT_TRUE(showsFrame(source->latestFrame(), 11, row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, V4l2NegotiationTest,
    ::testing::Values(NegotiationCase{"AsAsked", {{640, 480}}, {}, 0, -1, {640, 480}},
                      NegotiationCase{"NearestOffered", {{320, 240}, {800, 600}}, {}, 0, -1, {800, 600}},
                      NegotiationCase{"OddWidth", {}, {161, 120}, 0, -1, {161, 120}},
                      NegotiationCase{"PaddedRows", {{640, 480}}, {}, 12, -1, {640, 480}},
                      NegotiationCase{"PaddedOddWidth", {}, {161, 120}, 5, -1, {161, 120}},
                      NegotiationCase{"StrideNotReported", {{640, 480}}, {}, 0, 0, {640, 480}},
                      NegotiationCase{"AbsurdStride", {{640, 480}}, {}, 0, 640 * 3 + 100000, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(V4l2CopyFrame, ReusesAnUnsharedImageAndLeavesASharedOneAlone)
{
    const V4l2Format format{.width = 2, .height = 2, .bytesPerLine = 8, .imageSize = 16};
    const unsigned char first[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    QImage image;
    copyFrame(first, format, &image);
    ASSERT_EQ(image.size(), QSize(2, 2));
    const uchar* pixels = image.constBits();
    copyFrame(first, format, &image);
    EXPECT_EQ(image.constBits(), pixels);

    const QImage held = image;  // a viewer still shows this frame
    const unsigned char second[16] = {};
    copyFrame(second, format, &image);
    EXPECT_EQ(held.constScanLine(1)[5], 12);
    EXPECT_EQ(image.constScanLine(1)[5], 0);
}

} // namespace
