// Driver for memory checks of the snapshot cycle: runs the whole cycle of
// the main window (still, bitmap file, picture, JPEG file, JPEG load, data
// rate) a given number of times from the test pattern, and prints the time
// per cycle and the resident memory after the warm-up and at the end. Meant
// to run under valgrind (memcheck.sh) and natively for the RSS figures.
//   memcheck_cycle [--cycles N] [--width W --height H] [--rss-check]

#include "CycleHarness.h"
#include "StressSupport.h"

#include "capture/control/CaptureControl.h"
#include "capture/SnapshotCycle.h"
#include "shell/chrome/PictureBox.h"

#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr double kRssTolerance = 0.05;

using Window = stress::CycleWindow;

} // namespace

int main(int argc, char** argv)
{
    stress::useOffscreenPlatform();
    QApplication app(argc, argv);
    long cycles = 10000;
    QSize size(320, 240);
    bool rssCheck = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cycles" && i + 1 < argc)
            cycles = std::atol(argv[++i]);
        else if (arg == "--width" && i + 1 < argc)
            size.setWidth(std::atoi(argv[++i]));
        else if (arg == "--height" && i + 1 < argc)
            size.setHeight(std::atoi(argv[++i]));
        else if (arg == "--rss-check")
            rssCheck = true;
        else {
            std::fprintf(stderr, "usage: %s [--cycles N] [--width W --height H] [--rss-check]\n", argv[0]);
            return 2;
        }
    }
    if (cycles < 10 || cycles > 10000000) {
        std::fprintf(stderr, "cycles must be 10 to 10000000\n");
        return 2;
    }

    stress::ScratchRoot dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary web root\n");
        return 1;
    }

    Window window(dir.path(), size);
    if (window.cam->source()->frameSize() != size) {
        std::fprintf(stderr, "the test pattern does not offer %d x %d\n", size.width(), size.height());
        return 1;
    }
    const long warmUp = std::max(10L, cycles / 10);
    long rssWarm = 0;
    const auto start = stress::Clock::now();
    for (long i = 0; i < cycles; ++i) {
        window.cycle->TakeSnapshot();
        QCoreApplication::processEvents();
        if (i + 1 == warmUp)
            rssWarm = stress::residentKb();
    }
    const double ms = stress::msSince(start);
    const long rssEnd = stress::residentKb();
    const double growth = rssWarm > 0 ? double(rssEnd - rssWarm) / double(rssWarm) : 1.0;

    const QImage snapshot(dir.filePath(QStringLiteral("root/images/VelmarixCamImage.jpg")));
    const bool written = snapshot.size() == size;
    const bool noBitmapLeft = !QFile::exists(dir.filePath(QStringLiteral("VelmarixCamImage.bmp")));
    const bool captured = window.sb1.text() != QLatin1String("Check video...");
    std::printf("snapshot cycle %d x %d: %ld cycles in %.1f s (%.3f ms each); resident %ld kB after %ld cycles, "
                "%ld kB at the end (%+.2f %%)\n",
                size.width(), size.height(), cycles, ms / 1000, ms / double(cycles), rssWarm, warmUp, rssEnd,
                growth * 100);
    const bool rssOk = !rssCheck || growth <= kRssTolerance;
    if (!written || !noBitmapLeft || !captured || !rssOk)
        std::printf("FAILED:%s%s%s%s\n", written ? "" : " no snapshot of the frame size",
                    noBitmapLeft ? "" : " bitmap left behind", captured ? "" : " a capture failed",
                    rssOk ? "" : " resident memory grew by more than 5 %");
    return written && noBitmapLeft && captured && rssOk ? 0 : 1;
}
