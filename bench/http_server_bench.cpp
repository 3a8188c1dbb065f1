// Serves <dir>/root/ on <port> with the program's own HTTP server classes,
// on the same event dispatcher the program uses, until killed. Used by
// http_vs_nginx.sh as the server under load.
#include "core/state/MainState.h"
#include "http/HttpServer.h"
#include "http/TcpSocketArray.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>

namespace {
class ConsoleView : public ServerStatusView {
public:
    void setServerCaption(const QString& caption) override
    {
        std::printf("%s\n", qPrintable(caption));
        std::fflush(stdout);
    }
    void showServerWarning(const QString& text) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
};
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <directory holding root/> <port>\n", argv[0]);
        return 2;
    }
    setenv("QT_NO_GLIB", "1", 1);
    QCoreApplication app(argc, argv);

    MainState state;
    state.TempPath = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    state.My_PORT = static_cast<int16_t>(std::atoi(argv[2]));
    state.cfgPort = state.My_PORT; // exactly this port, no walking to others
    state.maxSlots = 100;

    TcpSocketArray webServer;
    for (int i = 1; i <= state.maxSlots; ++i)
        webServer.load(i);
    ConsoleView view;
    HttpServer server(state, webServer, view);
    server.connectEvents();
    server.StartServer();
    if (!webServer[0].isListening())
        return 1;
    return app.exec();
}
