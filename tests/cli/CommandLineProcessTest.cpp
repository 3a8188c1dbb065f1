#include "ProgramProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// Without any display: --help and --version answer before Qt is started.
TEST(ProgramCommandLine, AnswersWithoutADisplay)
{
    QTemporaryDir home;
    const struct {
        QStringList arguments;
        int code;
        const char* out;  // start of standard output
        const char* err;  // standard error, whole
    } rows[] = {
        {{"--help"}, 0, "Usage: Talvex [option...]\n", ""},
        {{"--version"}, 0, "Talvex 2.7\n", ""},
        {{"--bogus"}, 2, "", "Talvex: unknown option '--bogus' (try --help)\n"},
        {{"--headless", "extra"}, 2, "", "Talvex: unexpected argument 'extra' (try --help)\n"},
        {{"-platform", "offscreen", "--bogus"}, 2, "", "Talvex: unknown option '--bogus' (try --help)\n"},
        {{"-h"}, 0, "Usage: Talvex [option...]\n", ""},
        {{"-v"}, 0, "Talvex 2.7\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        ProgramProcess program(builtProgram(), home.path());
        EXPECT_EQ(program.run(row.arguments), row.code);
        EXPECT_TRUE(program.output().startsWith(row.out)) << program.output().toStdString();
        EXPECT_EQ(program.error(), QByteArray(row.err));
    }
}

// With windows, before "Open" nothing has started: a signal ends the run
// at once and writes nothing. Qt's own -platform picks the display.
TEST(ProgramCommandLine, SignalAtTheStartUpWindowEndsWithoutSaving)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("app");
    ASSERT_TRUE(makePortableCopy(folder));
    ProgramProcess program(folder + "/Talvex", dir.filePath("home"));
    program.start({"-platform", "offscreen"});
    // The lock file appears once the program is past its single-instance test.
    for (int i = 0; i < 100 && !QFile::exists(dir.filePath("home/runtime/talvex.lock")); ++i)
        program.process().waitForFinished(50);
    ASSERT_TRUE(QFile::exists(dir.filePath("home/runtime/talvex.lock")));
    ASSERT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_FALSE(QFile::exists(folder + "/Settings.ini"));
}

} // namespace
