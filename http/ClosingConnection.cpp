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
    m_context->added(this);
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &ClosingConnection::onTimeout);
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
    switch (m_output.flush(m_context->os(), m_fd, &progressed, true)) {
    case OutputQueue::Flush::Done:
        m_writeNotifier->setEnabled(false);
        startDraining();
        return;
    case OutputQueue::Flush::Blocked:
        if (progressed) {
            m_lastProgress = std::chrono::steady_clock::now();
            m_stallTimer.start(m_context->stallTimeout());
        }
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

void ClosingConnection::onTimeout()
{
    if (!m_readNotifier) {
        // The peer took nothing for too long: drop what is queued.
        finish(true);
        return;
    }
    // Everything was handed to the kernel; a peer that keeps its side open
    // is not waited for longer. With nothing unread the close is orderly and
    // the kernel still delivers what it holds.
    discardInput();
    if (m_fd >= 0)
        finish(false);
}

void ClosingConnection::onReadable()
{
    discardInput();
}

void ClosingConnection::discardInput()
{
    char scratch[4096];
    while (m_discarded <= kMaxDiscard) {
        const ssize_t n = m_context->os().receive(m_fd, scratch, sizeof scratch);
        if (n == -EINTR)
            continue;
        if (n == -EAGAIN || n == -EWOULDBLOCK)
            return;
        if (n <= 0) {
            finish(false);
            return;
        }
        m_discarded += n;
    }
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
    m_context->removed(this);
}
