#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class QLabel;
class QTimer;

// What the main window's status bar would show, written as lines for a
// program that runs without a window: the server state, "Check video..."
// with its reason, and the data rate at most once a minute. The labels
// belong to the (hidden) main window and must outlive this object.
class HeadlessReport : public QObject {
    Q_OBJECT
public:
    using Sink = std::function<void(const QString& line)>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `sink` defaults to standard error with the "Talvex: " prefix.
    HeadlessReport(QLabel& sb1, QLabel& sb2, QLabel& sb3, Sink sink = {}, Clock clock = {},
                   QObject* parent = nullptr);

    // Looks at the labels once and reports what changed. A one-second timer
    // calls it; tests call it directly.
    void poll();
    void report(const QString& line);

    static constexpr std::chrono::seconds kRateEvery{60};

private:
    QLabel& m_sb1;
    QLabel& m_sb2;
    QLabel& m_sb3;
    Sink m_sink;
    Clock m_clock;
    QTimer* m_timer = nullptr;
    QString m_server;
    bool m_videoFailed = false;
    QString m_problem;
    QString m_rate;
    std::chrono::steady_clock::time_point m_rateShown{};
    bool m_rateEverShown = false;
};

// The line to standard error, prefixed "Talvex: ".
void printStatusLine(const QString& line);
