#include "shell/chrome/UrlOpener.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

// The program runs its own event loop with QT_NO_GLIB=1; the browser it
// starts (the stand-in here runs `env` as a child, as a browser would be
// started) must not get that setting.
TEST(UrlOpener, StartedProgramsDoNotInheritTheEventLoopSetting)
{
    qputenv("QT_NO_GLIB", "1");
    QByteArray childEnvironment;
    QString opened;
    setUrlOpener([&](const QString& url) {
        opened = url;
        QProcess env;
        env.start(QStringLiteral("/usr/bin/env"), {});
        if (env.waitForFinished(5000))
            childEnvironment = env.readAllStandardOutput();
    });
    openUrl(QStringLiteral("http://127.0.0.1:8123"));
    setUrlOpener({});

    EXPECT_EQ(opened, "http://127.0.0.1:8123");
    ASSERT_TRUE(childEnvironment.contains("PATH=")) << "the child did not run";
    EXPECT_FALSE(childEnvironment.contains("QT_NO_GLIB")) << childEnvironment.toStdString();
    EXPECT_EQ(qgetenv("QT_NO_GLIB"), "1") << "the program's own setting stays";
}

} // namespace
