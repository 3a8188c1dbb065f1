#include "shell/chrome/Skin.h"

#include <gtest/gtest.h>

namespace {

// A pressed face must show, and faces that mean different things must differ.
TEST(Skin, FacesDifferWhenPressedAndFromEachOther)
{
    for (const auto& draw : {&Skin::textFace, &Skin::closeFace, &Skin::minFace}) {
        EXPECT_NE(draw(false), draw(true));
        EXPECT_EQ(draw(false).size(), draw(true).size());
    }
    for (const bool up : {true, false})
        EXPECT_NE(Skin::arrowFace(up, false), Skin::arrowFace(up, true));
    EXPECT_NE(Skin::arrowFace(true, false), Skin::arrowFace(false, false));
    EXPECT_NE(Skin::closeFace(false).copy(0, 0, 22, 22), Skin::minFace(false));
}

} // namespace
