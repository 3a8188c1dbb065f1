#pragma once

#include "core/state/MainState.h"
#include "http/FileCache.h"
#include "http/ServerStatusView.h"
#include "http/TcpSocketArray.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <vector>

// The listener with its port retries, the rotation of connections over the
// slots, and the answer to each request. Works on the main window's state
// and socket array; the window forwards the array's events to the handlers
// of the same names. "state", "webServer" and "view" must outlive it.
class HttpServer {
public:
    HttpServer(MainState& state, TcpSocketArray& webServer, ServerStatusView& view);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds My_PORT on element 0; while it fails and retries are allowed,
    // tries the next ports. Shows "Server: ON", or "Server: OFF" and a warning.
    void StartServer();
    // Gives the connection the next slot in rotation over 1 .. maxSlots - 1.
    // A held slot is closed when the rotation comes round to it, unless its
    // connection is younger than the grace time: then it is passed over. When
    // every slot holds such a young connection, the oldest one that has sent
    // nothing (else the oldest) is closed for the new one.
    void ConnectionRequest(int index, int handle);
    // Closes the element; a lost listener is started again on its port.
    void SocketEnded(int index);
    // Answers the request waiting on a slot.
    void DataArrived(int index);

    // Routes the array's events to the handlers above, until the server is
    // destroyed. For users that have no window of their own to forward them.
    void connectEvents();

    void setRotationGrace(std::chrono::milliseconds grace) { m_rotationGrace = grace; }
    FileCache& fileCache() { return m_cache; }

private:
    bool listen();
    const QByteArray& webRoot();
    TcpSocketControl* oldestHeld() const;

    MainState& m_state;
    TcpSocketArray& m_webServer;
    ServerStatusView& m_view;
    QString m_webRootFor;
    QByteArray m_webRoot;
    FileCache m_cache;
    std::chrono::milliseconds m_rotationGrace{1000};
    std::vector<QMetaObject::Connection> m_connections;
};
