#pragma once

#include "capture/control/CaptureControl.h"
#include "FakeVideoSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>

#include <memory>

// The capture tests keep the user's configuration in a temporary directory
// (set up once for the whole run); each test starts from an empty one.
void clearCaptureSettings();

// Processes events until `done` holds or five seconds pass; returns `done()`.
template <typename Condition>
bool processEventsUntil(Condition done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

// A capture control over fake cameras "/dev/fake0" and "/dev/fake1".
struct FakeCam {
    explicit FakeCam(QWidget* parent = nullptr, std::function<void(FakeVideoSource&)> prepareEach = {},
                     QList<SourceChoice> list = {{"/dev/fake0", "Fake zero"}, {"/dev/fake1", "Fake one"}})
    {
        auto catalog = std::make_unique<FakeSourceCatalog>(std::move(list));
        catalog->prepare = std::move(prepareEach);
        made = catalog->made;
        prepare = &catalog->prepare;
        cam = new CaptureControl(std::move(catalog), parent);
        if (!parent)
            owned.reset(cam);
    }
    FakeVideoSource& source() const { return **made; }

    CaptureControl* cam = nullptr;
    std::shared_ptr<FakeVideoSource*> made;
    std::function<void(FakeVideoSource&)>* prepare = nullptr;
    std::unique_ptr<CaptureControl> owned;
};
