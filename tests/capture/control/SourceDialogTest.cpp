#include "capture/control/FormatDialog.h"
#include "capture/control/SourceDialog.h"

#include "capture/CaptureTestSupport.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <gtest/gtest.h>

namespace {

constexpr quint32 kAutoGain = 1;
constexpr quint32 kGain = 2;
constexpr quint32 kMains = 3;

// A webcam's gain pair, as drivers cluster them: Gain does nothing (and is
// inactive) while "Gain, Automatic" is ticked.
void gainPair(SourceScript& s)
{
    s.controls = {
        {kAutoGain, "Gain, Automatic", SourceControl::Kind::Boolean, 0, 1, 1, 1, 1, {}, true},
        {kGain, "Gain", SourceControl::Kind::Integer, 0, 255, 1, 0, 40, {}, false},
        // The driver lacks 50 Hz: only two entries, values 0 and 2.
        {kMains, "Power Line Frequency", SourceControl::Kind::Menu, 0, 2, 1, 0, 2, {{0, "Disabled"}, {2, "60 Hz"}}},
    };
    s.afterSet = [](SourceScript& source, quint32 id, int value) {
        if (id == kAutoGain) {
            source.control(kGain)->active = value == 0;
            if (value != 0)
                source.control(kGain)->value = 77; // the automatic mode moved it meanwhile
        }
    };
}

// Editors replaced by a rebuild are deleted later; let that happen.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class SourceDialogTest : public CaptureSettingsTest {
protected:
    ScriptedCapture fake{nullptr, ScriptedCatalog().choices(), gainPair};
};

TEST_F(SourceDialogTest, UntickingTheAutomaticModeShowsTheControlItFreed)
{
    SourceDialog dialog(*fake.cam);
    auto* autoGain = dialog.findChild<QCheckBox*>("control-1");
    auto* gain = dialog.findChild<QSlider*>("control-2");
    ASSERT_TRUE(autoGain && gain);
    EXPECT_TRUE(gain->isHidden());

    autoGain->setChecked(false);
    flushDeletes();
    EXPECT_EQ(dialog.findChild<QSlider*>("control-2"), gain) << "the editors stay; only their rows change";
    EXPECT_FALSE(gain->isHidden());
    EXPECT_EQ(gain->value(), 40);

    gain->setValue(90);
    EXPECT_EQ(fake.fake0->controlValues.value(kGain), 90);

    autoGain->setChecked(true);
    EXPECT_TRUE(gain->isHidden());
    EXPECT_EQ(gain->value(), 77) << "values are read back after every change";
}

TEST_F(SourceDialogTest, OnlyOfferedMenuEntriesAreListed)
{
    SourceDialog dialog(*fake.cam);
    auto* mains = dialog.findChild<QComboBox*>("control-3");
    ASSERT_NE(mains, nullptr);
    ASSERT_EQ(mains->count(), 2);
    EXPECT_EQ(mains->itemText(0), "Disabled");
    EXPECT_EQ(mains->currentText(), "60 Hz");

    mains->setCurrentIndex(0);
    emit mains->activated(0);
    EXPECT_EQ(fake.fake0->controlValues.value(kMains), 0) << "an entry sets its own value, not its row";
}

TEST_F(SourceDialogTest, ARefusedValueIsReportedAndTheEditorShowsTheCameraValue)
{
    SourceDialog dialog(*fake.cam);
    auto* autoGain = dialog.findChild<QCheckBox*>("control-1");
    auto* mains = dialog.findChild<QComboBox*>("control-3");
    ASSERT_TRUE(autoGain && mains);
    fake.fake0->refusedControls = {kAutoGain, kMains};

    autoGain->setChecked(false);
    EXPECT_TRUE(autoGain->isChecked());
    EXPECT_TRUE(dialog.findChild<QSlider*>("control-2")->isHidden());
    auto* note = dialog.findChild<QLabel*>("note");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().startsWith("Gain, Automatic could not be changed")) << note->text().toStdString();
    EXPECT_FALSE(note->isHidden());

    mains->setCurrentIndex(0);
    emit mains->activated(0);
    EXPECT_EQ(mains->currentText(), "60 Hz");

    fake.fake0->refusedControls.clear();
    mains->setCurrentIndex(0);
    emit mains->activated(0);
    EXPECT_TRUE(note->isHidden()) << "a change that works clears the note";
}

TEST_F(SourceDialogTest, ListsCamerasByNameWithTheNodeSmallAndResetsToDefaults)
{
    SourceDialog dialog(*fake.cam);
    auto* list = dialog.findChild<QComboBox*>("sourceList");
    auto* node = dialog.findChild<QLabel*>("node");
    ASSERT_TRUE(list && node);
    EXPECT_EQ(list->itemText(1), "Fake one");
    EXPECT_EQ(list->itemData(1, Qt::ToolTipRole).toString(), "/dev/fake1");
    EXPECT_EQ(node->text(), "/dev/fake0");
    EXPECT_LT(QFontInfo(node->font()).pixelSize(), QFontInfo(list->font()).pixelSize());

    auto* autoGain = dialog.findChild<QCheckBox*>("control-1");
    autoGain->setChecked(false);
    ASSERT_EQ(fake.fake0->controlValues.value(kAutoGain), 0);
    auto* reset = dialog.findChild<QPushButton*>("reset");
    ASSERT_NE(reset, nullptr);
    EXPECT_EQ(reset->accessibleName(), "Reset to defaults");
    EXPECT_EQ(reset->accessibleDescription(), reset->toolTip());
    reset->click();
    EXPECT_EQ(fake.fake0->controlValues.value(kAutoGain), 1);
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("control-1")->isChecked());
}

TEST_F(SourceDialogTest, FortyControlsScrollInADialogOfOrdinarySize)
{
    ScriptedCapture many(nullptr, ScriptedCatalog().choices(), [](SourceScript& s) {
        for (quint32 id = 1; id <= 40; ++id)
            s.controls.append({id, QStringLiteral("Setting %1").arg(id), SourceControl::Kind::Integer, 0, 100, 1, 0,
                                  50, {}});
    });
    SourceDialog dialog(*many.cam);
    auto* scroll = dialog.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->widget()->findChildren<QSlider*>().size(), 40);
    EXPECT_LT(dialog.sizeHint().height(), 600);
    dialog.show();
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << "only the height scrolls";
}

// Messages Qt prints while the test runs.
QStringList* g_messages = nullptr;
void collectMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (g_messages)
        g_messages->append(text);
}

TEST_F(SourceDialogTest, BuildingAndRebuildingPrintsNoWarnings)
{
    QStringList messages;
    g_messages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    {
        // Only the first camera has controls, so each switch rebuilds the list.
        ScriptedCapture two;
        gainPair(*two.fake0);
        SourceDialog dialog(*two.cam);
        EXPECT_TRUE(dialog.chooseSource(1));
        EXPECT_TRUE(dialog.chooseSource(0));
        flushDeletes();
        EXPECT_NE(dialog.findChild<QSlider*>("control-2"), nullptr);
    }
    qInstallMessageHandler(previous);
    g_messages = nullptr;
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

struct RateCase {
    double rate;
    const char* shown; // null: no frame rate line
};

class FormatDialogRate : public CaptureSettingsTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(FormatDialogRate, ShowsTheRateTheSourceReports)
{
    const double rate = GetParam().rate;
    ScriptedCapture fake(nullptr, ScriptedCatalog().choices(), [rate](SourceScript& s) { s.rate = rate; });
    FormatDialog dialog(*fake.cam);
    auto* line = dialog.findChild<QLabel*>("frameRate");
    ASSERT_NE(line, nullptr);
    if (GetParam().shown) {
        EXPECT_FALSE(line->isHidden());
        EXPECT_EQ(line->text(), GetParam().shown);
    } else {
        EXPECT_TRUE(line->isHidden());
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, FormatDialogRate,
                         ::testing::Values(RateCase{30, "Frame rate: 30 frames a second"},
                                           RateCase{7.5, "Frame rate: 7.5 frames a second"},
                                           RateCase{0, nullptr}));

} // namespace
