#include "FaultSupport.h"

#include "core/StartValues.h"

#include "shell/Mouse.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>

#include <sys/socket.h>

namespace {

QString warningFor(int port)
{
    return QStringLiteral("Web Server cannot be start! Port %1 may be in use by another application.").arg(port);
}

using PortFault = FaultWindow;

TEST_F(PortFault, TakenConfiguredPortIsTriedOnce)
{
    for (const bool loopbackOnly : {true, false}) {
        SCOPED_TRACE(loopbackOnly ? "held on 127.0.0.1" : "held on every interface");
        std::unique_ptr<ReusingListener> blocker;
        const int16_t port = holdOnePort(loopbackOnly, blocker);
        ASSERT_NE(port, 0);
        writeSettings("75\r\n5\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n");
        frmMain& w = loadWithCamera(clockForPort(8500));
        EXPECT_EQ(w.sb2->text(), "Server: OFF");
        EXPECT_EQ(messages, QStringList{warningFor(port)});
        EXPECT_EQ(w.state().My_PORT, port);
        EXPECT_EQ(w.state().portTries, 0);
        EXPECT_EQ(listenerDescriptor(int16_t(port + 1)), -1);
        // The rest of the program goes on without a server.
        const QByteArray before = snapshotBytes();
        tick(w.time);
        EXPECT_NE(snapshotBytes(), before);
        EXPECT_TRUE(w.time->isActive());

        delete window;
        window = nullptr;
        messages.clear();
    }
}

struct WalkCase {
    int held;    // ports occupied from the clock's port on
    bool serves; // a sixth attempt is never made
};

class AutomaticPort : public FaultWindow, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(AutomaticPort, WalksPastOccupiedPortsAtMostFiveTimes)
{
    const WalkCase& c = GetParam();
    std::vector<std::unique_ptr<ReusingListener>> blockers;
    const int16_t first = holdClockPortRun(c.held + 1, c.held, blockers);
    ASSERT_NE(first, 0);
    const float clock = clockForPort(first);
    ASSERT_EQ(clockPort(clock), first);
    writeSettings("75\r\n5\r\n\"True\"\r\n0\r\n");
    frmMain& w = loadWithCamera(clock);

    const int tries = std::min(c.held, 5);
    EXPECT_EQ(w.state().portTries, tries);
    EXPECT_EQ(w.state().My_PORT, first + tries);
    if (c.serves) {
        EXPECT_EQ(w.sb2->text(), "Server: ON");
        EXPECT_TRUE(messages.isEmpty());
        EXPECT_TRUE(fetch(w.state().My_PORT, "/").complete);
        // The address viewers need follows the retries; a click copies it.
        const QString address = "http://" + w.state().My_IP + ":" + QString::number(first + tries) + "/";
        EXPECT_EQ(w.sb2->toolTip(), address);
        QGuiApplication::clipboard()->clear();
        Mouse::press(w.sb2, Qt::LeftButton);
        Mouse::release(w.sb2, Qt::LeftButton);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), address);
    } else {
        EXPECT_EQ(w.sb2->text(), "Server: OFF");
        EXPECT_EQ(w.sb2->toolTip(), QStringLiteral("Not serving: port %1 could not be opened").arg(first + 5));
        EXPECT_EQ(messages, QStringList{warningFor(first + 5)});
        EXPECT_EQ(listenerDescriptor(int16_t(first + 6)), -1);
    }
    w.close();
    EXPECT_EQ(settingsBytes(), "75\r\n5\r\n\"True\"\r\n0\r\n");
}

INSTANTIATE_TEST_SUITE_P(Held, AutomaticPort,
                         ::testing::Values(WalkCase{1, true}, WalkCase{2, true}, WalkCase{5, true},
                                           WalkCase{6, false}));

enum class Loss { Shutdown, Event };

struct LossCase {
    const char* name;
    bool automatic;   // port from the clock rather than the settings
    Loss loss;        // the socket stops listening, or only the event is raised
    bool portTaken;   // another listener takes the port in between
};

class LostListener : public FaultWindow, public ::testing::WithParamInterface<LossCase> {};

TEST_P(LostListener, RestartsOnTheSamePortOrReportsOff)
{
    const LossCase& c = GetParam();
    std::vector<std::unique_ptr<ReusingListener>> none;
    const int16_t port = c.automatic ? holdClockPortRun(2, 0, none) : freePortRun(2);
    ASSERT_NE(port, 0);
    writeSettings("75\r\n5\r\n\"True\"\r\n" + QByteArray::number(c.automatic ? 0 : port) + "\r\n");
    frmMain& w = loadWithCamera(clockForPort(c.automatic ? port : int16_t(8500)));
    ASSERT_EQ(w.sb2->text(), "Server: ON");
    ASSERT_EQ(w.state().My_PORT, port);

    std::unique_ptr<ReusingListener> thief;
    if (c.loss == Loss::Shutdown) {
        const int fd = listenerDescriptor(port);
        ASSERT_GE(fd, 0);
        // Stops listening but keeps the descriptor: the next accept fails.
        ASSERT_EQ(::shutdown(fd, SHUT_RD), 0);
        if (c.portTaken) {
            thief = std::make_unique<ReusingListener>(port);
            ASSERT_TRUE(thief->ok());
        }
    } else {
        emit w.webServer.SocketEnded(0);
    }
    ASSERT_TRUE(pumpUntil([&] { return w.state().portTries == 5; }));

    EXPECT_EQ(w.state().My_PORT, port);
    if (c.portTaken) {
        EXPECT_EQ(w.sb2->text(), "Server: OFF");
        EXPECT_EQ(messages, QStringList{warningFor(port)});
        EXPECT_EQ(listenerDescriptor(int16_t(port + 1)), -1);
        const QByteArray before = snapshotBytes();
        tick(w.time);
        EXPECT_NE(snapshotBytes(), before);
    } else {
        EXPECT_EQ(w.sb2->text(), "Server: ON");
        EXPECT_TRUE(messages.isEmpty());
        const HttpAnswer answer = fetch(port, "/images/VelmarixCamImage.jpg");
        EXPECT_TRUE(answer.complete);
        EXPECT_EQ(answer.body, snapshotBytes());
    }
}

INSTANTIATE_TEST_SUITE_P(Losses, LostListener,
                         ::testing::Values(LossCase{"ShutdownRestarts", false, Loss::Shutdown, false},
                                           LossCase{"EventRestarts", false, Loss::Event, false},
                                           LossCase{"ConfiguredPortTaken", false, Loss::Shutdown, true},
                                           LossCase{"AutomaticPortTakenTriesNoOther", true, Loss::Shutdown, true}),
                         [](const ::testing::TestParamInfo<LossCase>& info) { return info.param.name; });

} // namespace
