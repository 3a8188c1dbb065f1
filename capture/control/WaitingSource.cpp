#include "capture/control/WaitingSource.h"

WaitingSource::WaitingSource(QString id, QString name, QSize size, QObject* parent)
    : VideoSource(parent), m_id(std::move(id)), m_name(std::move(name)), m_size(size)
{
}

QImage WaitingSource::grabStill(QString* error)
{
    if (error)
        *error = tr("Camera %1 not present").arg(m_name);
    return {};
}

bool WaitingSource::setFrameSize(const QSize& size)
{
    // Kept for the camera, which gets it when it comes.
    if (size.isEmpty())
        return false;
    m_size = size;
    return true;
}
