#pragma once

#include "capture/v4l2/V4l2Source.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

// Helpers for the tests that run inside the virtual machine against the
// kernel's vivid driver at /dev/video0 (one webcam-like input).

inline const QString kVividNode = QStringLiteral("/dev/video0");

// vivid's own controls: the error injections, pressed like buttons.
enum class VividButton : quint32 {
    Disconnect = 0x00f0f041,
    BufferError = 0x00f0f042,
    ReqbufsError = 0x00f0f043,
    QbufError = 0x00f0f044,
    StreamonError = 0x00f0f045,
    FatalStreamingError = 0x00f0f046,
};

// One ioctl on a file of the node's own, opened for it; -1 when the node is missing.
int nodeIoctl(const QString& node, unsigned long request, void* argument);

// Presses a vivid button through a file of its own (controls are shared by
// every open file of the node). False when the node or control is missing.
bool pressVividButton(VividButton button);

// Unplugs the camera: the node goes first, or vivid would hand it straight
// back, and the disconnect is pressed through a file opened before.
void unplugVivid();
// Runs the machine's modprobe command in `variable` with `extra`
// arguments, then waits for `node` unless it is empty.
bool runModprobe(const char* variable, const QString& extra = {}, const QString& node = kVividNode);
// Unloads vivid and loads it again, as the machine did or with `extra`
// arguments, and waits for `node`; the load is tried either way.
bool reloadVivid(const QString& extra = {}, const QString& node = kVividNode);

// Runs the event loop until done() holds or timeoutMs pass; returns done().
bool waitFor(const std::function<bool()>& done, int timeoutMs);

// One of vivid's 75 % colour bars and what its middle pixel should be.
struct ColourBar {
    const char* name;
    QColor colour;
};
extern const ColourBar kColourBars[8];
// The bars across a frame, sampled below vivid's text: names of the bars
// off by more than the tolerance in any channel, with what was seen.
QString wrongBars(const QImage& frame, int tolerance);
// The mean red of the white bar, for the visible effect of a control.
int whiteBarLevel(const QImage& frame);

// One line for the run's summary on standard output.
void logLine(const QString& line);

// A V4L2 source on vivid counting its frames; the driver's stderr is
// caught for each test, and no libv4l2 line may appear in it.
class VividTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the source at the size and waits for its first frame.
    bool openAt(const QSize& size);
    // Waits for this many more frames.
    bool moreFrames(int count, int timeoutMs = 8000);
    // Lets the source retry opening quickly instead of every 2 s.
    void hurryRetries();
    // A libv4l2 line this test expects once (a failure it provokes).
    void allowLibv4l2Line(const QString& line) { m_allowed << line; }

    std::unique_ptr<V4l2Source> source;
    int frames = 0;

private:
    QStringList m_allowed;
    int m_savedStderr = -1;
    std::FILE* m_caught = nullptr;
};
