#pragma once

#include "core/frmMain.h"
#include "support/EventLoop.h"
#include "support/Loopback.h"
#include "support/Ports.h"
#include "support/WebRoot.h"
#include "shell/chrome/MessageBox.h"
#include "support/ScriptedSource.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

// A main window over a temporary web root, with a fixed clock, the test
// pattern, recorded messages and a recorded end of the program.
class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture()
    {
        QStandardPaths::setTestModeEnabled(true);
        setMessageHook([this](QMessageBox::Icon, const QString&, const QString& text) { messages << text; });
    }
    ~MainWindowFixture() override
    {
        delete window;
        setMessageHook({});
    }

    void writeSettings(const QByteArray& bytes) { web.write("../Settings.ini", bytes); }
    // Quality 75, rate 2, thumbnail kept, and `port` configured.
    void writeSettingsWithPort(int16_t port)
    {
        writeSettings("75\r\n2\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n");
    }
    QByteArray settingsBytes() const { return fileBytes(web.tempPath() + "/Settings.ini"); }
    QByteArray snapshotBytes() const { return fileBytes(web.tempPath() + "/root/images/VelmarixCamImage.jpg"); }
    static QByteArray fileBytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    frmMain& load(float clock = 49510.0f)
    {
        frmMain::Environment env;
        env.tempPath = web.tempPath();
        env.clock = [clock] { return clock; };
        env.catalog = catalog ? std::move(catalog) : std::make_unique<TestPatternCatalog>();
        env.endProgram = [this] { ++ended; };
        env.streamPort = streamPort;
        env.bindAddress = bindAddress;
        window = new frmMain(std::move(env));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->load();
        return *window;
    }
    // One tick, delivered at once instead of waiting for the timer.
    static void tick(QTimer* timer) { QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection); }

    WebRootDir web;
    int streamPort = 0; // no stream unless a test asks for one
    std::unique_ptr<SourceCatalog> catalog; // unset: the test pattern alone
    QString bindAddress;
    frmMain* window = nullptr;
    QStringList messages;
    int ended = 0;
};
