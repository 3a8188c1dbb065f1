#pragma once

#include "capture/DeviceCommands.h"
#include "capture/LiveFeed.h"
#include "capture/QualityRateControl.h"
#include "capture/SnapshotCycle.h"
#include "capture/StreamEncoder.h"
#include "capture/source/SourceCatalog.h"
#include "capture/ThumbnailStatus.h"
#include "core/state/MainState.h"
#include "http/HttpServer.h"
#include "http/ServerStatusView.h"
#include "http/TcpSocketArray.h"
#include "http/stream/LatestFrame.h"
#include "http/stream/StreamServer.h"
#include "http/stream/ViewerCount.h"
#include "shell/chrome/SkinnedWindow.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class CaptureControl;
struct PictureOptions;
class PictureBox;
class QLabel;
class QTimer;

// The main window: owner of all run-time state (the record `m`), of the
// capture control, the three timers, the status bar and the socket array
// that carries the HTTP server. loadAndShow() runs the load sequence; closing it
// writes Settings.ini and ends the program.
class frmMain : public SkinnedWindow, private ServerStatusView {
    Q_OBJECT
public:
    // What differs between the program and its tests; every field has the
    // program's value when left empty.
    struct Environment {
        QString tempPath;                          // the executable's directory
        std::function<float()> clock;              // seconds since midnight
        std::unique_ptr<SourceCatalog> catalog;    // the machine's cameras and the test pattern
        std::function<void()> endProgram;          // QCoreApplication::quit
        // Where the server's warning goes instead of a message box (a run
        // without a window has nobody to press OK).
        std::function<void(const QString&)> serverWarning;
        std::optional<int> streamPort;             // MJPEG port; unset: from the configuration, 0: none
        std::optional<int> streamFps;              // most stream frames a second; unset: from the configuration
        // Where both listeners bind (numeric IPv4 or IPv6); empty: [Server]
        // Bind from the configuration; still empty: every interface.
        QString bindAddress;
        std::optional<int> port;                   // web port of this run; unset: Settings.ini, else the clock's
        // This run's picture flags, put over [Picture] again at each reload.
        std::function<void(PictureOptions&)> pictureFlags;
    };

    explicit frmMain(Environment environment = {});
    ~frmMain() override;

    // Loads the window (once) and shows it.
    void loadAndShow();
    void load();
    // Writes the settings and ends the program; runs once, however the window closes.
    void unload();

    void StartServer();
    // One whole cycle, done when it returns; the `time` ticks start theirs
    // and leave it to finish from the event loop.
    void TakeSnapshot();
    // Finishes the cycle a tick started, if one runs.
    void waitForSnapshot();

    // The address viewers type, as the tooltip of sb2 and the About window
    // show it; a click on sb2 copies it to the clipboard.
    QString viewerAddress() const;
    // Opens the stream port when one is configured; a port that cannot be
    // bound leaves the stream off and says so on stderr.
    void startStream();
    // The address both listeners bind, as the environment or the
    // configuration gives it; empty: every interface, IPv4 and IPv6.
    QString bindAddress() const;
    // Re-reads Talvex.conf and applies what can change while running: the
    // stream's viewer limit, and its port or bind address by restarting the
    // stream listener. Returns one line per change applied.
    QStringList reloadConfiguration();
    StreamServer& streamServer() { return *m_stream; }
    HttpServer& httpServer() { return *m_server; }
    LatestFrame& latestFrame() { return m_latestFrame; }
    StreamEncoder& streamEncoder() { return *m_encoder; }
    // Distinct addresses on the web port in the last 10 s plus open streams.
    int viewerCount();

    const MainState& state() const { return m; }
    MainState& state() { return m; }

    // The controls; other windows and the tests reach them by these names.
    PictureBox* pic = nullptr;
    CaptureControl* cam = nullptr;
    PictureBox* picTb = nullptr;
    QTimer* time = nullptr;
    QTimer* timeTb = nullptr;
    QTimer* sliTimer = nullptr;
    QLabel* lblQuality = nullptr;
    QLabel* lblRate = nullptr;
    PictureBox* qualityDown = nullptr;
    PictureBox* qualityUp = nullptr;
    PictureBox* rateDown = nullptr;
    PictureBox* rateUp = nullptr;
    PictureBox* arrowUp = nullptr;
    PictureBox* arrowDown = nullptr;
    QLabel* sb1 = nullptr;
    QLabel* sb2 = nullptr;
    QLabel* sb3 = nullptr;
    PictureBox* btnVideoInOut = nullptr;
    QLabel* lblVideoInOut = nullptr;
    PictureBox* btnVideoSource = nullptr;
    QLabel* lblVideoSource = nullptr;
    PictureBox* btnVideoFormat = nullptr;
    QLabel* lblVideoFormat = nullptr;
    PictureBox* btnOpenChat = nullptr;
    QLabel* lblOpenChat = nullptr;
    PictureBox* btnPush = nullptr;
    PictureBox* btnClose = nullptr;
    PictureBox* btnClosePush = nullptr;
    PictureBox* btnCloseNormal = nullptr;
    PictureBox* btnMin = nullptr;
    PictureBox* btnMinPush = nullptr;
    PictureBox* btnMinNormal = nullptr;
    TcpSocketArray webServer;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls(std::unique_ptr<SourceCatalog> catalog);
    void createButtons();
    QLabel* addTextButton(PictureBox*& face, const QPoint& position, const QString& caption,
                          const QString& tip);

    // The address the listener at index has just accepted.
    void recordViewer(int index);
    // The stream encoder follows the stream's clients, the current source
    // and the arrows' quality.
    void connectStreamEncoder();
    void applyStreamSettings();
    void setServerCaption(const QString& caption) override;
    void showServerWarning(const QString& text) override;

    MainState m;
    Environment m_env;
    // [Server] Bind as last read, so that a reload sees a change.
    QString m_configuredBind = configuredBind();
    static QString configuredBind();
    bool m_loaded = false;
    bool m_unloaded = false;
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<SnapshotCycle> m_snapshot;
    std::unique_ptr<QualityRateControl> m_qualityRate;
    std::unique_ptr<ThumbnailStatus> m_thumbnail;
    std::unique_ptr<DeviceCommands> m_device;
    LatestFrame m_latestFrame;
    ViewerCount m_viewers;
    // Declared before the stream server, so it outlives the server's last
    // word on its clients when the window goes.
    std::unique_ptr<StreamEncoder> m_encoder;
    std::unique_ptr<StreamServer> m_stream;
    std::unique_ptr<LiveFeed> m_liveFeed;
};
