#include "http/ClosingConnection.h"

#include "http/SocketContext.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

namespace {
// A peer that keeps sending after its answer is not waited for beyond this.
constexpr qsizetype kMaxDiscard = 256 * 1024;
constexpr std::chrono::milliseconds kMaxDrainWait{2000};
}

ClosingConnection::ClosingConnection(SocketContext& context, int fd, OutputQueue output,
                                     bool drainInput)
    : QObject(&context)
    , m_context(&context)
    , m_fd(fd)
    , m_output(std::move(output))
    , m_drainInput(drainInput)
{
    ++m_context->m_background;
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] { finish(true); });
    if (m_output.isEmpty()) {
        startDraining();
        return;
    }
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &ClosingConnection::onWritable);
    m_stallTimer.start(m_context->stallTimeout());
}

ClosingConnection::~ClosingConnection()
{
    closeDescriptor(true);
}

void ClosingConnection::onWritable()
{
    bool progressed = false;
    switch (m_output.flush(m_context->os(), m_fd, &progressed)) {
    case OutputQueue::Flush::Done:
        m_writeNotifier->setEnabled(false);
        startDraining();
        return;
    case OutputQueue::Flush::Blocked:
        if (progressed)
            m_stallTimer.start(m_context->stallTimeout());
        return;
    case OutputQueue::Flush::Failed:
        finish(true);
        return;
    }
}

void ClosingConnection::startDraining()
{
    if (!m_drainInput || m_context->os().shutdownWrite(m_fd) != 0) {
        finish(false);
        return;
    }
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &ClosingConnection::onReadable);
    m_stallTimer.start(std::min(m_context->stallTimeout(), kMaxDrainWait));
}

void ClosingConnection::onReadable()
{
    char scratch[4096];
    const ssize_t n = m_context->os().receive(m_fd, scratch, sizeof scratch);
    if (n == -EAGAIN || n == -EWOULDBLOCK || n == -EINTR)
        return;
    if (n <= 0) {
        finish(false);
        return;
    }
    m_discarded += n;
    if (m_discarded > kMaxDiscard)
        finish(true);
}

void ClosingConnection::finish(bool reset)
{
    if (m_fd < 0)
        return;
    closeDescriptor(reset);
    deleteLater();
}

void ClosingConnection::closeDescriptor(bool reset)
{
    if (m_fd < 0)
        return;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    m_stallTimer.stop();
    if (reset)
        m_context->os().abort(m_fd);
    else
        m_context->os().close(m_fd);
    m_fd = -1;
    m_output.clear();
    --m_context->m_background;
}
