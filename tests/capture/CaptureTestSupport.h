#pragma once

#include "capture/control/CaptureControl.h"
#include "support/ScriptedSource.h"

#include <gtest/gtest.h>

#include <memory>

// The capture tests keep the user's configuration in a temporary directory
// (set up once for the whole run); each test starts from an empty one.
void clearCaptureSettings();

// A test that starts and ends on an empty configuration.
class CaptureSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { clearCaptureSettings(); }
    void TearDown() override { clearCaptureSettings(); }
};

// A capture control over the scripted cameras "/dev/fake0" and "/dev/fake1"
// (or the given list), starting from an empty configuration.
struct ScriptedCapture {
    explicit ScriptedCapture(QWidget* parent = nullptr, QList<SourceChoice> list = ScriptedCatalog().choices(),
                             const std::function<void(SourceScript&)>& prepare = {})
    {
        auto scripted = std::make_unique<ScriptedCatalog>(std::move(list));
        catalog = scripted.get();
        fake0 = catalog->script("/dev/fake0");
        fake1 = catalog->script("/dev/fake1");
        // Set up before the control makes its first source.
        if (prepare) {
            prepare(*fake0);
            prepare(*fake1);
        }
        cam = new CaptureControl(std::move(scripted), parent, [this](const QString& line) { notices.append(line); });
        if (!parent)
            owned.reset(cam);
    }
    ScriptedSource& source() const { return static_cast<ScriptedSource&>(*cam->source()); }

    ScriptedCatalog* catalog = nullptr;  // owned by cam
    QStringList notices;
    std::shared_ptr<SourceScript> fake0;
    std::shared_ptr<SourceScript> fake1;
    CaptureControl* cam = nullptr;
    std::unique_ptr<CaptureControl> owned;
};
