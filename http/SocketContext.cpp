#include "http/SocketContext.h"

#include "http/ClosingConnection.h"

SocketContext::SocketContext(SocketOs& os, QObject* parent)
    : QObject(parent)
    , m_os(os)
{
}

SocketContext::~SocketContext()
{
    // Deleted here rather than by QObject, while the counters they update
    // still exist.
    qDeleteAll(findChildren<ClosingConnection*>(Qt::FindDirectChildrenOnly));
    // Children still finishing are deleted with the context and close their
    // descriptors; nothing announced but untaken may stay open either.
    for (int fd : m_pending)
        m_os.close(fd);
}

void SocketContext::finishInBackground(int fd, OutputQueue output, bool drainInput)
{
    new ClosingConnection(*this, fd, std::move(output), drainInput);
}
