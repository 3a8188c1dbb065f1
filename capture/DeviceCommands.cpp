#include "capture/DeviceCommands.h"

#include "capture/control/CaptureControl.h"

#include <QLabel>

DeviceCommands::DeviceCommands(CaptureControl& cam, QLabel& lblVideoInOut)
    : m_cam(cam), m_lblVideoInOut(lblVideoInOut)
{
}

void DeviceCommands::videoFormat()
{
    m_cam.OpenFormatDialog();
}

void DeviceCommands::videoSource()
{
    m_cam.OpenSourceDialog();
}

void DeviceCommands::videoInOut()
{
    // With the control hidden, the video area shows the last JPEG exactly as
    // viewers receive it.
    if (m_lblVideoInOut.text() == QLatin1String("Video Out")) {
        m_cam.setLiveDisplay(false);
        m_cam.setVisible(false);
        m_lblVideoInOut.setText(QStringLiteral("Video In"));
        m_lblVideoInOut.setToolTip(QStringLiteral("Show Video In"));
    } else {
        m_cam.setLiveDisplay(true);
        m_cam.setVisible(true);
        m_lblVideoInOut.setText(QStringLiteral("Video Out"));
        m_lblVideoInOut.setToolTip(QStringLiteral("Show Video Out"));
    }
}
