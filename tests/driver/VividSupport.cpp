#include "VividSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

const ColourBar kColourBars[8] = {
    {"white", QColor(191, 191, 191)}, {"yellow", QColor(191, 191, 0)}, {"cyan", QColor(0, 191, 191)},
    {"green", QColor(0, 191, 0)},     {"magenta", QColor(191, 0, 191)}, {"red", QColor(191, 0, 0)},
    {"blue", QColor(0, 0, 191)},      {"black", QColor(0, 0, 0)},
};

int nodeIoctl(const QString& node, unsigned long request, void* argument)
{
    const int fd = ::open(QFile::encodeName(node).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int result = ::ioctl(fd, request, argument);
    ::close(fd);
    return result;
}

bool pressVividButton(VividButton button)
{
    v4l2_control control{quint32(button), 1};
    return nodeIoctl(kVividNode, VIDIOC_S_CTRL, &control) == 0;
}

void unplugVivid()
{
    const QByteArray node = QFile::encodeName(kVividNode);
    const int control = ::open(node.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(control, 0);
    ASSERT_EQ(::unlink(node.constData()), 0);
    v4l2_control disconnect{quint32(VividButton::Disconnect), 1};
    const bool pressed = ::ioctl(control, VIDIOC_S_CTRL, &disconnect) == 0;
    ::close(control);
    ASSERT_TRUE(pressed);
}

bool runModprobe(const char* variable, const QString& extra, const QString& node)
{
    const char* command = std::getenv(variable);
    if (!command || std::system((QByteArray(command) + ' ' + extra.toLocal8Bit()).constData()) != 0)
        return false;
    return waitFor([&] { return node.isEmpty() || QFile::exists(node); }, 5000);
}

bool reloadVivid(const QString& extra, const QString& node)
{
    const bool unloaded = runModprobe("TALVEX_VIVID_UNLOAD", {}, {});
    return runModprobe("TALVEX_VIVID_LOAD", extra, node) && unloaded;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

namespace {

QColor meanAround(const QImage& frame, int cx, int cy)
{
    int sum[3] = {0, 0, 0};
    int count = 0;
    for (int y = cy - 2; y <= cy + 2; ++y)
        for (int x = cx - 2; x <= cx + 2; ++x) {
            const QColor pixel = frame.pixelColor(x, y);
            sum[0] += pixel.red();
            sum[1] += pixel.green();
            sum[2] += pixel.blue();
            ++count;
        }
    return QColor(sum[0] / count, sum[1] / count, sum[2] / count);
}

QColor barColour(const QImage& frame, int bar)
{
    // Below the text vivid draws in the top rows.
    return meanAround(frame, (2 * bar + 1) * frame.width() / 16, frame.height() * 3 / 4);
}

} // namespace

QString wrongBars(const QImage& frame, int tolerance)
{
    if (frame.isNull())
        return QStringLiteral("no frame");
    QStringList wrong;
    for (int bar = 0; bar < 8; ++bar) {
        const QColor seen = barColour(frame, bar);
        const QColor& want = kColourBars[bar].colour;
        if (std::abs(seen.red() - want.red()) > tolerance || std::abs(seen.green() - want.green()) > tolerance
            || std::abs(seen.blue() - want.blue()) > tolerance)
            wrong << QStringLiteral("%1 is %2,%3,%4")
                         .arg(QLatin1String(kColourBars[bar].name))
                         .arg(seen.red())
                         .arg(seen.green())
                         .arg(seen.blue());
    }
    return wrong.join(QStringLiteral("; "));
}

int whiteBarLevel(const QImage& frame)
{
    return frame.isNull() ? -1 : barColour(frame, 0).red();
}

void logLine(const QString& line)
{
    std::cout << "driver: " << line.toStdString() << std::endl;
}

void VividTest::SetUp()
{
    std::fflush(stderr);
    // In memory: the machine shares the host's folders read-only, /tmp too
    // when the build lies under it.
    const int caught = ::memfd_create("stderr", MFD_CLOEXEC);
    ASSERT_GE(caught, 0);
    m_caught = ::fdopen(caught, "w+");
    ASSERT_NE(m_caught, nullptr);
    m_savedStderr = ::dup(STDERR_FILENO);
    ::dup2(::fileno(m_caught), STDERR_FILENO);
    source = std::make_unique<V4l2Source>(kVividNode);
    QObject::connect(source.get(), &VideoSource::frameReady, source.get(), [this] { ++frames; });
}

void VividTest::TearDown()
{
    source.reset();
    if (!m_caught)
        return; // SetUp failed before stderr was redirected
    std::fflush(stderr);
    ::dup2(m_savedStderr, STDERR_FILENO);
    ::close(m_savedStderr);
    std::rewind(m_caught);
    QStringList libv4l2Lines;
    char line[512];
    while (std::fgets(line, sizeof line, m_caught)) {
        std::fputs(line, stderr);
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (text.contains(QLatin1String("libv4l2")) && !m_allowed.removeOne(text))
            libv4l2Lines << text;
    }
    std::fclose(m_caught);
    EXPECT_TRUE(libv4l2Lines.isEmpty()) << libv4l2Lines.join(QLatin1Char('\n')).toStdString();
}

bool VividTest::openAt(const QSize& size)
{
    source->setFrameSize(size);
    const int before = frames;
    return source->open() && waitFor([&] { return frames > before; }, 8000);
}

bool VividTest::moreFrames(int count, int timeoutMs)
{
    const int target = frames + count;
    return waitFor([&] { return frames >= target; }, timeoutMs);
}

void VividTest::hurryRetries()
{
    source->reopenTimer()->setInterval(200);
}
