#include "http/stream/LatestFrame.h"

#include <QDateTime>

void LatestFrame::publish(const QByteArray& jpeg, qint64 captureTimeUs)
{
    if (jpeg.isEmpty())
        return;
    m_jpeg = jpeg;
    m_captureTimeUs = captureTimeUs > 0 ? captureTimeUs : QDateTime::currentMSecsSinceEpoch() * 1000;
    ++m_sequence;
    emit published();
}
