#include "core/frmMain.h"

#include "capture/SnapshotTimer.h"
#include "capture/control/CaptureControl.h"
#include "core/StartValues.h"
#include "core/Settings.h"
#include "core/state/UserConfig.h"
#include "core/state/ViewerAddress.h"
#include "shell/chrome/MessageBox.h"
#include "shell/chrome/PictureBox.h"

#include <QLabel>
#include <QTimer>

void frmMain::loadAndShow()
{
    load();
    show();
}

void frmMain::load()
{
    if (m_loaded)
        return;
    m_loaded = true;

    m.TempPath = m_env.tempPath;
    m.imageName = QStringLiteral("VelmarixCamImage");
    m.imageNameTb = QStringLiteral("VelmarixCamImage_tb");
    ReadSettings(m.TempPath, m.quality, m.rate, m.keepTb, m.cfgPort);
    // A missing or damaged file leaves 0, which neither the timer nor the
    // encoder can use; anything else stands as it was stored.
    m.quality = usableQuality(m.quality);
    m.rate = usableRate(m.rate);

    if (m.keepTb == QLatin1String("0")) {
        timeTb->stop();
        picTb->hide();
    }
    picTb->setToolTip(ThumbnailStatus::thumbnailTip(m.keepTb));
    setSnapshotTimer(*time, m.rate);
    m.tbSeconds = 0;

    cam->setLiveDisplay(true);
    cam->setVisible(true);

    lblQuality->setText(QualityRateControl::qualityCaption(m.quality));
    lblRate->setText(QualityRateControl::rateCaption(m.rate));

    // A snapshot file exists before the first viewer can ask for it.
    TakeSnapshot();

    m.lastSlot = 0;
    m.maxSlots = 100;
    const float clock = m_env.clock ? m_env.clock() : secondsSinceMidnight();
    m.My_PORT = m_env.port ? static_cast<int16_t>(*m_env.port) : m.cfgPort > 0 ? m.cfgPort : clockPort(clock);
    // A port given for this run is meant as given, like a fixed one in
    // Settings.ini: no walking on to the next ports.
    m.portTries = m_env.port ? 5 : 0;
    const int16_t slotCount = m.maxSlots;
    for (int i = 1; i <= slotCount; ++i)
        webServer.load(i);
    webServer[0].setBindAddress(bindAddress());
    StartServer();
    startStream();
}

void frmMain::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    time->stop();
    timeTb->stop();
    sliTimer->stop();
    // The running cycle ends before the settings it used are written.
    m_snapshot->waitForCycle();
    WriteSettings(m.TempPath, m.quality, m.rate, m.keepTb, m.cfgPort);
    m_env.endProgram();
}

QString frmMain::bindAddress() const
{
    return m_env.bindAddress.isEmpty() ? configuredBind() : m_env.bindAddress;
}

void frmMain::StartServer()
{
    m_server->StartServer();
}

void frmMain::TakeSnapshot()
{
    m_snapshot->TakeSnapshot();
}

void frmMain::waitForSnapshot()
{
    m_snapshot->waitForCycle();
}

QString frmMain::viewerAddress() const
{
    return ::viewerAddress(m);
}

void frmMain::setServerCaption(const QString& caption)
{
    sb2->setText(caption);
    // Set after every start, so it follows the port retries.
    sb2->setToolTip(caption == QLatin1String("Server: ON")
                        ? viewerAddress()
                        : QStringLiteral("Not serving: port %1 could not be opened").arg(m.My_PORT));
    sb2->repaint();
}

void frmMain::showServerWarning(const QString& text)
{
    if (m_env.serverWarning)
        return m_env.serverWarning(text);
    showMessage(QMessageBox::Warning, text);
}
