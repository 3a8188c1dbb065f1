#include "shell/ProgramRun.h"

#include "core/frmMain.h"
#include "image/TempFileSweep.h"
#include "shell/HeadlessReport.h"
#include "shell/SignalCloser.h"
#include "shell/StartupMessages.h"
#include "shell/WorkingFolder.h"
#include "shell/frmBegin.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>

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

void reportServing(const frmMain& main)
{
    if (main.sb2->text() == kServerOn)
        printStatusLine(QStringLiteral("serving ") + main.viewerAddress());
}

} // namespace

QString prepareWorkingFolder(const QString& executableDir)
{
    QString problem;
    QStringList adopted;
    const QString folder = WorkingFolder::resolve(executableDir, &problem, &adopted);
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

int runWithWindows(const QString& workingFolder, SignalCloser& closer, std::optional<int> streamPort)
{
    QPointer<frmMain> mainWindow;
    const bool loaded = runGuardedLoad([&] {
        auto* begin = new frmBegin([&] {
            frmMain::Environment environment;
            environment.tempPath = workingFolder;
            environment.streamPort = streamPort;
            mainWindow = new frmMain(std::move(environment));
            mainWindow->loadAndShow();
            reportServing(*mainWindow);
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

int runHeadless(const QString& workingFolder, SignalCloser& closer, std::optional<int> streamPort)
{
    frmMain::Environment environment;
    environment.tempPath = workingFolder;
    environment.streamPort = streamPort;
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
    reportServing(*mainWindow);

    QObject::connect(&closer, &SignalCloser::closeRequested, &closer, [&](int signalNumber) {
        printStatusLine(QStringLiteral("closing on signal %1").arg(signalNumber));
        mainWindow->unload();
    });
    const int code = QApplication::exec();
    QFile::remove(temporaryBitmap(workingFolder));
    return code;
}
