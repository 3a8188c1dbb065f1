#pragma once

#include "capture/control/SavedControls.h"
#include "capture/source/SourceCatalog.h"
#include "capture/source/VideoSource.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

class QDialog;
class QTimer;
struct PictureOptions;

// A still as the UI thread takes it: the source's frame not yet made into a
// picture, and how it is to be turned, mirrored and captioned. It holds
// only values, so develop() may run on any thread, also after the source
// has been closed or replaced.
struct TakenStill {
    PendingStill frame;
    std::shared_ptr<const PictureOptions> options;
    std::time_t time = 0;  // for the caption
    QString sourceName;
    QString error;         // why there is no frame, when frame is null
    // The finished picture; null, with *why set, when there is none.
    QImage develop(QString* why) const;
};

// The capture control `cam`: a 320 x 240 area inside the video area that
// shows the moving camera picture, takes stills and writes them as bitmap
// files, and opens the source and format dialogs. It owns the current video
// source and remembers the user's choice of source, and for each camera its
// frame size and the controls set in the source dialog, given back at each
// open. A remembered camera that is not plugged in is waited for (stills
// fail meanwhile) and opened as soon as it appears, on whatever node.
class CaptureControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool LiveDisplay READ liveDisplay WRITE setLiveDisplay)
public:
    // `catalog` decides which sources exist (the program passes the
    // machine's devices and the test pattern; tests pass their own).
    // Notices ("camera X not present, waiting", kept values dropped) go to
    // `notice`, by default standard error prefixed "Talvex: ".
    explicit CaptureControl(std::unique_ptr<SourceCatalog> catalog, QWidget* parent = nullptr, NoticeSink notice = {});
    ~CaptureControl() override;

    // Shows the "Video Format" dialog; the size chosen there is used for later stills.
    void OpenFormatDialog();
    // Shows the "Video Source" dialog: the source and its controls.
    void OpenSourceDialog();

    // True: the area follows the source's frames; false: the picture stands
    // still. Switching on again when already on changes nothing.
    void setLiveDisplay(bool on);
    bool liveDisplay() const { return m_live; }

    // Takes the newest frame and holds it for WriteStillBitmap, turned,
    // mirrored and captioned as pictureSlot() says. False, with
    // errorString() set, when no frame can be had.
    bool CaptureStill();
    // Its cheap part, for a still finished on another thread: never holds
    // the caller longer than the source's own takeStill().
    TakenStill takeStill();
    // Writes the held frame, at its own size, as a 24-bit bitmap file.
    // False, with errorString() set, when there is no frame or the write fails.
    bool WriteStillBitmap(const QString& path);
    QString errorString() const { return m_error; }

    // The current source (null only when not even the test pattern could be made).
    VideoSource* source() const { return m_source.get(); }
    const SourceCatalog& catalog() const { return *m_catalog; }
    // The identity of the source in use (SourceChoice::id).
    QString sourceId() const { return m_sourceId; }
    // True while the remembered camera is not plugged in.
    bool waitingForCamera() const { return m_waiting; }

    // Switches to the source `id`, opens it when the live display is on and
    // remembers the choice. False (the current source stays) when the id is
    // unknown or the source cannot be opened.
    bool selectSource(const QString& id);
    // Sets the frame size of the current source and remembers it for this camera.
    bool selectFrameSize(const QSize& size);
    // Sets one control of the current source and keeps the value for this
    // camera; false when the source refuses it.
    bool setSourceControl(quint32 id, int value);
    // Every control back to the driver's default; the kept values are forgotten.
    bool resetSourceControls();

    // Every ~2 s: opens the remembered camera once it is present, follows a
    // lost one to a new node, and leaves the test pattern for the first
    // camera while nothing has been chosen. Tests call checkSource() directly.
    QTimer* watchTimer() const { return m_watch; }
    void checkSource();

    // Where a picture of the given size is drawn in `area`: as large as fits
    // with its shape kept, centred (bars above and below, or at the sides).
    static QRect pictureRect(const QSize& picture, const QRect& area);

    // The time the caption shows (the wall clock); tests give their own.
    void setClock(std::function<std::time_t()> clock);

    // Runs a dialog modally; tests replace it to drive the dialog without exec().
    using DialogRunner = std::function<void(QDialog&)>;
    void setDialogRunner(DialogRunner runner);

signals:
    // Around a change of source: before the old one is closed and freed,
    // and once the new one is in place.
    void sourceChanging();
    void sourceChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<VideoSource> makeSource(const QString& id) const;
    void adoptSource(std::unique_ptr<VideoSource> source, const QString& id, const QString& node);
    void waitFor(const QString& id);
    void rememberIdentity(const SourceChoice& found);
    bool switchTo(const SourceChoice& choice);
    void onSourceOpened();
    void restoreChoice();
    void onFrameReady();
    bool fail(const QString& why);

    std::unique_ptr<SourceCatalog> m_catalog;
    std::unique_ptr<VideoSource> m_source;
    QString m_sourceId;
    QString m_sourceNode;    // the node the source was made for; empty: test pattern, waiting
    bool m_chosen = false;   // false: the first-start default, never chosen
    bool m_waiting = false;
    DialogRunner m_runDialog;
    QTimer* m_watch = nullptr;
    NoticeSink m_notice;
    std::function<std::time_t()> m_clock;
    bool m_live = false;
    QImage m_frozen;              // shown while the live display is off
    QImage m_still;               // held by CaptureStill for WriteStillBitmap
    std::vector<uint8_t> m_bitmap; // reused file buffer of WriteStillBitmap
    QString m_error;
};
