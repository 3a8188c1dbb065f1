#include "FakeVideoDeviceFixture.h"

#include <QTimer>

namespace {

struct ControlRow {
    quint32 id;
    const char* name;
    quint32 type;
    int minimum, maximum, step, defaultValue, value;
    quint32 flags;
};

class V4l2ControlsTest : public V4l2CameraTest {
protected:
    void SetUp() override
    {
        // Out of id order on purpose: the list follows the driver's ids.
        const ControlRow rows[] = {
            {V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 0, 40, 0},
            {V4L2_CID_USER_CLASS, "User Controls", V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 1, 0, 0, 0},
            {V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 2, 0, 10, 0},
            {V4L2_CID_AUTOGAIN, "Gain, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 0, 1, 0},
            {V4L2_CID_GAIN, "Gain", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 0, 9, V4L2_CTRL_FLAG_INACTIVE},
            {V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, 0, 10, 1, 0, 5, V4L2_CTRL_FLAG_DISABLED},
            {V4L2_CID_GAMMA, "Gamma", V4L2_CTRL_TYPE_INTEGER, 0, 10, 1, 0, 5, V4L2_CTRL_FLAG_READ_ONLY},
            {V4L2_CID_DO_WHITE_BALANCE, "White Balance Once", V4L2_CTRL_TYPE_BUTTON, 0, 0, 1, 0, 0, 0},
            {V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 0, 2, 0},
            {V4L2_CID_SHARPNESS, "Sharpness", V4L2_CTRL_TYPE_INTEGER, 0, 7, 1, 4, 3, 0},
        };
        for (const ControlRow& row : rows) {
            FakeControl control;
            control.info.id = row.id;
            setFixedText(control.info.name, sizeof control.info.name, QByteArray(row.name));
            control.info.type = row.type;
            control.info.minimum = row.minimum;
            control.info.maximum = row.maximum;
            control.info.step = row.step;
            control.info.default_value = row.defaultValue;
            control.info.flags = row.flags;
            control.value = row.value;
            fake.camera().controls.push_back(control);
        }
        auto& controls = fake.camera().controls;
        controls[8].menu = {{0, QStringLiteral("Disabled")}, {2, QStringLiteral("60 Hz")}}; // 1 is a gap
        controls[9].failGet = true;
    }
};

TEST_F(V4l2ControlsTest, ListsUsableControlsWithCurrentValues)
{
    ASSERT_TRUE(openSource());
    const QList<SourceControl> controls = source->controls();
    ASSERT_EQ(controls.size(), 5);

    EXPECT_EQ(controls[0].id, quint32(V4L2_CID_BRIGHTNESS));
    EXPECT_EQ(controls[0].name, QStringLiteral("Brightness"));
    EXPECT_EQ(controls[0].kind, SourceControl::Kind::Integer);
    EXPECT_EQ(controls[0].minimum, -64);
    EXPECT_EQ(controls[0].maximum, 64);
    EXPECT_EQ(controls[0].step, 2);
    EXPECT_EQ(controls[0].defaultValue, 0);
    EXPECT_EQ(controls[0].value, 10);

    EXPECT_EQ(controls[1].id, quint32(V4L2_CID_CONTRAST));
    EXPECT_EQ(controls[1].value, 40);

    EXPECT_EQ(controls[2].id, quint32(V4L2_CID_AUTOGAIN));
    EXPECT_EQ(controls[2].kind, SourceControl::Kind::Boolean);
    EXPECT_EQ(controls[2].value, 1);

    EXPECT_EQ(controls[3].id, quint32(V4L2_CID_POWER_LINE_FREQUENCY));
    EXPECT_EQ(controls[3].kind, SourceControl::Kind::Menu);
    EXPECT_EQ(controls[3].menuItems, (QStringList{"Disabled", "1", "60 Hz"}));
    EXPECT_EQ(controls[3].value, 2);

    // A value the driver will not tell falls back to the default.
    EXPECT_EQ(controls[4].id, quint32(V4L2_CID_SHARPNESS));
    EXPECT_EQ(controls[4].value, 4);
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
