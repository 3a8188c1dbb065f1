#include "core/state/UserConfig.h"
#include "shell/CommandLine.h"
#include "shell/HeadlessReport.h"
#include "shell/ProgramRun.h"
#include "shell/RuntimeFolder.h"
#include "shell/SignalCloser.h"
#include "shell/SingleInstance.h"
#include "shell/StartupMessages.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    // Read before Qt starts: --help and --version need no display.
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::Help:
        std::fputs(usageText().c_str(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::fputs(versionLine().c_str(), stdout);
        return 0;
    case CommandLine::Action::Error:
        std::fprintf(stderr, "Talvex: %s\n", line.error.c_str());
        return 2;
    case CommandLine::Action::Run:
        break;
    }

    // Qt's own UNIX event dispatcher costs a third less per connection than
    // the glib one; it has to be chosen before the application object exists.
    setenv("QT_NO_GLIB", "1", 1);
    if (line.headless)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ensureRuntimeFolder();
    // Takes out of argv the options that are Qt's (-platform, -style...).
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvex"));
    QApplication::setOrganizationName(QStringLiteral("Talvex"));

    // From here on a close signal waits for the event loop; one that comes
    // before the main window exists ends the run with nothing to save.
    SignalCloser closer;
    // Such as while the "already running" message waits for its OK.
    const QMetaObject::Connection early =
        QObject::connect(&closer, &SignalCloser::closeRequested, [] { QCoreApplication::exit(0); });
    const QString executableDir = QApplication::applicationDirPath();
    const QString folder = workingFolderFor(line, executableDir);
    const bool given = !line.folder.empty();
    if (given)
        userConfigFile() = folder + QStringLiteral("/Talvex.conf");
    // Every run holds its folder's lock, so a plain run and a --folder run
    // never share a folder; a plain run also holds the user's one lock.
    SingleInstance folderLock(SingleInstance::folderLockPath(folder));
    SingleInstance userLock(SingleInstance::defaultLockPath());
    std::vector<SingleInstance*> locks{&folderLock};
    if (!given)
        locks.push_back(&userLock);
    for (SingleInstance* instance : locks) {
        if (line.headless) {
            if (instance->acquire() == SingleInstance::Result::HeldElsewhere) {
                printStatusLine(QStringLiteral("already running for %1 (lock %2)").arg(folder, instance->lockPath()));
                return 1;
            }
        } else if (!ensureSingleInstance(*instance)) {
            return 0;
        }
    }

    QObject::disconnect(early);
    prepareWorkingFolder(folder, executableDir, given);
    return line.headless ? runHeadless(folder, closer, line) : runWithWindows(folder, closer, line);
}
