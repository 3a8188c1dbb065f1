#include "core/frmMain.h"

#include "http/stream/StreamSettings.h"

#include <QtGlobal>

#include <chrono>
#include <cstring>

namespace {

int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void frmMain::startStream()
{
    const int port = m_env.streamPort ? *m_env.streamPort : StreamSettings::port();
    if (port <= 0 || port > 65535)
        return;
    StreamServer::Limits limits;
    limits.maxClients = StreamSettings::maxClients();
    m_stream->setLimits(limits);
    const QString address = bindAddress();
    if (const int error = m_stream->listen(static_cast<uint16_t>(port), address))
        qWarning("Talvex: the stream cannot use port %d%s%s: %s", port, address.isEmpty() ? "" : " at ",
                 qPrintable(address), std::strerror(error));
}

void frmMain::recordViewer(int index)
{
    if (const TcpSocketControl* listener = webServer.element(index))
        m_viewers.record(listener->acceptedPeer(), steadyMs());
}

int frmMain::viewerCount()
{
    return m_viewers.recent(steadyMs()) + m_stream->streamClients();
}
