#include "capture/control/CaptureSettings.h"
#include "capture/control/FormatDialog.h"
#include "capture/control/PictureSection.h"
#include "image/PictureApply.h"
#include "image/PictureSettings.h"
#include "capture/control/SourceDialog.h"

#include "capture/CaptureTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QSlider>
#include <gtest/gtest.h>

namespace {

class CaptureDialogsTest : public CaptureSettingsTest {};

TEST_F(CaptureDialogsTest, OpeningTheDialogsGoesThroughTheRunner)
{
    ScriptedCapture fake;
    QStringList titles;
    fake.cam->setDialogRunner([&](QDialog& d) { titles << d.windowTitle(); });
    fake.cam->OpenSourceDialog();
    fake.cam->OpenFormatDialog();
    EXPECT_EQ(titles, (QStringList{"Video Source", "Video Format"}));
}

TEST_F(CaptureDialogsTest, ControlsAreOfferedByKindAndAppliedAtOnce)
{
    ScriptedCapture fake;
    fake.fake0->controls = {
        {1, "Brightness", SourceControl::Kind::Integer, -64, 64, 1, 0, 10, {}},
        {2, "White Balance, Auto", SourceControl::Kind::Boolean, 0, 1, 1, 1, 1, {}},
        {3, "Power Line Frequency", SourceControl::Kind::Menu, 0, 2, 1, 1, 1, {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}}}};
    SourceDialog dialog(*fake.cam);
    auto* slider = dialog.findChild<QSlider*>("control-1");
    auto* box = dialog.findChild<QCheckBox*>("control-2");
    auto* menu = dialog.findChild<QComboBox*>("control-3");
    ASSERT_TRUE(slider && box && menu);
    EXPECT_EQ(slider->minimum(), -64);
    EXPECT_EQ(slider->maximum(), 64);
    EXPECT_EQ(slider->value(), 10);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(menu->currentText(), "50 Hz");
    EXPECT_EQ(slider->accessibleName(), "Brightness");

    slider->setValue(-20);
    box->setChecked(false);
    menu->setCurrentIndex(2);
    emit menu->activated(2);
    EXPECT_EQ(fake.fake0->controlValues, (QMap<quint32, int>{{1, -20}, {2, 0}, {3, 2}}));
    EXPECT_FALSE(dialog.applyControl(99, 1));
}

TEST_F(CaptureDialogsTest, FormatDialogAppliesTheChoiceOnlyWhenAccepted)
{
    ScriptedCapture fake;
    {
        FormatDialog dialog(*fake.cam);
        EXPECT_EQ(dialog.selectedSize(), QSize(320, 240)) << "starts on the size in use";
        EXPECT_FALSE(dialog.selectSize(QSize(1920, 1080)));
        ASSERT_TRUE(dialog.selectSize(QSize(640, 480)));
        dialog.accept();
    }
    EXPECT_EQ(fake.source().frameSize(), QSize(640, 480));
    EXPECT_FALSE(fake.cam->selectFrameSize(QSize(1920, 1080))) << "a size the source does not offer";
    {
        FormatDialog dialog(*fake.cam);
        dialog.selectSize(QSize(1280, 720));
        dialog.reject();
    }
    EXPECT_EQ(fake.source().frameSize(), QSize(640, 480)) << "cancel changes nothing";
    EXPECT_EQ(ScriptedCapture().source().frameSize(), QSize(640, 480)) << "the size survives a restart";
}

TEST_F(CaptureDialogsTest, PictureSectionActsAtOnceCancelPutsBackOkStores)
{
    ScriptedCapture fake;
    {
        FormatDialog dialog(*fake.cam);
        auto* rotation = dialog.picture().findChild<QComboBox*>();
        ASSERT_NE(rotation, nullptr);
        rotation->setCurrentIndex(rotation->findData(90));
        EXPECT_EQ(pictureSlot().options()->rotation, 90) << "in force before OK";
        // Every control says what it is to a screen reader.
        for (QWidget* control : dialog.picture().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QLabel*>(control) || qobject_cast<QComboBox*>(control) || qobject_cast<QCheckBox*>(control)
                || qobject_cast<QLineEdit*>(control) || qobject_cast<QSpinBox*>(control)) {
                EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
                EXPECT_FALSE(control->accessibleDescription().isEmpty()) << control->accessibleName().toStdString();
            }
        }
        dialog.reject();
    }
    EXPECT_EQ(*pictureSlot().options(), PictureOptions());
    EXPECT_EQ(PictureSettings::load(), PictureOptions()) << "cancel stores nothing";

    PictureOptions chosen;
    chosen.flipHorizontal = true;
    chosen.captionOn = true;
    chosen.caption = QStringLiteral("Door %H:%M");
    chosen.streamWidth = 640;
    {
        FormatDialog dialog(*fake.cam);
        dialog.picture().setOptions(chosen);
        EXPECT_EQ(dialog.picture().options(), chosen);
        dialog.accept();
    }
    EXPECT_EQ(*pictureSlot().options(), chosen);
    EXPECT_EQ(PictureSettings::load(), chosen) << "kept for the next run";
    pictureSlot().setOptions(PictureOptions());
}

} // namespace
