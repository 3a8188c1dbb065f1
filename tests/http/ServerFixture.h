#pragma once

#include "SocketFakes.h"
#include "support/EventLoop.h"
#include "support/Loopback.h"
#include "support/Ports.h"
#include "support/WebRoot.h"

#include "core/state/MainState.h"
#include "http/HttpServer.h"
#include "http/TcpSocketArray.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

class RecordingView : public ServerStatusView {
public:
    void setServerCaption(const QString& caption) override { captions << caption; }
    void showServerWarning(const QString& text) override { warnings << text; }
    QStringList captions;
    QStringList warnings;
};

// A loaded server as the main window sets it up: state, 100 slots, events
// routed, nothing listening until start().
class ServerFixture : public testing::Test {
protected:
    void SetUp() override
    {
        state.TempPath = web.tempPath();
        state.maxSlots = 100;
        webServer = std::make_unique<TcpSocketArray>(os);
        for (int i = 1; i <= state.maxSlots; ++i)
            webServer->load(i);
        server = std::make_unique<HttpServer>(state, *webServer, view);
    }

    void start(int16_t port, int16_t configured = 0, bool routeEvents = true)
    {
        state.My_PORT = port;
        state.cfgPort = configured;
        if (routeEvents)
            server->connectEvents();
        server->StartServer();
    }

    QByteArray fetch(const QByteArray& request)
    {
        LoopbackClient client(state.My_PORT);
        if (!client.send(request))
            return "send failed";
        return client.readAll();
    }

    WebRootDir web;
    FaultySocketOs os;
    MainState state;
    RecordingView view;
    std::unique_ptr<TcpSocketArray> webServer;
    std::unique_ptr<HttpServer> server;
};
