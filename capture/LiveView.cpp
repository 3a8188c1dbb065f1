#include "capture/LiveView.h"

#include "capture/control/CaptureControl.h"
#include "capture/source/VideoSource.h"
#include "image/PictureApply.h"
#include "shell/chrome/ChromeAccessible.h"
#include "shell/chrome/PictureBox.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

LiveView::LiveView(CaptureControl& cam, PictureBox& pic, QWidget* parent)
    : QWidget(parent, Qt::Window), m_cam(cam), m_pic(pic)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Live view"));
    markAsWindow(this);
    setMinimumSize(160, 120);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const double hz = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(std::max(1, int(std::lround(1000.0 / hz))));
    connect(&m_tick, &QTimer::timeout, this, &LiveView::refresh);

    // At the picture's own size, or smaller to fit on the screen.
    refresh();
    QSize size = m_shown.isNull() ? QSize(640, 480) : m_shown.size();
    if (screen)
        size = size.boundedTo(screen->availableGeometry().size() * 3 / 4);
    if (!m_shown.isNull())
        size = drawRect(m_shown.size(), QRect(QPoint(), size), false).size();
    resize(size.expandedTo(minimumSize()));
}

QImage LiveView::currentPicture() const
{
    if (m_cam.isHidden())
        return m_pic.picture();
    // The camera's frame as the snapshot will show it; the snapshot itself
    // (Video In) has had it done already.
    if (!m_cam.source())
        return {};
    return applyPicture(m_cam.source()->latestFrame(), *pictureSlot().options(), std::time(nullptr));
}

QRect LiveView::drawRect(const QSize& picture, const QRect& area, bool fill)
{
    if (picture.isEmpty() || area.isEmpty())
        return {};
    QRect rect = CaptureControl::pictureRect(picture, area);
    if (!fill && rect.width() > picture.width()) {
        rect = QRect(QPoint(), picture);
        rect.moveCenter(area.center());
    }
    return rect;
}

void LiveView::watch(VideoSource* source)
{
    if (m_watched == source)
        return;
    if (m_watched)
        disconnect(m_watched, &VideoSource::frameReady, this, nullptr);
    m_watched = source;
    if (source)
        connect(source, &VideoSource::frameReady, this, [this] { m_frameCame = true; });
    m_frameCame = true;
}

void LiveView::refresh()
{
    // Video In/Out may switch, and the source may change, at any time.
    const bool live = !m_cam.isHidden();
    if (live != m_live) {
        m_live = live;
        m_frameCame = true;
    }
    bool fresh = false;
    if (live) {
        watch(m_cam.source());
        fresh = m_frameCame;
    } else {
        watch(nullptr);
        const qint64 key = m_pic.picture().cacheKey();
        fresh = m_frameCame || key != m_jpegKey;
        m_jpegKey = key;
    }
    m_frameCame = false;
    if (!fresh)
        return;
    m_shown = currentPicture();
    ++m_redraws;
    update();
}

void LiveView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRect target = drawRect(m_shown.size(), rect(), isFullScreen());
    if (target.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_shown);
}

void LiveView::toggleFullScreen()
{
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

void LiveView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    toggleFullScreen();
}

void LiveView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F11) {
        toggleFullScreen();
    } else if (event->key() == Qt::Key_Escape && isFullScreen()) {
        showNormal();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LiveView::showEvent(QShowEvent* event)
{
    m_frameCame = true;
    m_tick.start();
    QWidget::showEvent(event);
}

void LiveView::hideEvent(QHideEvent* event)
{
    // Nothing runs while the view is not on screen.
    m_tick.stop();
    watch(nullptr);
    QWidget::hideEvent(event);
}

LiveViewOpener::LiveViewOpener(CaptureControl& cam, PictureBox& pic)
    : QObject(&pic), m_cam(cam), m_pic(pic)
{
    pic.installEventFilter(this);
    cam.installEventFilter(this);
}

LiveViewOpener::~LiveViewOpener()
{
    delete m_view.data();
}

LiveView* LiveViewOpener::open()
{
    if (!m_view) {
        m_view = new LiveView(m_cam, m_pic);
        m_view->show();
    }
    m_view->raise();
    m_view->activateWindow();
    return m_view;
}

bool LiveViewOpener::eventFilter(QObject*, QEvent* event)
{
    // Watched only: the press the double click also is goes on as before.
    if (event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        open();
    return false;
}
