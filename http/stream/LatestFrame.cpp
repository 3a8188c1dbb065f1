#include "http/stream/LatestFrame.h"

void LatestFrame::publish(const QByteArray& jpeg)
{
    if (jpeg.isEmpty())
        return;
    m_jpeg = jpeg;
    ++m_sequence;
    emit published();
}
