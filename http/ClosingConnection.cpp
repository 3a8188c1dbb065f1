#include "http/ClosingConnection.h"

#include "http/SocketContext.h"

#include <QSocketNotifier>

ClosingConnection::ClosingConnection(SocketContext& context, int fd, OutputQueue output)
    : QObject(&context)
    , m_context(&context)
    , m_fd(fd)
    , m_output(std::move(output))
{
    m_context->added(this);
    m_stallTimer.setSingleShot(true);
    // The peer took nothing for too long: what is queued is dropped.
    connect(&m_stallTimer, &QTimer::timeout, this, &ClosingConnection::abandon);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &ClosingConnection::onWritable);
    m_stallTimer.start(m_context->stallTimeout());
}

ClosingConnection::~ClosingConnection()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    release();
    m_context->os().abort(fd);
}

void ClosingConnection::onWritable()
{
    bool progressed = false;
    switch (m_output.flush(m_context->os(), m_fd, &progressed, true)) {
    case OutputQueue::Flush::Done:
        handOver();
        return;
    case OutputQueue::Flush::Blocked:
        if (progressed) {
            m_lastProgress = std::chrono::steady_clock::now();
            m_stallTimer.start(m_context->stallTimeout());
        }
        return;
    case OutputQueue::Flush::Failed:
        abandon();
        return;
    }
}

void ClosingConnection::handOver()
{
    const int fd = m_fd;
    release();
    m_context->closeAnswered(fd);
    deleteLater();
}

void ClosingConnection::abandon()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    release();
    m_context->os().abort(fd);
    deleteLater();
}

void ClosingConnection::release()
{
    m_writeNotifier->setEnabled(false);
    m_stallTimer.stop();
    m_fd = -1;
    m_output.clear();
    m_context->removed(this);
}
