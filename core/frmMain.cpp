#include "core/frmMain.h"

#include "capture/LiveView.h"
#include "capture/control/CaptureControl.h"
#include "capture/v4l2/SystemSourceCatalog.h"
#include "shell/chrome/ClickAction.h"
#include "shell/chrome/PictureBox.h"
#include "shell/chrome/PushImageButton.h"
#include "shell/chrome/Skin.h"
#include "shell/chrome/frmAbout.h"

#include <QCloseEvent>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QTimer>

frmMain::frmMain(Environment environment)
    : SkinnedWindow(Skin::mainBackground(), QStringLiteral("Talvex")), m_env(std::move(environment))
{
    if (m_env.tempPath.isEmpty())
        m_env.tempPath = QCoreApplication::applicationDirPath();
    if (!m_env.endProgram)
        m_env.endProgram = [] { QCoreApplication::quit(); };
    setDraggable(true);
    setAttribute(Qt::WA_DeleteOnClose);

    createControls(m_env.catalog ? std::move(m_env.catalog) : createSystemSourceCatalog());
    createButtons();

    m_server = std::make_unique<HttpServer>(m, webServer, static_cast<ServerStatusView&>(*this));
    m_snapshot = std::make_unique<SnapshotCycle>(m, *cam, *pic, *sb1, *sb3, *timeTb);
    m_qualityRate = std::make_unique<QualityRateControl>(m, *time, *sliTimer, *lblQuality, *lblRate);
    m_thumbnail = std::make_unique<ThumbnailStatus>(m, *pic, *picTb, *sb1);
    m_device = std::make_unique<DeviceCommands>(*cam, *lblVideoInOut);
    m_stream = std::make_unique<StreamServer>(m_latestFrame);
    m_encoder = std::make_unique<StreamEncoder>(m_latestFrame);
    connectStreamEncoder();
    m_liveFeed = std::make_unique<LiveFeed>(m, m_latestFrame, *sb3, [this] { return viewerCount(); });
    m_snapshot->setLiveFeed(m_liveFeed.get());
    // The page learns from status.json where the stream is; monitors ask
    // the stream port how fresh the picture is.
    m_liveFeed->setStreamPort([this] { return m_stream->isListening() ? int{m_stream->port()} : 0; });
    m_stream->setHealth([this] { return m_liveFeed->health(); });
    // Viewers get the new snapshot from memory at once, without a read.
    m_snapshot->setSnapshotWritten([this](const QString& path, const QByteArray& jpeg) {
        m_server->fileCache().prime(QFile::encodeName(path), jpeg);
    });

    // The cycle's heavy half runs off this thread; a tick while it runs is skipped.
    connect(time, &QTimer::timeout, this, [this] { m_snapshot->startSnapshot(); });
    connect(timeTb, &QTimer::timeout, this, [this] { m_thumbnail->tick(); });
    connect(sliTimer, &QTimer::timeout, this, [this] { m_qualityRate->tick(); });
    connect(picTb, &PictureBox::clicked, this, [this] { m_thumbnail->clickThumbnail(); });

    // Seen before the server takes the connection: it may answer and close
    // it within the same event.
    connect(&webServer, &TcpSocketArray::ConnectionRequest, this, [this](int index, int) { recordViewer(index); });
    m_server->connectEvents();
}

frmMain::~frmMain()
{
    // Its window part while everything it touches is still there.
    m_snapshot->waitForCycle();
}

QLabel* frmMain::addTextButton(PictureBox*& face, const QPoint& position, const QString& caption,
                               const QString& tip)
{
    face = addFace(position, false);
    QLabel* label = addLabel(face->geometry(), Qt::AlignCenter, caption);
    label->setToolTip(tip);
    return label;
}

void frmMain::createControls(std::unique_ptr<SourceCatalog> catalog)
{
    using namespace Skin::MainLayout;
    pic = addPicture(videoArea, QImage());
    cam = new CaptureControl(std::move(catalog), pic);
    cam->setGeometry(0, 0, 320, 240);
    picTb = new PictureBox(pic);
    picTb->setGeometry(thumbnail);
    picTb->setAccessibleName(QStringLiteral("Preview snapshot"));
    picTb->raise();  // drawn above the capture control
    new LiveViewOpener(*cam, *pic);  // a double click on the video area opens the big view

    // `time` stays silent until the load sequence gives it an interval.
    time = new QTimer(this);
    timeTb = new QTimer(this);
    timeTb->setInterval(1000);
    timeTb->start();
    sliTimer = new QTimer(this);
    sliTimer->setInterval(300);
    sliTimer->start();

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    lblQuality = addLabel(qualityLabel, left, QStringLiteral("Video Quality"));
    lblRate = addLabel(rateLabel, left, QStringLiteral("Frames Rate"));
    sb1 = addLabel(statusLabels[0], left, QStringLiteral("Ready"));
    sb2 = addLabel(statusLabels[1], left, QStringLiteral("Server:"));
    sb3 = addLabel(statusLabels[2], left, QStringLiteral("KB/s"));
    new ClickAction(sb2, [this] {
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(viewerAddress());
    });
}

void frmMain::createButtons()
{
    // Hidden sources of the faces the buttons copy on press and release.
    btnPush = addPicture({0, 0, 81, 21}, Skin::textFace(true), false);
    btnClosePush = addPicture({0, 0, 23, 22}, Skin::closeFace(true), false);
    btnCloseNormal = addPicture({0, 0, 23, 22}, Skin::closeFace(false), false);
    btnMinPush = addPicture({0, 0, 22, 22}, Skin::minFace(true), false);
    btnMinNormal = addPicture({0, 0, 22, 22}, Skin::minFace(false), false);
    arrowUp = addPicture({0, 0, 23, 15}, Skin::arrowFace(true, true), false);
    arrowDown = addPicture({0, 0, 23, 15}, Skin::arrowFace(false, true), false);

    using namespace Skin::MainLayout;
    btnMin = addPicture(minButton, Skin::minFace(false));
    btnClose = addPicture(closeButton, Skin::closeFace(false));
    btnMin->setAccessibleName(QStringLiteral("Minimise"));
    btnClose->setAccessibleName(QStringLiteral("Close"));

    const QSize arrow(23, 15);
    qualityDown = addPicture(QRect(qualityArrows, arrow), Skin::arrowFace(false, false));
    qualityUp = addPicture(QRect(qualityArrows + QPoint(23, 0), arrow), Skin::arrowFace(true, false));
    rateDown = addPicture(QRect(rateArrows, arrow), Skin::arrowFace(false, false));
    rateUp = addPicture(QRect(rateArrows + QPoint(23, 0), arrow), Skin::arrowFace(true, false));
    const struct {
        PictureBox* box;
        const char* tip;
    } arrows[] = {{qualityDown, "Down Video Quality"}, {qualityUp, "Up Video Quality"},
                  {rateDown, "Down Frames Rate"}, {rateUp, "Up Frames Rate"}};
    for (const auto& arrow : arrows) {
        arrow.box->setToolTip(QString::fromLatin1(arrow.tip));
        arrow.box->setAccessibleName(QString::fromLatin1(arrow.tip));
    }

    lblVideoInOut = addTextButton(btnVideoInOut, videoInOutFace, QStringLiteral("Video Out"), QStringLiteral("Show Video Out"));
    lblVideoSource = addTextButton(btnVideoSource, videoSourceFace, QStringLiteral("Video Source"), QStringLiteral("Set Video Source"));
    lblOpenChat = addTextButton(btnOpenChat, aboutFace, QStringLiteral("About"), QStringLiteral("About Talvex"));
    lblVideoFormat = addTextButton(btnVideoFormat, videoFormatFace, QStringLiteral("Video Format"), QStringLiteral("Set Video Format"));

    // Each text button restores its face from a sibling that is at rest.
    auto* about = new PushImageButton(lblOpenChat, btnOpenChat, btnPush, btnVideoInOut);
    about->setReleaseAction([this] { frmAbout::showOne(m, this); });
    auto* format = new PushImageButton(lblVideoFormat, btnVideoFormat, btnPush, btnVideoSource);
    format->setReleaseAction([this] { m_device->videoFormat(); });
    auto* source = new PushImageButton(lblVideoSource, btnVideoSource, btnPush, btnVideoFormat);
    source->setReleaseAction([this] { m_device->videoSource(); });
    auto* inOut = new PushImageButton(lblVideoInOut, btnVideoInOut, btnPush, btnOpenChat);
    inOut->setReleaseAction([this] { m_device->videoInOut(); });

    auto* close = new PushImageButton(btnClose, btnClose, btnClosePush, btnCloseNormal);
    close->setReleaseAction([this] { this->close(); });
    auto* minimise = new PushImageButton(btnMin, btnMin, btnMinPush, btnMinNormal);
    minimise->setReleaseAction([this] { showMinimized(); });

    // An arrow restores its face from the arrow of the same direction on the
    // other setting, which is at rest while this one is held.
    const struct {
        PictureBox* box;
        PictureBox* pressed;
        PictureBox* normal;
        const char* name;
        bool up;
    } steps[] = {{qualityUp, arrowUp, rateUp, "quality", true},
                 {qualityDown, arrowDown, rateDown, "quality", false},
                 {rateUp, arrowUp, qualityUp, "rate", true},
                 {rateDown, arrowDown, qualityDown, "rate", false}};
    for (const auto& step : steps) {
        auto* button = new PushImageButton(step.box, step.box, step.pressed, step.normal);
        const QString name = QString::fromLatin1(step.name);
        const bool up = step.up;
        button->setPressAction([this, name, up] { m_qualityRate->press(name, up); });
        button->setReleaseAction([this] { m_qualityRate->release(); });
        // A key press steps at once; holding the key repeats through the timer.
        button->setKeyPressAction([this] { m_qualityRate->tick(); });
    }

    // Tab runs through the settings, the commands, then the title bar.
    QWidget* const order[] = {qualityDown, qualityUp, rateDown, rateUp, lblVideoInOut, lblVideoSource,
                              lblOpenChat, lblVideoFormat, btnMin, btnClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}
