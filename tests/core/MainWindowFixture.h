#pragma once

#include "capture/source/SourceCatalog.h"
#include "capture/source/TestPatternSource.h"
#include "core/frmMain.h"
#include "http/HttpTestSupport.h"
#include "shell/chrome/MessageBox.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <gtest/gtest.h>

// Only the test pattern, so no test depends on a camera being present.
class TestPatternCatalog : public SourceCatalog {
public:
    QList<SourceChoice> choices() const override
    {
        return {{TestPatternSource::sourceId(), TestPatternSource::sourceName()}};
    }
    std::unique_ptr<VideoSource> create(const QString& id) const override
    {
        if (id != TestPatternSource::sourceId())
            return nullptr;
        return std::make_unique<TestPatternSource>();
    }
};

// A main window over a temporary web root, with a fixed clock, the test
// pattern, recorded messages and a recorded end of the program.
class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture()
    {
        QStandardPaths::setTestModeEnabled(true);
        setMessageHook([this](QMessageBox::Icon, const QString&, const QString& text) {
            messages << text;
        });
    }
    ~MainWindowFixture() override
    {
        delete window;
        setMessageHook({});
    }

    void writeSettings(const QByteArray& bytes)
    {
        web.write("../Settings.ini", bytes);
    }
    QByteArray settingsBytes() const
    {
        QFile file(web.tempPath() + "/Settings.ini");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    frmMain& load(float clock = 49510.0f)
    {
        frmMain::Environment env;
        env.tempPath = web.tempPath();
        env.clock = [clock] { return clock; };
        env.catalog = std::make_unique<TestPatternCatalog>();
        env.endProgram = [this] { ++ended; };
        env.streamPort = streamPort;
        window = new frmMain(std::move(env));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->load();
        return *window;
    }

    WebRootDir web;
    int streamPort = 0; // no stream unless a test asks for one
    frmMain* window = nullptr;
    QStringList messages;
    int ended = 0;
};
