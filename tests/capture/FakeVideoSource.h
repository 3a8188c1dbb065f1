#pragma once

#include "capture/source/SourceCatalog.h"
#include "capture/source/VideoSource.h"

#include <QColor>
#include <QImage>
#include <QMap>

#include <functional>
#include <memory>

// A scripted video source: frames of a chosen size and colour, stills that
// fail on demand, and a device that can vanish and come back.
class FakeVideoSource : public VideoSource {
public:
    explicit FakeVideoSource(QString id = QStringLiteral("/dev/fake0"), QString name = QStringLiteral("Fake camera"))
        : m_id(std::move(id))
        , m_name(std::move(name))
    {
    }

    QString id() const override { return m_id; }
    QString displayName() const override { return m_name; }

    bool open() override
    {
        ++openCalls;
        m_open = present;
        return m_open;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }

    QImage latestFrame() const override { return m_latest; }
    QImage grabStill(QString* error) override
    {
        ++grabCalls;
        if (!m_open || failingStills > 0) {
            if (failingStills > 0)
                --failingStills;
            if (error)
                *error = QStringLiteral("scripted failure");
            return {};
        }
        return makeFrame();
    }

    QList<QSize> frameSizes() const override { return sizes; }
    QSize frameSize() const override { return m_size; }
    bool setFrameSize(const QSize& size) override
    {
        if (!sizes.contains(size))
            return false;
        m_size = size;
        return true;
    }

    double frameRate() const override { return rate; }

    QList<SourceControl> controls() const override { return controlList; }
    bool setControl(quint32 id, int value) override
    {
        for (SourceControl& c : controlList) {
            if (c.id == id && !refusedControls.contains(id)) {
                controlValues[id] = value;
                c.value = value;
                if (afterSet)
                    afterSet(*this, id, value);
                return true;
            }
        }
        return false;
    }
    SourceControl* control(quint32 id)
    {
        for (SourceControl& c : controlList)
            if (c.id == id)
                return &c;
        return nullptr;
    }

    // Delivers a live frame as a camera would.
    void pushFrame()
    {
        m_latest = makeFrame();
        emit frameReady();
    }
    // The device is unplugged: it closes and cannot be opened until it returns.
    void vanish()
    {
        present = false;
        m_open = false;
    }
    void comeBack() { present = true; }

    // A frame is filled with `colour` and has a red top-left pixel, so row order shows.
    QImage makeFrame() const
    {
        QImage frame(m_size, QImage::Format_BGR888);
        frame.fill(colour);
        frame.setPixelColor(0, 0, Qt::red);
        return frame;
    }

    QList<QSize> sizes{QSize(320, 240), QSize(640, 480), QSize(1280, 720)};
    QList<SourceControl> controlList;
    QMap<quint32, int> controlValues;
    QList<quint32> refusedControls;  // setControl fails for these and changes nothing
    // Runs after each accepted setControl, as a driver updates dependent controls.
    std::function<void(FakeVideoSource&, quint32, int)> afterSet;
    double rate = 0;
    QColor colour = QColor(20, 120, 220);
    bool present = true;
    int failingStills = 0; // the next n stills fail
    int openCalls = 0;
    int grabCalls = 0;

private:
    QString m_id;
    QString m_name;
    QSize m_size{320, 240};
    QImage m_latest;
    bool m_open = false;
};

// A catalog over fake sources. Each id in `ids` can be created; the test
// gets hold of the source the control made through `made`.
class FakeSourceCatalog : public SourceCatalog {
public:
    explicit FakeSourceCatalog(QList<SourceChoice> list)
        : m_list(std::move(list))
    {
    }

    QList<SourceChoice> choices() const override { return m_list; }
    std::unique_ptr<VideoSource> create(const QString& id) const override
    {
        for (const SourceChoice& c : m_list) {
            if (c.id == id) {
                auto source = std::make_unique<FakeVideoSource>(c.id, c.name);
                if (prepare)
                    prepare(*source);
                *made = source.get();
                return source;
            }
        }
        return nullptr;
    }

    // Called on every source made, before the control sees it.
    std::function<void(FakeVideoSource&)> prepare;
    // The last source made (owned by the control).
    std::shared_ptr<FakeVideoSource*> made = std::make_shared<FakeVideoSource*>(nullptr);

private:
    QList<SourceChoice> m_list;
};
