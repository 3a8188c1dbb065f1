#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

class FrameSlot;

// A still taken but not yet made into a picture. It holds only values (a
// shared camera frame, a picture already made), never its source, so
// develop() may run on any thread, also after the source has gone.
struct PendingStill {
    // The picture; null, with *error set, when the frame does not convert.
    std::function<QImage(QString* error)> develop;
    bool isNull() const { return !develop; }
};

// One adjustable setting a source offers (a V4L2 control: brightness,
// contrast, ...). Integer controls show as sliders, boolean ones as check
// boxes, menus as lists.
struct SourceControl {
    enum class Kind { Integer, Boolean, Menu };
    // A menu entry the source offers: the value it sets and its text.
    struct MenuEntry {
        int value = 0;
        QString text;
        bool operator==(const MenuEntry&) const = default;
    };
    quint32 id = 0;
    QString name;
    Kind kind = Kind::Integer;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    QList<MenuEntry> menu;  // Menu: only the entries offered, in value order
    // False while another control decides this one (an automatic mode is
    // on); it then has no effect and is not shown. Changes with other controls.
    bool active = true;
};

// Where frames come from: a camera, the built-in test pattern, or a scripted
// fake in the tests. All calls happen on the UI thread; a source delivers its
// frames from the Qt event loop and announces each with frameReady().
class VideoSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~VideoSource() override = default;

    // Stable identity for the user's configuration ("testpattern", "/dev/video0").
    virtual QString id() const = 0;
    // Name shown in the source dialog.
    virtual QString displayName() const = 0;

    // Starts delivering frames. Safe to call when already open. False when the
    // source cannot be had now (no device, busy, gone).
    virtual bool open() = 0;
    // Stops and releases the device. Safe to call twice.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // The newest frame for the live display (Format_BGR888 or any Qt format);
    // null when there is none yet.
    virtual QImage latestFrame() const = 0;
    // The newest frame for a view of `atLeast`; a source that can make a
    // smaller picture more cheaply than a full one (a JPEG camera) does so.
    virtual QImage previewFrame(const QSize& atLeast) const
    {
        Q_UNUSED(atLeast);
        return latestFrame();
    }

    // Takes the newest frame for a still. Never holds the caller for long:
    // it may wait only for a source's very first frame. On failure returns
    // a null image and sets *error to a short reason.
    virtual QImage grabStill(QString* error) = 0;
    // The same, split: the cheap part here, the conversion left to
    // develop(). Null, with *error set, when no frame can be had. Sources
    // whose stills cost nothing to make take them whole here.
    virtual PendingStill takeStill(QString* error)
    {
        QImage still = grabStill(error);
        if (still.isNull())
            return {};
        return {[still](QString*) { return still; }};
    }

    // The newest frame as the source made it, for readers on other threads
    // (an encoder); null for a source that keeps none.
    virtual const FrameSlot* frameSlot() const { return nullptr; }

    // Frame sizes the source offers, and the one in use.
    virtual QList<QSize> frameSizes() const = 0;
    virtual QSize frameSize() const = 0;
    virtual bool setFrameSize(const QSize& size) = 0;
    // Frames a second the source delivers at its frame size; 0 when unknown.
    virtual double frameRate() const { return 0; }

    // Device controls with their current values and state; empty when the
    // source has none. Setting one may change others (their values, whether
    // they are active), so callers read the list again after each change.
    virtual QList<SourceControl> controls() const { return {}; }
    virtual bool setControl(quint32 id, int value)
    {
        Q_UNUSED(id);
        Q_UNUSED(value);
        return false;
    }

signals:
    void frameReady();
    // The device was opened (at start, after a reopen or a replug): the
    // moment to give it the settings kept for it. Sources that need none
    // do not send it.
    void opened();
};
