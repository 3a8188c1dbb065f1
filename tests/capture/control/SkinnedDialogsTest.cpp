#include "capture/control/FormatDialog.h"
#include "capture/control/SourceDialog.h"
#include "shell/chrome/Skin.h"

#include "capture/CaptureTestSupport.h"

#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct DialogCase {
    const char* name;
    QDialog* (*make)(CaptureControl&);
};

class SkinnedDialogs : public CaptureSettingsTest, public ::testing::WithParamInterface<DialogCase> {};

// Rendered as the user sees it: a dark window, light text, dark skinned buttons.
TEST_P(SkinnedDialogs, DrawnInTheMainWindowsLook)
{
    ScriptedCapture fake;
    std::unique_ptr<QDialog> dialog(GetParam().make(*fake.cam));
    dialog->resize(dialog->sizeHint());
    EXPECT_EQ(dialog->palette().color(QPalette::WindowText), Skin::textColor());
    EXPECT_EQ(dialog->font().family(), Skin::labelFont().family());

    const QImage drawn = dialog->grab().toImage();
    EXPECT_LT(drawn.pixelColor(2, 2).lightness(), 64) << "light dialog background";
    const auto buttons = dialog->findChildren<QPushButton*>();
    ASSERT_FALSE(buttons.isEmpty());
    for (QPushButton* button : buttons) {
        const QImage face = button->grab().toImage();
        EXPECT_LT(face.pixelColor(4, face.height() / 2).lightness(), 110) << button->text().toStdString();
        EXPECT_EQ(button->palette().color(QPalette::ButtonText), Skin::textColor());
    }
}

INSTANTIATE_TEST_SUITE_P(
    BothDialogs, SkinnedDialogs,
    ::testing::Values(DialogCase{"VideoSource", [](CaptureControl& cam) -> QDialog* { return new SourceDialog(cam); }},
                      DialogCase{"VideoFormat", [](CaptureControl& cam) -> QDialog* { return new FormatDialog(cam); }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
