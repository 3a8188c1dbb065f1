#pragma once

#include "capture/source/SourceCatalog.h"
#include "capture/source/VideoSource.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QDialog;

// The capture control `cam`: a 320 x 240 area inside the video area that
// shows the moving camera picture, takes stills and writes them as bitmap
// files, and opens the source and format dialogs. It owns the current video
// source and remembers the user's choice of source and frame size.
class CaptureControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool LiveDisplay READ liveDisplay WRITE setLiveDisplay)
public:
    // `catalog` decides which sources exist (the program passes the
    // machine's devices and the test pattern; tests pass their own).
    explicit CaptureControl(std::unique_ptr<SourceCatalog> catalog, QWidget* parent = nullptr);
    ~CaptureControl() override;

    // Shows the "Video Format" dialog; the size chosen there is used for later stills.
    void OpenFormatDialog();
    // Shows the "Video Source" dialog: the source and its controls.
    void OpenSourceDialog();

    // True: the area follows the source's frames; false: the picture stands
    // still. Switching on again when already on changes nothing.
    void setLiveDisplay(bool on);
    bool liveDisplay() const { return m_live; }

    // Takes the newest frame and holds it for WriteStillBitmap. False, with
    // errorString() set, when no frame can be had.
    bool CaptureStill();
    // Writes the held frame, at its own size, as a 24-bit bitmap file.
    // False, with errorString() set, when there is no frame or the write fails.
    bool WriteStillBitmap(const QString& path);
    QString errorString() const { return m_error; }

    // The current source (null only when not even the test pattern could be made).
    VideoSource* source() const { return m_source.get(); }
    const SourceCatalog& catalog() const { return *m_catalog; }

    // Switches to the source `id`, opens it when the live display is on and
    // remembers the choice. False (the current source stays) when the id is
    // unknown or the source cannot be opened.
    bool selectSource(const QString& id);
    // Sets the frame size of the current source and remembers it.
    bool selectFrameSize(const QSize& size);

    // Where a picture of the given size is drawn in `area`: as large as fits
    // with its shape kept, centred (bars above and below, or at the sides).
    static QRect pictureRect(const QSize& picture, const QRect& area);

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
    void adoptSource(std::unique_ptr<VideoSource> source);
    void restoreChoice();
    void onFrameReady();
    bool fail(const QString& why);

    std::unique_ptr<SourceCatalog> m_catalog;
    std::unique_ptr<VideoSource> m_source;
    DialogRunner m_runDialog;
    bool m_live = false;
    QImage m_frozen;              // shown while the live display is off
    QImage m_still;               // held by CaptureStill for WriteStillBitmap
    std::vector<uint8_t> m_bitmap; // reused file buffer of WriteStillBitmap
    QString m_error;
};
