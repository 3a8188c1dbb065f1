#pragma once

#include "capture/source/SourceCatalog.h"
#include "capture/source/TestPatternSource.h"
#include "capture/source/VideoSource.h"

#include <QColor>
#include <QImage>
#include <QMap>

#include <functional>
#include <map>
#include <memory>

// What a test decides about one scripted camera. Shared between the test and
// every source made for it, so the test can unplug a camera the capture
// control owns, or one it has yet to create.
struct SourceScript {
    bool present = true;
    int failingStills = 0; // the next n stills fail
    QColor colour{20, 120, 220};
    QList<QSize> sizes{QSize(320, 240), QSize(640, 480), QSize(1280, 720)};
    QList<SourceControl> controls;
    QMap<quint32, int> controlValues; // what setControl() was given
    QList<quint32> refusedControls;   // setControl fails for these and changes nothing
    // Runs after each accepted setControl, as a driver updates dependent controls.
    std::function<void(SourceScript&, quint32 id, int value)> afterSet;
    double rate = 0;                  // frames a second; 0: unknown
    int opens = 0;

    SourceControl* control(quint32 id)
    {
        for (SourceControl& c : controls)
            if (c.id == id)
                return &c;
        return nullptr;
    }
};

// A camera that delivers flat frames of the script's colour (with a red
// top-left pixel, so row order shows), fails stills on demand, and can be
// unplugged and plugged back.
class ScriptedSource : public VideoSource {
public:
    explicit ScriptedSource(std::shared_ptr<SourceScript> script = std::make_shared<SourceScript>(),
                            QString id = QStringLiteral("/dev/fake0"), QString name = QStringLiteral("Fake zero"));

    SourceScript& script() { return *m_script; }

    QString id() const override { return m_id; }
    QString displayName() const override { return m_name; }
    bool open() override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QImage latestFrame() const override { return m_latest; }
    QImage grabStill(QString* error) override;
    QList<QSize> frameSizes() const override { return m_script->sizes; }
    QSize frameSize() const override { return m_size; }
    bool setFrameSize(const QSize& size) override;
    QList<SourceControl> controls() const override { return m_script->controls; }
    bool setControl(quint32 id, int value) override;
    double frameRate() const override { return m_script->rate; }

    // Delivers a live frame as a camera would.
    void pushFrame();
    QImage makeFrame() const;

private:
    std::shared_ptr<SourceScript> m_script;
    QString m_id;
    QString m_name;
    QSize m_size; // the script's first size until another is set
    QImage m_latest;
    bool m_open = false;
};

// A catalog offering exactly `choices`; each camera id gets a script of its
// own (see script()), and the test pattern's id makes the real test pattern.
class ScriptedCatalog : public SourceCatalog {
public:
    explicit ScriptedCatalog(QList<SourceChoice> choices = {
                                 {QStringLiteral("/dev/fake0"), QStringLiteral("Fake zero"), QStringLiteral("/dev/fake0")},
                                 {QStringLiteral("/dev/fake1"), QStringLiteral("Fake one"), QStringLiteral("/dev/fake1")}});

    std::shared_ptr<SourceScript> script(const QString& id) const;

    QList<SourceChoice> choices() const override { return m_choices; }
    // Cameras plugged in or out after the catalog was handed over.
    void setChoices(QList<SourceChoice> choices) { m_choices = std::move(choices); }
    std::unique_ptr<VideoSource> create(const QString& id) const override;

private:
    QList<SourceChoice> m_choices;
    mutable std::map<QString, std::shared_ptr<SourceScript>> m_scripts;
};

// Only the test pattern, so no test depends on a camera being present.
class TestPatternCatalog : public ScriptedCatalog {
public:
    TestPatternCatalog()
        : ScriptedCatalog({{TestPatternSource::sourceId(), TestPatternSource::sourceName(), {}}})
    {
    }
};
