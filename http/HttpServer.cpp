#include "http/HttpServer.h"

#include "http/RequestHandler.h"

#include <QFile>

namespace {
constexpr int16_t kMaxPortTries = 5;
}

HttpServer::HttpServer(MainState& state, TcpSocketArray& webServer, ServerStatusView& view)
    : m_state(state)
    , m_webServer(webServer)
    , m_view(view)
{
}

HttpServer::~HttpServer()
{
    for (const QMetaObject::Connection& connection : m_connections)
        QObject::disconnect(connection);
}

void HttpServer::connectEvents()
{
    if (!m_connections.empty())
        return;
    m_connections.push_back(QObject::connect(&m_webServer, &TcpSocketArray::ConnectionRequest, &m_webServer,
                                             [this](int index, int handle) { ConnectionRequest(index, handle); }));
    m_connections.push_back(QObject::connect(&m_webServer, &TcpSocketArray::SocketEnded, &m_webServer,
                                             [this](int index) { SocketEnded(index); }));
    m_connections.push_back(QObject::connect(&m_webServer, &TcpSocketArray::DataArrived, &m_webServer,
                                             [this](int index) { DataArrived(index); }));
}

bool HttpServer::listen()
{
    TcpSocketControl& listener = m_webServer[0];
    listener.CloseSocket();
    listener.setPortNumber(m_state.My_PORT);
    m_state.My_IP = listener.OwnAddress();
    return listener.StartListening();
}

void HttpServer::StartServer()
{
    // Each failed attempt retries the next port until the tries run out;
    // a configured port is never traded for another.
    while (!listen()) {
        if (m_state.portTries >= kMaxPortTries || m_state.cfgPort != 0) {
            m_view.setServerCaption(QStringLiteral("Server: OFF"));
            m_view.showServerWarning(QStringLiteral("Web Server cannot be start! Port ")
                                     + QString::number(m_webServer[0].PortNumber())
                                     + QStringLiteral(" may be in use by another application."));
            return;
        }
        // Wraps rather than overflows; a port below 1 then fails to bind.
        m_state.My_PORT = static_cast<int16_t>(m_state.My_PORT + 1);
        ++m_state.portTries;
    }
    m_view.setServerCaption(QStringLiteral("Server: ON"));
}

void HttpServer::ConnectionRequest(int /*index*/, int handle)
{
    const int slotCount = m_state.maxSlots - 1;
    if (slotCount < 1)
        return; // left untaken, the listener closes the connection
    const auto now = std::chrono::steady_clock::now();
    // A slot closed on the first pass is free on the second; a second pass
    // with nothing free means every slot holds a young connection.
    for (int step = 0; step < 2 * slotCount; ++step) {
        ++m_state.lastSlot;
        if (m_state.lastSlot >= m_state.maxSlots || m_state.lastSlot < 1)
            m_state.lastSlot = 1;
        TcpSocketControl* slot = m_webServer.element(m_state.lastSlot);
        if (!slot)
            return;
        if (!slot->HasConnection()) {
            slot->TakeConnection(handle);
            return;
        }
        // A connection that has only just come may not have sent its
        // request yet; dropping it would let a few hundred idle sockets
        // keep every viewer out.
        if (now - slot->connectedAt() < m_rotationGrace)
            continue;
        // Under a burst of connections the rotation can come round to a slot
        // whose request has arrived but whose read event is still queued:
        // answer it rather than throw it away. One still silent is dropped.
        slot->receiveWaiting();
        if (slot->HasConnection())
            slot->CloseSocket();
    }
    TcpSocketControl* victim = m_webServer.oldestSilent();
    if (!victim)
        victim = oldestHeld();
    if (!victim)
        return;
    victim->CloseSocket();
    m_state.lastSlot = victim->index();
    victim->TakeConnection(handle);
}

TcpSocketControl* HttpServer::oldestHeld() const
{
    TcpSocketControl* oldest = nullptr;
    for (int i = 1; i < m_state.maxSlots; ++i) {
        TcpSocketControl* slot = m_webServer.element(i);
        if (slot && slot->HasConnection() && (!oldest || slot->connectedAt() < oldest->connectedAt()))
            oldest = slot;
    }
    return oldest;
}

void HttpServer::SocketEnded(int index)
{
    if (TcpSocketControl* element = m_webServer.element(index))
        element->CloseSocket();
    if (index == 0) {
        m_state.portTries = kMaxPortTries;
        StartServer();
    }
}

const QByteArray& HttpServer::webRoot()
{
    if (m_webRoot.isEmpty() || m_webRootFor != m_state.TempPath) {
        m_webRootFor = m_state.TempPath;
        m_webRoot = QFile::encodeName(m_state.TempPath + QStringLiteral("/root/"));
    }
    return m_webRoot;
}

void HttpServer::DataArrived(int index)
{
    if (index < 1)
        return;
    if (TcpSocketControl* slot = m_webServer.element(index))
        handleRequest(*slot, webRoot(), m_cache);
}
