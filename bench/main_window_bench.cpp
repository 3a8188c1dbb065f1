// The program's main window, as the program shows it after "Open", over
// <dir> as its own directory: the 640 x 480 test pattern at five snapshots
// a second into <dir>/root/images/, its server on <port>. Runs until
// killed; a stand-in for the program itself until it can start without
// its start-up window. Writes <dir>/Settings.ini. Run it in an X server
// (Xvfb) or with QT_QPA_PLATFORM=offscreen.
//   main_window_bench <dir> <port> [width height]

#include "capture/control/CaptureControl.h"
#include "capture/source/TestPatternSource.h"
#include "core/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: %s <dir> <port> [width height]\n", argv[0]);
        return 2;
    }
    setenv("QT_NO_GLIB", "1", 1);
    QApplication app(argc, argv);
    // SIGTERM ends the event loop, so the program's own shutdown runs.
    std::signal(SIGTERM, [](int) { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });

    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int port = std::atoi(argv[2]);
    const QSize size = argc == 5 ? QSize(std::atoi(argv[3]), std::atoi(argv[4])) : QSize(640, 480);
    QDir(dir).mkpath(QStringLiteral("root/images"));
    QFile settings(dir + QStringLiteral("/Settings.ini"));
    if (!settings.open(QIODevice::WriteOnly)
        || settings.write("75\r\n5\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n") <= 0) {
        std::fprintf(stderr, "cannot write %s/Settings.ini\n", qPrintable(dir));
        return 1;
    }
    settings.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir + QStringLiteral("/config"));

    frmMain::Environment env;
    env.tempPath = dir;
    env.catalog = createTestPatternCatalog();
    env.endProgram = [] { QCoreApplication::quit(); };
    auto* window = new frmMain(std::move(env));
    window->cam->selectFrameSize(size);
    window->loadAndShow();
    if (window->sb2->text() != QLatin1String("Server: ON")) {
        std::fprintf(stderr, "the server did not start on port %d\n", port);
        return 1;
    }
    std::printf("Server: ON\n");
    std::fflush(stdout);
    const int code = app.exec();
    delete window;
    return code;
}
