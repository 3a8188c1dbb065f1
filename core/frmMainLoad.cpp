#include "core/frmMain.h"

#include "capture/CaptureControl.h"
#include "core/LoadSequence.h"
#include "core/Settings.h"
#include "shell/MessageBox.h"
#include "shell/PictureBox.h"

#include <QLabel>
#include <QTimer>

void frmMain::Show()
{
    Form_Load();
    show();
}

void frmMain::Form_Load()
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
    m.quality = UsableQuality(m.quality);
    m.rate = UsableRate(m.rate);

    if (m.keepTb == QLatin1String("0")) {
        timeTb->stop();
        picTb->hide();
    }
    picTb->setToolTip(ThumbnailStatus::ThumbnailTip(m.keepTb));
    time->start(SnapshotInterval(m.rate));
    m.tbSeconds = 0;

    cam->setLiveDisplay(true);
    cam->setVisible(true);

    lblQuality->setText(QualityRateControl::QualityCaption(m.quality));
    lblRate->setText(QualityRateControl::RateCaption(m.rate));

    // A snapshot file exists before the first viewer can ask for it.
    TakeSnapshot();

    m.lastSlot = 0;
    m.maxSlots = 100;
    const float clock = m_env.clock ? m_env.clock() : SecondsSinceMidnight();
    m.My_PORT = m.cfgPort > 0 ? m.cfgPort : ClockPort(clock);
    m.portTries = 0;
    const int16_t slotCount = m.maxSlots;
    for (int i = 1; i <= slotCount; ++i)
        webServer.Load(i);
    StartServer();
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    time->stop();
    timeTb->stop();
    sliTimer->stop();
    WriteSettings(m.TempPath, m.quality, m.rate, m.keepTb, m.cfgPort);
    m_env.endProgram();
}

void frmMain::StartServer()
{
    m_server->StartServer();
}

void frmMain::TakeSnapshot()
{
    m_snapshot->TakeSnapshot();
}

void frmMain::setServerCaption(const QString& caption)
{
    sb2->setText(caption);
    sb2->repaint();
}

void frmMain::showServerWarning(const QString& text)
{
    ShowMessage(QMessageBox::Warning, text);
}
