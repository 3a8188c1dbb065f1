#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class CaptureControl;
class PictureBox;
class VideoSource;

// A resizable "Live view" window showing what the video area shows: the
// camera's live frames while the capture control is shown (Video Out), the
// last JPEG as viewers get it while it is hidden (Video In). The picture
// keeps its shape and is never drawn larger than it is, except in full
// screen (F11 or a double click toggles it; Escape leaves it). It redraws on
// a refresh tick at the screen's rate, and only when a new picture came,
// so it draws at most at the refresh rate and never more often than frames
// arrive. The window deletes itself on close; nothing else changes.
class LiveView : public QWidget {
    Q_OBJECT
public:
    LiveView(CaptureControl& cam, PictureBox& pic, QWidget* parent = nullptr);

    // What the video area shows now; null when there is nothing yet.
    QImage currentPicture() const;
    // The picture drawn (the one taken at the last refresh that found a new one).
    const QImage& shownPicture() const { return m_shown; }
    // Where a picture of `picture` size goes in `area`: shape kept, centred,
    // enlarged only when `fill` is set.
    static QRect drawRect(const QSize& picture, const QRect& area, bool fill);
    // One refresh tick: takes a new picture when one came and repaints.
    void refresh();
    int redraws() const { return m_redraws; }
    bool refreshing() const { return m_tick.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void toggleFullScreen();
    void watch(VideoSource* source);

    CaptureControl& m_cam;
    PictureBox& m_pic;
    QTimer m_tick;
    QPointer<VideoSource> m_watched;
    bool m_frameCame = true;
    bool m_live = false;
    qint64 m_jpegKey = 0;
    QImage m_shown;
    int m_redraws = 0;
};

// Opens the live view on a double click in the video area (on the picture
// or the capture control over it); a second double click brings the open
// view to the front. Lives as a child of the video area and closes the view
// with it.
class LiveViewOpener : public QObject {
    Q_OBJECT
public:
    LiveViewOpener(CaptureControl& cam, PictureBox& pic);
    ~LiveViewOpener() override;

    LiveView* view() const { return m_view; }
    LiveView* open();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CaptureControl& m_cam;
    PictureBox& m_pic;
    QPointer<LiveView> m_view;
};
