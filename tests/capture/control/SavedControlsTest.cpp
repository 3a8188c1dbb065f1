#include "capture/control/CameraSettings.h"
#include "capture/control/CaptureControl.h"

#include "capture/CaptureTestSupport.h"

#include <gtest/gtest.h>

namespace {

using Kind = SourceControl::Kind;

// One kept value, what the camera offers for it, and what must become of it.
struct Kept {
    SourceControl control;  // offered by the camera; id 0: not offered
    quint32 id;
    int value;
    bool refused;           // the driver refuses it
    bool sent;              // reaches the camera at each open
    bool keptAfter;
};

const QList<Kept> kKept{
    {{1, "Brightness", Kind::Integer, 0, 255, 1, 128, 128, {}, true}, 1, 40, false, true, true},
    {{2, "Power Line Frequency", Kind::Menu, 0, 2, 1, 1, 1, {{0, "Off"}, {2, "60 Hz"}}, true}, 2, 2, false, true, true},
    {{3, "Contrast", Kind::Integer, 0, 100, 1, 50, 50, {}, true}, 3, 300, false, false, false},
    {{4, "Mains", Kind::Menu, 0, 2, 1, 0, 0, {{0, "Off"}, {2, "60 Hz"}}, true}, 4, 1, false, false, false},
    {{5, "Backlight", Kind::Boolean, 0, 1, 1, 0, 0, {}, true}, 5, 2, false, false, false},
    {{}, 6, 10, false, false, false},
    {{7, "Gain", Kind::Integer, 0, 255, 1, 0, 0, {}, true}, 7, 10, true, false, false},
    // Switched off by an automatic mode: kept quietly for when it is switched on.
    {{8, "Exposure", Kind::Integer, 0, 500, 1, 100, 100, {}, false}, 8, 50, true, false, true},
};

class SavedControlsTest : public CaptureSettingsTest {
protected:
    static void offer(SourceScript& s)
    {
        for (const Kept& k : kKept) {
            if (k.control.id)
                s.controls.append(k.control);
            if (k.refused)
                s.refusedControls.append(k.id);
        }
    }
    // The driver forgets everything when the camera goes.
    static void unplugAndBack(CaptureControl& cam, SourceScript& s)
    {
        cam.source()->close();
        s.controls.clear();
        s.controlValues.clear();
        offer(s);
        cam.setLiveDisplay(true);
    }
};

TEST_F(SavedControlsTest, KeptValuesComeBackAtEachOpenAndUnusableOnesAreDroppedOnce)
{
    for (const Kept& k : kKept)
        CameraSettings::setControl("/dev/fake0", k.id, k.value);
    ScriptedCapture fake(nullptr, ScriptedCatalog().choices(), offer);
    CaptureControl& cam = *fake.cam;
    for (int open = 0; open < 2; ++open) {
        if (open)
            unplugAndBack(cam, *fake.fake0);
        else
            cam.setLiveDisplay(true);
        const QMap<quint32, int> store = CameraSettings::controls("/dev/fake0");
        for (const Kept& k : kKept) {
            SCOPED_TRACE(k.id);
            EXPECT_EQ(fake.fake0->controlValues.value(k.id, -1), k.sent ? k.value : -1) << "never sent raw";
            EXPECT_EQ(store.contains(k.id), k.keptAfter);
        }
    }
    EXPECT_EQ(fake.notices.size(), 5) << "each dropped value once: " << fake.notices.join('\n').toStdString();
    EXPECT_TRUE(fake.notices.filter("Contrast = 300 is out of range").size() == 1);
    EXPECT_TRUE(fake.notices.filter("Gain = 10 was refused").size() == 1);
}

TEST_F(SavedControlsTest, OnlyValuesTheCameraTookAreKeptAndOnlyForIt)
{
    ScriptedCapture fake(nullptr, ScriptedCatalog().choices(), offer);
    ASSERT_TRUE(fake.cam->setSourceControl(1, 200));
    EXPECT_FALSE(fake.cam->setSourceControl(7, 10));
    EXPECT_EQ(CameraSettings::controls("/dev/fake0"), (QMap<quint32, int>{{1, 200}}));
    EXPECT_TRUE(CameraSettings::controls("/dev/fake1").isEmpty());
}

} // namespace
