// Soak run of the whole program: a real main window over a temporary web
// root, the test pattern at 1920 x 1080, five snapshots a second, its server
// on a fixed free port. wrk loads the snapshot at 50 connections
// ("Connection: close") while load_client, a separate process, fetches
// and validates every answer. Counts snapshot cycles and reads the resident
// memory every 5 s from the first thumbnail on. Every check that fails
// makes the exit status non-zero. Traffic goes to 127.0.0.1 only.
//   soak [--minutes M | --quick] [--port P]

#include "CycleHarness.h"
#include "StressSupport.h"

#include "capture/control/CaptureControl.h"
#include "core/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using stress::cpuSeconds;
using stress::residentKb;

constexpr int kRate = 5;
constexpr double kCycleTolerance = 0.03; // cycles per second within 3 % of the rate
constexpr double kRssTolerance = 0.05;   // the last third's peak within 5 % of the first third's
constexpr int kRssEverySeconds = 5;
constexpr int kGraceSeconds = 60;        // for the load processes to report after the run

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

double captured(const QString& text, const QString& pattern)
{
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

// Runs the event loop until `done` holds or the time is up.
void runUntil(const std::function<bool()>& done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

struct Report {
    int failed = 0;
    void check(bool ok, const char* what)
    {
        std::printf("  %-58s %s\n", what, ok ? "ok" : "FAILED");
        failed += ok ? 0 : 1;
    }
};

} // namespace

int main(int argc, char** argv)
{
    stress::useOffscreenPlatform();
    QApplication app(argc, argv);

    int minutes = 10;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick")
            minutes = 2;
        else if (arg == "--minutes" && i + 1 < argc)
            minutes = std::atoi(argv[++i]);
        else if (arg == "--port" && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--minutes M | --quick] [--port P]\n", argv[0]);
            return 2;
        }
    }
    if (minutes < 2 || minutes > 120) {
        std::fprintf(stderr, "minutes must be 2 to 120\n");
        return 2;
    }
    const int seconds = minutes * 60;
    // From after the first thumbnail (made a minute after the start): the
    // full-size decode it needs, about 8 MB at 1080p, is now and then kept
    // by the allocator and now and then given back, so single samples swing
    // by that much. A leak shows as the peak of the last third of the run
    // rising above the peak of the first third.
    const int firstSampleSeconds = 75;

    stress::ScratchRoot dir;
    if (port <= 0)
        port = stress::freePort();
    if (!dir.isValid() || port <= 0 || port > 32767
        || !writeFile(dir.filePath(QStringLiteral("root/player.html")), "<html>player</html>\n")
        || !writeFile(dir.filePath(QStringLiteral("root/error.htm")), "<html>error</html>\n")
        || !writeFile(dir.filePath(QStringLiteral("Settings.ini")),
                      "75\r\n" + QByteArray::number(kRate) + "\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n")) {
        std::fprintf(stderr, "cannot prepare a temporary web root and port\n");
        return 1;
    }

    frmMain::Environment env;
    env.tempPath = dir.path();
    env.catalog = createTestPatternCatalog();
    env.endProgram = [] {};
    frmMain window(std::move(env));
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.cam->selectFrameSize(QSize(1920, 1080));

    long cycles = 0;
    QObject::connect(window.time, &QTimer::timeout, [&cycles] { ++cycles; });
    window.loadAndShow();
    QElapsedTimer running;
    running.start();
    const double cpuStart = cpuSeconds();
    if (window.sb2->text() != QLatin1String("Server: ON")) {
        std::fprintf(stderr, "the server did not start on port %d\n", port);
        return 1;
    }
    std::printf("soak: %d min, 1920 x 1080 test pattern, rate %d, port %d, wrk 50 connections + validating client\n",
                minutes, kRate, port);
    std::fflush(stdout);

    const QString url = QStringLiteral("http://127.0.0.1:%1/images/VelmarixCamImage.jpg").arg(port);
    QProcess wrk;
    wrk.setProcessChannelMode(QProcess::MergedChannels);
    wrk.start(QStringLiteral("wrk"), {QStringLiteral("-t1"), QStringLiteral("-c50"),
                                      QStringLiteral("-d%1s").arg(seconds), QStringLiteral("--timeout"),
                                      QStringLiteral("10s"), QStringLiteral("-H"), QStringLiteral("Connection: close"),
                                      url});
    QProcess client;
    client.start(QCoreApplication::applicationDirPath() + QStringLiteral("/load_client"),
                 {QStringLiteral("--port"), QString::number(port), QStringLiteral("--seconds"),
                  QString::number(seconds)});
    if (!wrk.waitForStarted(5000) || !client.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start wrk or load_client\n");
        return 1;
    }

    std::vector<long> rss;
    QTimer rssTimer;
    QObject::connect(&rssTimer, &QTimer::timeout, [&] { rss.push_back(residentKb()); });
    QTimer::singleShot(firstSampleSeconds * 1000, [&] {
        rss.push_back(residentKb());
        rssTimer.start(kRssEverySeconds * 1000);
    });
    bool over = false;
    QTimer::singleShot(seconds * 1000, [&] { over = true; });
    runUntil([&] { return over; }, (seconds + kGraceSeconds) * 1000);
    const double elapsed = double(running.elapsed()) / 1000.0;
    const long cyclesDone = cycles + 1; // the one the load sequence takes
    rssTimer.stop();
    rss.push_back(residentKb());
    const double cpu = cpuSeconds() - cpuStart;

    // The server keeps serving while the load processes finish and report.
    runUntil([&] { return wrk.state() == QProcess::NotRunning && client.state() == QProcess::NotRunning; },
             kGraceSeconds * 1000);
    if (wrk.state() != QProcess::NotRunning)
        wrk.kill();
    if (client.state() != QProcess::NotRunning)
        client.kill();
    wrk.waitForFinished(5000);
    client.waitForFinished(5000);
    const QString wrkText = QString::fromLocal8Bit(wrk.readAll());
    const QString clientText = QString::fromLocal8Bit(client.readAllStandardOutput());
    const QString clientErrors = QString::fromLocal8Bit(client.readAllStandardError());

    const double requestsPerSecond = captured(wrkText, QStringLiteral("Requests/sec:\\s+([0-9.]+)"));
    const double requests = captured(wrkText, QStringLiteral("([0-9]+) requests in"));
    const double non2xx = std::max(0.0, captured(wrkText, QStringLiteral("Non-2xx or 3xx responses: ([0-9]+)")));
    const QRegularExpressionMatch errors = QRegularExpression(
        QStringLiteral("Socket errors: connect ([0-9]+), read ([0-9]+), write ([0-9]+), timeout ([0-9]+)")).match(wrkText);
    const long socketErrors = errors.hasMatch() ? errors.captured(1).toLong() + errors.captured(2).toLong()
                                                      + errors.captured(3).toLong() + errors.captured(4).toLong()
                                                : 0;
    const double validated = captured(clientText, QStringLiteral("validated ([0-9]+)"));
    const double failures = captured(clientText, QStringLiteral("failures ([0-9]+)"));
    const double clientMeanMs = captured(clientText, QStringLiteral("mean_ms ([0-9.]+)"));
    const double clientMaxMs = captured(clientText, QStringLiteral("max_ms ([0-9.]+)"));
    const double cyclesPerSecond = double(cyclesDone) / elapsed;
    const size_t third = rss.size() / 3;
    const long rssFirst = third > 0 ? *std::max_element(rss.begin(), rss.begin() + third) : 0;
    const long rssEnd = third > 0 ? *std::max_element(rss.end() - third, rss.end()) : 0;
    const double rssGrowth = rssFirst > 0 ? double(rssEnd - rssFirst) / double(rssFirst) : 1.0;

    std::printf("wrk: %.0f requests, %.0f requests/s, non-2xx %.0f, socket errors %ld%s%s\n", requests,
                requestsPerSecond, non2xx, socketErrors, errors.hasMatch() ? " (" : "",
                errors.hasMatch() ? (errors.captured(0) + QStringLiteral(")")).toLocal8Bit().constData() : "");
    std::printf("validating client: %.0f validated, %.0f failures, mean %.1f ms, max %.1f ms per fetch and check\n",
                validated, failures, clientMeanMs, clientMaxMs);
    if (!clientErrors.isEmpty())
        std::printf("%s", clientErrors.toLocal8Bit().constData());
    std::printf("snapshot cycles: %ld in %.1f s = %.3f per second (rate %d)\n", cyclesDone, elapsed, cyclesPerSecond,
                kRate);
    std::printf("resident memory (%zu samples from %d s on): peak %ld kB in the first third, %ld kB in the last "
                "(%+.2f %%); lowest %ld kB, highest %ld kB\n",
                rss.size(), firstSampleSeconds, rssFirst, rssEnd, rssGrowth * 100,
                rss.empty() ? 0 : *std::min_element(rss.begin(), rss.end()),
                rss.empty() ? 0 : *std::max_element(rss.begin(), rss.end()));
    std::printf("program CPU: %.1f s in %.1f s = %.0f %% of one core\n", cpu, elapsed, 100 * cpu / elapsed);

    Report report;
    report.check(requestsPerSecond > 0, "wrk ran and reported");
    report.check(non2xx == 0 && socketErrors == 0, "wrk: every answer a 200, no socket errors");
    report.check(validated > 0 && failures == 0, "client: every answer complete, a 1920 x 1080 JPEG");
    report.check(std::abs(cyclesPerSecond - kRate) <= kRate * kCycleTolerance, "cycles per second within 3 % of 5");
    report.check(rssFirst > 0 && rssGrowth <= kRssTolerance, "memory peak of the last third within 5 % of the first");
    window.close();
    return report.failed == 0 ? 0 : 1;
}
