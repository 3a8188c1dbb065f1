#include "shell/HeadlessReport.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class HeadlessReportTest : public ::testing::Test {
protected:
    QLabel sb1{"Ready"};
    QLabel sb2{"Server:"};
    QLabel sb3{"KB/s"};
    QStringList lines;
    std::chrono::steady_clock::time_point now{};
    HeadlessReport report{sb1, sb2, sb3, [this](const QString& line) { lines << line; }, [this] { return now; }};

    QStringList pollLines()
    {
        lines.clear();
        report.poll();
        return lines;
    }
};

TEST_F(HeadlessReportTest, ReportsWhatTheStatusBarWouldShowOnceEach)
{
    EXPECT_EQ(pollLines(), QStringList{}) << "captions before load are no news";

    sb2.setText("Server: ON");
    sb2.setToolTip("http://127.0.0.1:8495/");
    EXPECT_EQ(pollLines(), QStringList{"serving http://127.0.0.1:8495/"});
    EXPECT_EQ(pollLines(), QStringList{});

    sb1.setText("Check video...");
    sb1.setToolTip("Frame not written: folder /opt/x is not writable");
    EXPECT_EQ(pollLines(), QStringList{"Check video... Frame not written: folder /opt/x is not writable"});
    EXPECT_EQ(pollLines(), QStringList{});

    sb1.setText("Snapshot: 59");
    sb1.setToolTip("");
    EXPECT_EQ(pollLines(), QStringList{"snapshots written again"});
    sb1.setText("Snapshot: 58");
    EXPECT_EQ(pollLines(), QStringList{}) << "the countdown is not reported";

    sb1.setToolTip("Snapshot not written: folder /w/root/images is missing");
    EXPECT_EQ(pollLines(), QStringList{"Snapshot not written: folder /w/root/images is missing"});

    sb2.setText("Server: OFF");
    sb2.setToolTip("");
    EXPECT_EQ(pollLines(), QStringList{"Server: OFF"});
}

TEST_F(HeadlessReportTest, DataRateAtMostOnceAMinute)
{
    const struct {
        std::chrono::seconds at;
        const char* rate;
        QStringList expected;
    } rows[] = {
        {0s, "12.5KB/s", {"data rate 12.5KB/s"}},
        {1s, "13.1KB/s", {}},
        {59s, "13.4KB/s", {}},
        {60s, "13.4KB/s", {"data rate 13.4KB/s"}},
        {61s, "14KB/s", {}},
        {200s, "13.4KB/s", {}},  // unchanged since the last line
        {201s, "9KB/s", {"data rate 9KB/s"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.at.count());
        now = std::chrono::steady_clock::time_point(row.at);
        sb3.setText(row.rate);
        EXPECT_EQ(pollLines(), row.expected);
    }
}

} // namespace
