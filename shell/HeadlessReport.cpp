#include "shell/HeadlessReport.h"

#include <QLabel>
#include <QTimer>

#include <cstdio>

namespace {
const QString kCheckVideo = QStringLiteral("Check video...");
}

void printStatusLine(const QString& line)
{
    std::fprintf(stderr, "Talvex: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

HeadlessReport::HeadlessReport(QLabel& sb1, QLabel& sb2, QLabel& sb3, Sink sink, Clock clock, QObject* parent)
    : QObject(parent)
    , m_sb1(sb1)
    , m_sb2(sb2)
    , m_sb3(sb3)
    , m_sink(sink ? std::move(sink) : Sink(printStatusLine))
    , m_clock(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); }))
{
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &HeadlessReport::poll);
    m_timer->start();
}

void HeadlessReport::report(const QString& line)
{
    m_sink(line);
}

void HeadlessReport::poll()
{
    const QString server = m_sb2.text();
    if (server != m_server && server.startsWith(QStringLiteral("Server: "))) {
        m_server = server;
        const QString tip = m_sb2.toolTip();
        // Serving, the address is the news, said in the one form scripts wait for.
        if (server == QStringLiteral("Server: ON") && !tip.isEmpty())
            report(QStringLiteral("serving ") + tip);
        else
            report(tip.isEmpty() ? server : server + QStringLiteral(" (") + tip + QLatin1Char(')'));
    }

    // The countdown overwrites the caption every second; only the change
    // into and out of a failure, and its reason in the tooltip, are news.
    const bool failed = m_sb1.text() == kCheckVideo;
    const QString problem = m_sb1.toolTip();
    if ((failed && !m_videoFailed) || (problem != m_problem && !problem.isEmpty())) {
        QString line = failed ? kCheckVideo : QString();
        if (!problem.isEmpty())
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + problem;
        report(line);
    } else if ((!failed && m_videoFailed) || (problem.isEmpty() && !m_problem.isEmpty())) {
        report(QStringLiteral("snapshots written again"));
    }
    m_videoFailed = failed;
    m_problem = problem;

    const QString rate = m_sb3.text();
    const auto now = m_clock();
    if (rate != m_rate && rate != QStringLiteral("KB/s")
        && (!m_rateEverShown || now - m_rateShown >= kRateEvery)) {
        m_rate = rate;
        m_rateShown = now;
        m_rateEverShown = true;
        report(QStringLiteral("data rate ") + rate);
    }
}
