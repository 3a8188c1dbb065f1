#include "capture/QualityRateControl.h"

#include "capture/SnapshotTimer.h"

#include <QLabel>
#include <QTimer>

QualityRateControl::QualityRateControl(MainState& state, QTimer& time, QTimer& sliTimer,
                                       QLabel& lblQuality, QLabel& lblRate)
    : m_state(state), m_time(time), m_sliTimer(sliTimer), m_lblQuality(lblQuality), m_lblRate(lblRate)
{
}

QString QualityRateControl::qualityCaption(int16_t quality)
{
    return QStringLiteral("Video Quality %1%").arg(quality);
}

QString QualityRateControl::rateCaption(int16_t rate)
{
    return QStringLiteral("Frames Rate %1/s").arg(rate);
}

void QualityRateControl::press(const QString& name, bool up)
{
    m_state.sliName = name;
    m_state.sliUp = up;
    m_sliTimer.start();
}

void QualityRateControl::release()
{
    m_sliTimer.stop();
}

void QualityRateControl::tick()
{
    if (m_state.sliName == QLatin1String("quality"))
        StepQuality();
    else if (m_state.sliName == QLatin1String("rate"))
        StepRate();
}

void QualityRateControl::StepQuality()
{
    // Only the limits are checked, so a value from the settings that is not a
    // multiple of 5 keeps its remainder (88 steps up to 93 and stops).
    if (m_state.sliUp) {
        if (m_state.quality < 90)
            m_state.quality = int16_t(m_state.quality + 5);
    } else if (m_state.quality > 10) {
        m_state.quality = int16_t(m_state.quality - 5);
    }
    m_lblQuality.setText(qualityCaption(m_state.quality));
    m_lblQuality.repaint();
}

void QualityRateControl::StepRate()
{
    if (m_state.sliUp) {
        if (m_state.rate < 5)
            m_state.rate = int16_t(m_state.rate + 1);
    } else if (m_state.rate > 1) {
        m_state.rate = int16_t(m_state.rate - 1);
    }
    // A new interval restarts the snapshot timer's period at once.
    setSnapshotTimer(m_time, m_state.rate);
    m_lblRate.setText(rateCaption(m_state.rate));
    m_lblRate.repaint();
}
