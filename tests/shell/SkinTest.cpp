#include "shell/chrome/Skin.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

struct FaceCase {
    const char* name;
    std::function<QImage(bool pressed)> draw;
    QSize size;
};

class SkinFace : public ::testing::TestWithParam<FaceCase> {};

// The windows place faces on fixed spots of their backgrounds; a face of
// another size would cover or leave a gap in the painted chrome.
TEST_P(SkinFace, HasItsSizeAndLooksDifferentWhenPressed)
{
    const FaceCase c = GetParam();
    const QImage normal = c.draw(false);
    const QImage pressed = c.draw(true);
    EXPECT_EQ(normal.size(), c.size);
    EXPECT_EQ(pressed.size(), c.size);
    EXPECT_NE(normal, pressed);
}

INSTANTIATE_TEST_SUITE_P(
    AllFaces, SkinFace,
    ::testing::Values(FaceCase{"Text", &Skin::textFace, {81, 21}},
                      FaceCase{"Close", &Skin::closeFace, {23, 22}},
                      FaceCase{"Min", &Skin::minFace, {22, 22}},
                      FaceCase{"ArrowUp", [](bool p) { return Skin::arrowFace(true, p); }, {23, 15}},
                      FaceCase{"ArrowDown", [](bool p) { return Skin::arrowFace(false, p); }, {23, 15}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Skin, ArrowsPointDifferentWaysAndGlyphsDiffer)
{
    EXPECT_NE(Skin::arrowFace(true, false), Skin::arrowFace(false, false));
    EXPECT_NE(Skin::closeFace(false).copy(0, 0, 22, 22), Skin::minFace(false));
}

TEST(Skin, BackgroundsHaveTheWindowSizes)
{
    EXPECT_EQ(Skin::mainBackground().size(), QSize(324, 335));
    EXPECT_EQ(Skin::beginBackground().size(), QSize(324, 260));
    EXPECT_EQ(Skin::aboutBackground().size(), QSize(324, 240));
    EXPECT_EQ(Skin::aboutBadge().size(), QSize(65, 15));
}

} // namespace
