#include "FakeVideoDeviceFixture.h"

#include <QTimer>

namespace {

FakeControl makeControl(quint32 id, const char* name, quint32 type, int minimum, int maximum, int value,
                        quint32 flags = 0)
{
    FakeControl control;
    control.info.id = id;
    setFixedText(control.info.name, sizeof control.info.name, QByteArray(name));
    control.info.type = type;
    control.info.minimum = minimum;
    control.info.maximum = maximum;
    control.info.step = 1;
    control.info.default_value = minimum;
    control.info.flags = flags;
    control.value = value;
    return control;
}

class V4l2ControlsTest : public V4l2CameraTest {
protected:
    void SetUp() override
    {
        auto& controls = fake.camera().controls;
        // Out of id order on purpose: the list follows the driver's ids.
        controls.push_back(makeControl(V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 100, 40));
        controls.push_back(makeControl(V4L2_CID_USER_CLASS, "User Controls", V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 0));
        FakeControl brightness = makeControl(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 10);
        brightness.info.step = 2;
        brightness.info.default_value = 0;
        controls.push_back(brightness);
        controls.push_back(makeControl(V4L2_CID_AUTOGAIN, "Gain, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1));
        controls.push_back(makeControl(V4L2_CID_GAIN, "Gain", V4L2_CTRL_TYPE_INTEGER, 0, 255, 9,
                                       V4L2_CTRL_FLAG_INACTIVE));
        controls.push_back(makeControl(V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, 0, 10, 5,
                                       V4L2_CTRL_FLAG_DISABLED));
        controls.push_back(makeControl(V4L2_CID_GAMMA, "Gamma", V4L2_CTRL_TYPE_INTEGER, 0, 10, 5,
                                       V4L2_CTRL_FLAG_READ_ONLY));
        controls.push_back(makeControl(V4L2_CID_DO_WHITE_BALANCE, "White Balance Once", V4L2_CTRL_TYPE_BUTTON, 0, 0, 0));
        FakeControl powerLine = makeControl(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency",
                                            V4L2_CTRL_TYPE_MENU, 0, 2, 2);
        powerLine.menu = {{0, QStringLiteral("Disabled")}, {2, QStringLiteral("60 Hz")}};  // 1 is a gap
        controls.push_back(powerLine);
        FakeControl sharpness = makeControl(V4L2_CID_SHARPNESS, "Sharpness", V4L2_CTRL_TYPE_INTEGER, 0, 7, 3);
        sharpness.info.default_value = 4;
        sharpness.failGet = true;
        controls.push_back(sharpness);
        // A menu whose every entry the driver refuses cannot be offered.
        controls.push_back(makeControl(V4L2_CID_COLORFX, "Color Effects", V4L2_CTRL_TYPE_MENU, 0, 3, 0));
        FakeControl bias = makeControl(V4L2_CID_AUTO_EXPOSURE_BIAS, "Exposure Bias", V4L2_CTRL_TYPE_INTEGER_MENU, 0, 2, 2);
        bias.menu = {{0, QStringLiteral("-1000")}, {2, QStringLiteral("1000")}};
        controls.push_back(bias);
    }
};

TEST_F(V4l2ControlsTest, ListsUsableControlsWithCurrentValues)
{
    ASSERT_TRUE(openSource());
    const QList<SourceControl> controls = source->controls();
    ASSERT_EQ(controls.size(), 7);

    EXPECT_EQ(controls[0].id, quint32(V4L2_CID_BRIGHTNESS));
    EXPECT_EQ(controls[0].name, QStringLiteral("Brightness"));
    EXPECT_EQ(controls[0].kind, SourceControl::Kind::Integer);
    EXPECT_EQ(controls[0].minimum, -64);
    EXPECT_EQ(controls[0].maximum, 64);
    EXPECT_EQ(controls[0].step, 2);
    EXPECT_EQ(controls[0].defaultValue, 0);
    EXPECT_EQ(controls[0].value, 10);
    EXPECT_TRUE(controls[0].active);

    EXPECT_EQ(controls[1].id, quint32(V4L2_CID_CONTRAST));
    EXPECT_EQ(controls[1].value, 40);

    EXPECT_EQ(controls[2].id, quint32(V4L2_CID_AUTOGAIN));
    EXPECT_EQ(controls[2].kind, SourceControl::Kind::Boolean);
    EXPECT_EQ(controls[2].value, 1);

    // Inactive while the automatic gain is on, but listed: it can wake up.
    EXPECT_EQ(controls[3].id, quint32(V4L2_CID_GAIN));
    EXPECT_FALSE(controls[3].active);
    EXPECT_EQ(controls[3].value, 9);

    using Entries = QList<SourceControl::MenuEntry>;
    EXPECT_EQ(controls[4].id, quint32(V4L2_CID_POWER_LINE_FREQUENCY));
    EXPECT_EQ(controls[4].kind, SourceControl::Kind::Menu);
    EXPECT_EQ(controls[4].menu, (Entries{{0, "Disabled"}, {2, "60 Hz"}})) << "the gap at 1 is not offered";
    EXPECT_EQ(controls[4].value, 2);

    // A value the driver will not tell falls back to the default.
    EXPECT_EQ(controls[5].id, quint32(V4L2_CID_SHARPNESS));
    EXPECT_EQ(controls[5].value, 4);

    EXPECT_EQ(controls[6].id, quint32(V4L2_CID_AUTO_EXPOSURE_BIAS));
    EXPECT_EQ(controls[6].menu, (Entries{{0, "-1000"}, {2, "1000"}}));
}

TEST_F(V4l2ControlsTest, FlagsAreReadAfreshEachTime)
{
    ASSERT_TRUE(openSource());
    auto gain = [this] {
        for (const SourceControl& c : source->controls())
            if (c.id == V4L2_CID_GAIN)
                return c;
        return SourceControl{};
    };
    ASSERT_FALSE(gain().active);
    // What a driver does when the automatic gain is switched off.
    ASSERT_TRUE(source->setControl(V4L2_CID_AUTOGAIN, 0));
    for (FakeControl& control : fake.camera().controls)
        if (control.info.id == V4L2_CID_GAIN)
            control.info.flags &= ~V4L2_CTRL_FLAG_INACTIVE;
    EXPECT_TRUE(gain().active);
}

TEST_F(V4l2ControlsTest, SetsControlsThroughTheDriver)
{
    ASSERT_TRUE(openSource());
    EXPECT_TRUE(source->setControl(V4L2_CID_BRIGHTNESS, -20));
    EXPECT_EQ(source->controls()[0].value, -20);
    EXPECT_FALSE(source->setControl(V4L2_CID_BRIGHTNESS, 65));  // out of range
    EXPECT_FALSE(source->setControl(0x00980fff, 1));            // no such control
    EXPECT_EQ(source->controls()[0].value, -20);
    EXPECT_TRUE(source->isOpen());
}

TEST_F(V4l2ControlsTest, ClosedOrVanishedSourceHasNoControls)
{
    makeSource();
    EXPECT_TRUE(source->controls().isEmpty());
    EXPECT_FALSE(source->setControl(V4L2_CID_BRIGHTNESS, 1));

    ASSERT_TRUE(source->open());
    fake.vanish();
    EXPECT_FALSE(source->setControl(V4L2_CID_BRIGHTNESS, 1));
    EXPECT_FALSE(source->isOpen());
    EXPECT_TRUE(source->reopenTimer()->isActive());
    EXPECT_TRUE(source->controls().isEmpty());
}

} // namespace
