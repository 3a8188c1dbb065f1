#include "capture/control/CaptureControl.h"

#include "image/BitmapWriter.h"
#include "capture/control/CaptureSettings.h"
#include "capture/control/FormatDialog.h"
#include "capture/control/SourceDialog.h"
#include "capture/source/TestPatternSource.h"

#include <QPainter>

CaptureControl::CaptureControl(std::unique_ptr<SourceCatalog> catalog, QWidget* parent)
    : QWidget(parent)
    , m_catalog(std::move(catalog))
    , m_runDialog([](QDialog& dialog) { dialog.exec(); })
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Live video"));
    setAccessibleDescription(tr("The picture of the video source"));
    resize(320, 240);
    restoreChoice();
}

CaptureControl::~CaptureControl()
{
    if (m_source)
        m_source->close();
}

void CaptureControl::restoreChoice()
{
    // A remembered device that is gone now (unplugged, renumbered) gives way
    // to the first-start choice rather than leaving the control without video.
    QString id = CaptureSettings::sourceId();
    if (id.isEmpty() || !m_catalog->offers(id))
        id = m_catalog->defaultId();
    std::unique_ptr<VideoSource> source = m_catalog->create(id);
    if (!source)
        source = std::make_unique<TestPatternSource>();
    const QSize size = CaptureSettings::frameSize();
    if (size.isValid())
        source->setFrameSize(size); // a size this source lacks keeps its default
    adoptSource(std::move(source));
}

void CaptureControl::adoptSource(std::unique_ptr<VideoSource> source)
{
    // Readers of the old source's frames on other threads let go first.
    emit sourceChanging();
    if (m_source)
        m_source->close();
    m_source = std::move(source);
    m_still = QImage();
    m_frozen = QImage();
    connect(m_source.get(), &VideoSource::frameReady, this, &CaptureControl::onFrameReady);
    update();
    emit sourceChanged();
}

void CaptureControl::OpenFormatDialog()
{
    if (!m_source)
        return;
    FormatDialog dialog(*this, window());
    m_runDialog(dialog);
}

void CaptureControl::OpenSourceDialog()
{
    SourceDialog dialog(*this, window());
    m_runDialog(dialog);
}

void CaptureControl::setDialogRunner(DialogRunner runner)
{
    m_runDialog = std::move(runner);
}

void CaptureControl::setLiveDisplay(bool on)
{
    if (on && m_source && !m_source->isOpen())
        m_source->open(); // a device that came back starts showing again
    if (on == m_live)
        return;
    m_live = on;
    if (!on && m_source)
        m_frozen = m_source->latestFrame();
    update();
}

void CaptureControl::onFrameReady()
{
    // Painting scales only the 320 x 240 that is shown, so a full-HD source
    // costs little; update() folds a burst of frames into one paint.
    if (m_live && isVisible())
        update();
}

QRect CaptureControl::pictureRect(const QSize& picture, const QRect& area)
{
    if (picture.isEmpty() || area.isEmpty())
        return {};
    const QSize fitted = picture.scaled(area.size(), Qt::KeepAspectRatio);
    const QPoint corner(area.x() + (area.width() - fitted.width()) / 2,
                        area.y() + (area.height() - fitted.height()) / 2);
    return QRect(corner, fitted);
}

void CaptureControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QImage frame = m_live && m_source ? m_source->previewFrame(size()) : m_frozen;
    const QRect shown = pictureRect(frame.size(), rect());
    // Black bars where the picture's shape leaves the area uncovered.
    if (shown != rect())
        painter.fillRect(rect(), Qt::black);
    if (!frame.isNull() && !shown.isEmpty())
        painter.drawImage(shown, frame);
}

bool CaptureControl::fail(const QString& why)
{
    m_error = why;
    return false;
}

bool CaptureControl::CaptureStill()
{
    m_still = QImage();
    if (!m_source)
        return fail(tr("No video source"));
    if (!m_source->isOpen() && !m_source->open())
        return fail(tr("%1 cannot be opened").arg(m_source->displayName()));
    QString why;
    QImage frame = m_source->grabStill(&why);
    if (frame.isNull())
        return fail(why.isEmpty() ? tr("No frame from %1").arg(m_source->displayName()) : why);
    m_still = std::move(frame);
    m_error.clear();
    return true;
}

bool CaptureControl::WriteStillBitmap(const QString& path)
{
    if (m_still.isNull())
        return fail(tr("No still has been taken"));
    QString why;
    if (!writeBitmapFile(m_still, path, m_bitmap, &why))
        return fail(why);
    m_error.clear();
    return true;
}

bool CaptureControl::selectSource(const QString& id)
{
    if (m_source && m_source->id() == id) {
        // Picking the source already in use still makes it the remembered one.
        CaptureSettings::setSourceId(id);
        return true;
    }
    std::unique_ptr<VideoSource> source = m_catalog->create(id);
    if (!source)
        return fail(tr("Unknown video source %1").arg(id));
    const QSize size = CaptureSettings::frameSize();
    if (size.isValid())
        source->setFrameSize(size);
    if (m_live && !source->open())
        return fail(tr("%1 cannot be opened").arg(source->displayName()));
    adoptSource(std::move(source));
    CaptureSettings::setSourceId(id);
    m_error.clear();
    return true;
}

bool CaptureControl::selectFrameSize(const QSize& size)
{
    if (!m_source)
        return fail(tr("No video source"));
    if (!m_source->setFrameSize(size))
        return fail(tr("%1 cannot deliver %2 x %3")
                        .arg(m_source->displayName())
                        .arg(size.width())
                        .arg(size.height()));
    m_still = QImage();
    CaptureSettings::setFrameSize(size);
    m_error.clear();
    update();
    return true;
}
