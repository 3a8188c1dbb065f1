#include "capture/control/CaptureControl.h"

#include "image/BitmapWriter.h"
#include "image/PictureApply.h"
#include "image/PictureTransform.h"
#include "capture/control/CameraSettings.h"
#include "capture/control/CaptureSettings.h"
#include "capture/control/FormatDialog.h"
#include "capture/control/SourceDialog.h"
#include "capture/control/WaitingSource.h"
#include "capture/source/TestPatternSource.h"

#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

// As often as a lost camera's own reopen: the same ~2 s for a camera that
// was never there at start.
constexpr int kWatchIntervalMs = 2000;

void printNotice(const QString& line)
{
    std::fprintf(stderr, "Talvex: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

CaptureControl::CaptureControl(std::unique_ptr<SourceCatalog> catalog, QWidget* parent, NoticeSink notice)
    : QWidget(parent)
    , m_catalog(std::move(catalog))
    , m_runDialog([](QDialog& dialog) { dialog.exec(); })
    , m_watch(new QTimer(this))
    , m_notice(notice ? std::move(notice) : NoticeSink(printNotice))
    , m_clock([] { return std::time(nullptr); })
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Live video"));
    setAccessibleDescription(tr("The picture of the video source"));
    resize(320, 240);
    m_watch->setInterval(kWatchIntervalMs);
    connect(m_watch, &QTimer::timeout, this, &CaptureControl::checkSource);
    m_watch->start();
    restoreChoice();
}

CaptureControl::~CaptureControl()
{
    if (m_source)
        m_source->close();
}

void CaptureControl::restoreChoice()
{
    const QString remembered = CaptureSettings::sourceId();
    m_chosen = !remembered.isEmpty();
    if (!m_chosen) {
        // Nothing chosen yet: the first camera, else the test pattern until one comes.
        const QString first = m_catalog->defaultId();
        switchTo(m_catalog->find(first).value_or(SourceChoice{first, {}, {}}));
        if (!m_source)
            adoptSource(std::make_unique<TestPatternSource>(), TestPatternSource::sourceId(), {});
        return;
    }
    const std::optional<SourceChoice> found = m_catalog->find(remembered);
    if (!found) {
        // Never another camera in its place: the picture would be the wrong one.
        waitFor(remembered);
        return;
    }
    rememberIdentity(*found);
    if (!switchTo(*found))
        waitFor(remembered);
}

void CaptureControl::rememberIdentity(const SourceChoice& found)
{
    // An old configuration's node becomes the camera's identity.
    const QString remembered = CaptureSettings::sourceId();
    if (found.node == remembered && found.id != remembered)
        CaptureSettings::setSourceId(found.id);
}

void CaptureControl::waitFor(const QString& id)
{
    const QString kept = CameraSettings::name(id);
    const QString name = kept.isEmpty() ? id : kept;
    adoptSource(std::make_unique<WaitingSource>(id, name, CameraSettings::frameSize(id)), id, {});
    m_waiting = true;
    m_notice(tr("camera %1 not present, waiting").arg(name));
}

std::unique_ptr<VideoSource> CaptureControl::makeSource(const QString& id) const
{
    std::unique_ptr<VideoSource> source = m_catalog->create(id);
    if (!source)
        return nullptr;
    const QSize size = CameraSettings::frameSize(id);
    if (size.isValid())
        source->setFrameSize(size); // a size this source lacks keeps its default
    return source;
}

bool CaptureControl::switchTo(const SourceChoice& choice)
{
    std::unique_ptr<VideoSource> source = makeSource(choice.id);
    if (!source)
        return false;
    if (!choice.node.isEmpty() && !choice.name.isEmpty())
        CameraSettings::setName(choice.id, choice.name);
    adoptSource(std::move(source), choice.id, choice.node);
    return true;
}

void CaptureControl::adoptSource(std::unique_ptr<VideoSource> source, const QString& id, const QString& node)
{
    // Readers of the old source's frames on other threads let go first.
    emit sourceChanging();
    if (m_source)
        m_source->close();
    m_source = std::move(source);
    m_sourceId = id;
    m_sourceNode = node;
    m_waiting = false;
    m_still = QImage();
    m_frozen = QImage();
    connect(m_source.get(), &VideoSource::frameReady, this, &CaptureControl::onFrameReady);
    connect(m_source.get(), &VideoSource::opened, this, &CaptureControl::onSourceOpened);
    update();
    emit sourceChanged();
}

void CaptureControl::onSourceOpened()
{
    if (!m_source)
        return;
    if (!m_sourceNode.isEmpty()) {
        const std::optional<SourceChoice> found = m_catalog->find(m_sourceId);
        if (!found || found->node != m_sourceNode) {
            // Another camera took the node while ours was away (no udev
            // link to tell them apart): neither its picture nor our settings.
            // Replaced later: the source is still inside its own open().
            QTimer::singleShot(0, this, [this, opened = QPointer<VideoSource>(m_source.get()), found] {
                if (m_source.get() != opened.data())
                    return;
                if (found && switchTo(*found))
                    m_source->open();
                else
                    waitFor(m_sourceId);
            });
            return;
        }
    }
    const QString name = CameraSettings::name(m_sourceId);
    applySavedControls(*m_source, m_sourceId, name.isEmpty() ? m_source->displayName() : name, m_notice);
}

void CaptureControl::checkSource()
{
    if (!m_source)
        return;
    const bool waiting = m_waiting;
    std::optional<SourceChoice> found;
    if (waiting) {
        found = m_catalog->find(m_sourceId);
    } else if (!m_chosen && m_sourceId == TestPatternSource::sourceId()) {
        // Nothing chosen: the test pattern stands in only while no camera exists.
        if (const QString first = m_catalog->defaultId(); first != m_sourceId)
            found = m_catalog->find(first);
    } else if (!m_source->isOpen() && m_live && !m_sourceNode.isEmpty()) {
        // A lost camera that came back on another node (video0 -> video2).
        found = m_catalog->find(m_sourceId);
        if (found && found->node == m_sourceNode)
            found.reset(); // same node: the source's own reopen takes it
    }
    if (!found || !switchTo(*found))
        return;
    if (waiting) {
        rememberIdentity(*found);
        m_notice(tr("camera %1 found at %2").arg(found->name, found->node));
    }
    if (m_live)
        m_source->open();
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

void CaptureControl::setClock(std::function<std::time_t()> clock)
{
    m_clock = std::move(clock);
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
    // The live picture shows what the snapshot will: turned, mirrored, captioned.
    const std::shared_ptr<const PictureOptions> options = pictureSlot().options();
    const QImage frame = applyPicture(
        m_live && m_source ? m_source->previewFrame(turnedSize(size(), *options)) : m_frozen, *options,
        m_clock());
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

TakenStill CaptureControl::takeStill()
{
    TakenStill still;
    if (!m_source) {
        still.error = tr("No video source");
        return still;
    }
    if (!m_source->isOpen() && !m_source->open()) {
        still.error = tr("%1 cannot be opened").arg(m_source->displayName());
        return still;
    }
    still.sourceName = m_source->displayName();
    still.frame = m_source->takeStill(&still.error);
    if (still.frame.isNull()) {
        if (still.error.isEmpty())
            still.error = tr("No frame from %1").arg(still.sourceName);
        return still;
    }
    still.error.clear();
    still.options = pictureSlot().options();
    still.time = m_clock();
    return still;
}

QImage TakenStill::develop(QString* why) const
{
    QString reason = error;
    QImage picture;
    if (!frame.isNull()) {
        picture = frame.develop(&reason);
        if (picture.isNull() && reason.isEmpty())
            reason = CaptureControl::tr("No frame from %1").arg(sourceName);
    }
    if (picture.isNull()) {
        if (why)
            *why = reason;
        return {};
    }
    return applyPicture(std::move(picture), *options, time);
}

bool CaptureControl::CaptureStill()
{
    m_still = QImage();
    const TakenStill still = takeStill();
    QString why;
    QImage picture = still.develop(&why);
    if (picture.isNull())
        return fail(why);
    m_still = std::move(picture);
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
    if (m_source && m_sourceId == id) {
        // Picking the source already in use still makes it the remembered one.
        CaptureSettings::setSourceId(id);
        m_chosen = true;
        return true;
    }
    const std::optional<SourceChoice> found = m_catalog->find(id);
    std::unique_ptr<VideoSource> source = found ? makeSource(found->id) : nullptr;
    if (!source)
        return fail(tr("Unknown video source %1").arg(id));
    if (m_live && !source->open())
        return fail(tr("%1 cannot be opened").arg(source->displayName()));
    if (!found->node.isEmpty())
        CameraSettings::setName(found->id, found->name);
    adoptSource(std::move(source), found->id, found->node);
    // Opened before it was ours, its opened() went nowhere: its kept controls now.
    if (m_source->isOpen())
        onSourceOpened();
    CaptureSettings::setSourceId(found->id);
    m_chosen = true;
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
    CameraSettings::setFrameSize(m_sourceId, size);
    m_error.clear();
    update();
    return true;
}

bool CaptureControl::setSourceControl(quint32 id, int value)
{
    if (!m_source || !m_source->setControl(id, value))
        return false;
    CameraSettings::setControl(m_sourceId, id, value);
    return true;
}

bool CaptureControl::resetSourceControls()
{
    return m_source && resetControls(*m_source, m_sourceId);
}
