#include "core/frmMain.h"

#include "capture/control/CaptureControl.h"
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

void frmMain::connectStreamEncoder()
{
    const auto followSource = [this] {
        m_encoder->setFrameSlot(cam->source() ? cam->source()->frameSlot() : nullptr);
    };
    followSource();
    connect(cam, &CaptureControl::sourceChanging, this, [this] { m_encoder->setFrameSlot(nullptr); });
    connect(cam, &CaptureControl::sourceChanged, this, followSource);
    connect(m_stream.get(), &StreamServer::streamClientsChanged, this, [this](int count) {
        m_encoder->setQuality(m.quality);
        m_encoder->setClients(count);
    });
    // Each published frame brings the arrows' latest quality to the encoder,
    // so a change applies from the next frame on.
    connect(&m_latestFrame, &LatestFrame::published, this, [this] { m_encoder->setQuality(m.quality); });
    applyStreamSettings();
}

void frmMain::applyStreamSettings()
{
    m_encoder->setMaxFps(m_env.streamFps ? *m_env.streamFps : StreamSettings::maxFps());
    m_encoder->setPassthrough(StreamSettings::passthrough());
}

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
