#include "shell/ProgramRun.h"

#include "core/frmMain.h"
#include "image/TempFileSweep.h"
#include "shell/CommandLine.h"
#include "shell/HeadlessReport.h"
#include "shell/SignalCloser.h"
#include "shell/StartupMessages.h"
#include "shell/WorkingFolder.h"
#include "shell/frmBegin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QUrl>

#include <csignal>
#include <cstring>
#include <exception>
#include <memory>

namespace {

const QString kServerOn = QStringLiteral("Server: ON");

// The bitmap the snapshot cycle writes and removes within one cycle.
QString temporaryBitmap(const QString& folder)
{
    return folder + QStringLiteral("/VelmarixCamImage.bmp");
}

QString streamUrl(frmMain& main)
{
    QUrl url(main.viewerAddress());
    url.setPort(main.streamServer().port());
    url.setPath(QStringLiteral("/stream"));
    return url.toString();
}

// With a window the only line; without one the report has said "serving"
// already, so only the stream is added.
void reportServing(frmMain& main, bool withAddress)
{
    if (main.sb2->text() != kServerOn)
        return;
    if (withAddress)
        printStatusLine(QStringLiteral("serving ") + main.viewerAddress());
    if (main.streamServer().isListening())
        printStatusLine(QStringLiteral("stream ") + streamUrl(main));
}

frmMain::Environment environmentFor(const QString& workingFolder, const CommandLine& line)
{
    frmMain::Environment environment;
    environment.tempPath = workingFolder;
    environment.streamPort = line.streamPort;
    environment.streamFps = line.streamFps;
    environment.port = line.port;
    environment.bindAddress = QString::fromStdString(line.bindAddress);
    return environment;
}

} // namespace

QString workingFolderFor(const CommandLine& line, const QString& executableDir)
{
    if (!line.folder.empty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(line.folder)));
    return WorkingFolder::choose(executableDir, WorkingFolder::installedSampleRoot(executableDir),
                                 WorkingFolder::dataHomeFolder());
}

QString prepareWorkingFolder(const QString& folder, const QString& executableDir, bool given)
{
    QString problem;
    QString sample = WorkingFolder::installedSampleRoot(executableDir);
    QStringList adopted;
    // A folder of its own (--folder, one camera of several) starts from the
    // pages only: the program's Settings.ini would give every camera its port.
    if (!given)
        adopted = WorkingFolder::adoptProgramFiles(executableDir, folder, &problem);
    else if (sample.isEmpty() && QFileInfo(executableDir + QStringLiteral("/root")).isDir())
        sample = executableDir + QStringLiteral("/root");
    QString prepareProblem;
    WorkingFolder::prepare(folder, sample, &prepareProblem);
    if (!prepareProblem.isEmpty())
        problem = prepareProblem;
    // Only on the start that copies them, so it is said once.
    if (!adopted.isEmpty())
        printStatusLine(QStringLiteral("took %1 from %2 into %3")
                            .arg(adopted.join(QStringLiteral(" and ")), executableDir, folder));
    if (!problem.isEmpty())
        printStatusLine(QStringLiteral("working folder: ") + problem);
    QFile::remove(temporaryBitmap(folder));
    for (const QString& name : removeLeftoverTempFiles(folder + QStringLiteral("/root/images")))
        printStatusLine(QStringLiteral("removed the leftover ") + name);
    return folder;
}

int runWithWindows(const QString& workingFolder, SignalCloser& closer, const CommandLine& line)
{
    QPointer<frmMain> mainWindow;
    const bool loaded = runGuardedLoad([&] {
        auto* begin = new frmBegin([&] {
            mainWindow = new frmMain(environmentFor(workingFolder, line));
            mainWindow->loadAndShow();
            reportServing(*mainWindow, true);
        });
        begin->show();
    });
    if (!loaded)
        return 1;
    // Before the main window exists nothing has started, so nothing is saved.
    QObject::connect(&closer, &SignalCloser::closeRequested, &closer, [&](int) {
        if (mainWindow)
            mainWindow->close();
        else
            QCoreApplication::quit();
    });
    const int code = QApplication::exec();
    QFile::remove(temporaryBitmap(workingFolder));
    return code;
}

int runHeadless(const QString& workingFolder, SignalCloser& closer, const CommandLine& line)
{
    frmMain::Environment environment = environmentFor(workingFolder, line);
    // The warning box's text, at the start and at a failed restart alike.
    environment.serverWarning = [](const QString& text) { printStatusLine(text); };
    // Never shown; it holds the state, the timers and the server as always.
    std::unique_ptr<frmMain> mainWindow = std::make_unique<frmMain>(std::move(environment));
    HeadlessReport report(*mainWindow->sb1, *mainWindow->sb2, *mainWindow->sb3);
    printStatusLine(QStringLiteral("working folder ") + workingFolder);

    // The load failure's message box would wait for a click nobody can give.
    try {
        mainWindow->load();
    } catch (const std::exception& failure) {
        printStatusLine(loadFailureText(QString::fromLocal8Bit(failure.what())));
        return 1;
    } catch (...) {
        printStatusLine(loadFailureText(QStringLiteral("Unknown error")));
        return 1;
    }
    report.poll();
    if (mainWindow->sb2->text() != kServerOn) {
        const int error = mainWindow->webServer[0].lastError();
        printStatusLine(QStringLiteral("the server could not start")
                        + (error ? QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)) : QString())
                        + QStringLiteral("; ending"));
        return 1;
    }
    reportServing(*mainWindow, false);

    QObject::connect(&closer, &SignalCloser::closeRequested, &closer, [&](int signalNumber) {
        // A service manager's reload; a terminal that goes away has no
        // meaning for a program that has none.
        if (signalNumber == SIGHUP) {
            const QStringList applied = mainWindow->reloadConfiguration();
            printStatusLine(applied.isEmpty() ? QStringLiteral("reloaded Talvex.conf: nothing changed")
                                              : QStringLiteral("reloaded Talvex.conf: ") + applied.join(QStringLiteral(", ")));
            return;
        }
        printStatusLine(QStringLiteral("closing on signal %1").arg(signalNumber));
        mainWindow->unload();
    });
    const int code = QApplication::exec();
    QFile::remove(temporaryBitmap(workingFolder));
    return code;
}
