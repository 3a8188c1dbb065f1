#include "DesktopSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {
// xdpyinfo gets in only once the server takes clients.
bool serverAnswers(int display)
{
    QProcess probe;
    probe.start(QStringLiteral("xdpyinfo"), {QStringLiteral("-display"), QStringLiteral(":%1").arg(display)});
    return probe.waitForFinished(3000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

QString socketOf(int display)
{
    return QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
}
}  // namespace

DesktopSession::DesktopSession()
{
    // A display number nobody uses: no socket and no lock file.
    for (int display = 91; display < 140; ++display) {
        if (QFile::exists(socketOf(display)) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)))
            continue;
        m_xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"),
                                             QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                             QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_xvfb.waitForStarted(5000))
            return;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_xvfb.state() == QProcess::Running) {
            // The socket appears before the server takes clients; a client
            // that connects then is refused, so wait for one to get in.
            if (QFile::exists(socketOf(display)) && serverAnswers(display)) {
                m_display = display;
                return;
            }
            QThread::msleep(20);
        }
        m_xvfb.kill();
        m_xvfb.waitForFinished(3000);
    }
}

DesktopSession::~DesktopSession()
{
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(3000)) {
            m_xvfb.kill();
            m_xvfb.waitForFinished(3000);
        }
    }
}

QString DesktopSession::xdotool(const QStringList& arguments, int timeoutMs) const
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display());
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(1000);
        return {};
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

QStringList DesktopSession::windows(const QString& title) const
{
    const QString out = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)});
    return out.isEmpty() ? QStringList{} : out.split(QLatin1Char('\n'));
}

QString DesktopSession::waitForWindow(const QString& title, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QStringList found = windows(title);
        if (!found.isEmpty())
            return found.last();
        QThread::msleep(50);
    }
    return {};
}

void DesktopSession::click(const QString& window, int x, int y) const
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}
