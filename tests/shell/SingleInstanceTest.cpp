#include "chrome/Recorders.h"

#include "shell/SingleInstance.h"
#include "shell/StartupMessages.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    QString lockPath() const { return dir.filePath(QStringLiteral("talvex.lock")); }

    // Leaves a lock file as a process that ended without unlocking would.
    void writeLockFile(const QByteArray& contents, qint64 ageSeconds)
    {
        QFile file(lockPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                     QFileDevice::FileModificationTime));
    }

    static qint64 deadPid()
    {
        const pid_t child = fork();
        if (child == 0)
            _exit(0);
        waitpid(child, nullptr, 0);
        return child;
    }

    QTemporaryDir dir;
    MessageRecorder messages;
};

TEST_F(SingleInstanceTest, SecondInstanceIsRefusedWhileTheFirstRuns)
{
    SingleInstance first(lockPath());
    ASSERT_TRUE(ensureSingleInstance(first));
    EXPECT_TRUE(first.isHeld());
    EXPECT_TRUE(messages.messages.isEmpty());

    SingleInstance second(lockPath());
    EXPECT_EQ(second.acquire(), SingleInstance::Result::HeldElsewhere);
    EXPECT_FALSE(ensureSingleInstance(second));
    EXPECT_FALSE(second.isHeld());
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_EQ(messages.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages.messages[0].title, "Talvex");
    EXPECT_EQ(messages.messages[0].text, "Talvex is already running!\n\nThis instance will be close");
    // The running one is untouched.
    EXPECT_TRUE(first.isHeld());
    EXPECT_TRUE(QFile::exists(lockPath()));
}

TEST_F(SingleInstanceTest, LockIsFreeAgainWhenTheHolderEnds)
{
    {
        SingleInstance first(lockPath());
        ASSERT_EQ(first.acquire(), SingleInstance::Result::Acquired);
        EXPECT_EQ(first.acquire(), SingleInstance::Result::Acquired);
    }
    EXPECT_FALSE(QFile::exists(lockPath()));
    SingleInstance next(lockPath());
    EXPECT_EQ(next.acquire(), SingleInstance::Result::Acquired);
}

struct LeftLockCase {
    const char* name;
    bool deadOwner;   // the file names a process that is gone
    bool unreadable;  // the file was cut short while being written
    qint64 ageSeconds;
    SingleInstance::Result expected;
};

class SingleInstanceLeftLock : public SingleInstanceTest, public ::testing::WithParamInterface<LeftLockCase> {};

TEST_P(SingleInstanceLeftLock, DeadOrBrokenLocksAreTakenOverOnlyWhenSafe)
{
    const LeftLockCase c = GetParam();
    const qint64 pid = c.deadOwner ? deadPid() : qint64(getpid());
    // Process id, program name, host (empty: this one), as the lock writes them.
    const QByteArray program = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    const QByteArray contents = c.unreadable ? QByteArray() : QByteArray::number(pid) + "\n" + program + "\n\n";
    writeLockFile(contents, c.ageSeconds);

    SingleInstance instance(lockPath());
    EXPECT_EQ(instance.acquire(), c.expected);
    EXPECT_EQ(instance.isHeld(), c.expected == SingleInstance::Result::Acquired);
    EXPECT_TRUE(QFile::exists(lockPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Leftovers, SingleInstanceLeftLock,
    ::testing::Values(
        LeftLockCase{"DeadOwner", true, false, 3600, SingleInstance::Result::Acquired},
        LeftLockCase{"DeadOwnerJustNow", true, false, 0, SingleInstance::Result::Acquired},
        LeftLockCase{"LiveOwnerOldFile", false, false, 7 * 24 * 3600, SingleInstance::Result::HeldElsewhere},
        LeftLockCase{"UnreadableOld", false, true, 3600, SingleInstance::Result::Acquired},
        LeftLockCase{"UnreadableBeingWritten", false, true, 0, SingleInstance::Result::HeldElsewhere}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SingleInstanceTest, NoPlaceForALockLetsTheProgramRun)
{
    SingleInstance instance(dir.filePath(QStringLiteral("missing/dir/talvex.lock")));
    EXPECT_EQ(instance.acquire(), SingleInstance::Result::Unavailable);
    EXPECT_TRUE(ensureSingleInstance(instance));
    EXPECT_TRUE(messages.messages.isEmpty());
}

struct GuardCase {
    const char* name;
    std::function<void()> load;
    bool ok;
    const char* description;
};

class GuardedLoad : public ::testing::TestWithParam<GuardCase> {};

TEST_P(GuardedLoad, FailureIsShownOnceAndReported)
{
    const GuardCase c = GetParam();
    MessageRecorder messages;
    EXPECT_EQ(runGuardedLoad(c.load), c.ok);
    if (c.ok) {
        EXPECT_TRUE(messages.messages.isEmpty());
        return;
    }
    ASSERT_EQ(messages.messages.size(), 1);
    EXPECT_EQ(messages.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages.messages[0].title, "Talvex");
    EXPECT_EQ(messages.messages[0].text, loadFailureText(QString::fromLatin1(c.description)));
    EXPECT_TRUE(messages.messages[0].text.startsWith(
        "An error has occured! Please send this message to support at support@talvex.org. Error Message: "));
}

INSTANTIATE_TEST_SUITE_P(
    Loads, GuardedLoad,
    ::testing::Values(GuardCase{"Succeeds", [] {}, true, ""},
                      GuardCase{"StdException", [] { throw std::runtime_error("no web root"); }, false, "no web root"},
                      GuardCase{"OtherThrow", [] { throw 7; }, false, "Unknown error"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
