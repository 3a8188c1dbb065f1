#include "ProgramProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>

#include <csignal>

ProgramProcess::ProgramProcess(const QString& program, const QString& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME"})
        environment.remove(QString::fromLatin1(name));
    QDir().mkpath(home + "/runtime");
    QFile::setPermissions(home + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert("HOME", home);
    environment.insert("XDG_RUNTIME_DIR", home + "/runtime");
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(program);
}

ProgramProcess::~ProgramProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void ProgramProcess::start(const QStringList& arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    m_process.waitForStarted(5000);
}

int ProgramProcess::run(const QStringList& arguments, int timeoutMs)
{
    start(arguments);
    return waitForExit(timeoutMs);
}

bool ProgramProcess::waitForError(const QString& text, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!error().contains(text.toLocal8Bit())) {
        if (m_process.state() == QProcess::NotRunning || timer.elapsed() > timeoutMs)
            return false;
        m_process.waitForReadyRead(100);
    }
    return true;
}

bool ProgramProcess::signal(int signalNumber)
{
    return ::kill(static_cast<pid_t>(m_process.processId()), signalNumber) == 0;
}

int ProgramProcess::waitForExit(int timeoutMs)
{
    if (!m_process.waitForFinished(timeoutMs))
        return -1;
    output();
    error();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString builtProgram()
{
    return QStringLiteral(TALVEX_BIN_DIR "/Talvex");
}

QString sourceRoot()
{
    return QStringLiteral(TALVEX_SOURCE_DIR "/root");
}

bool makePortableCopy(const QString& folder)
{
    if (!QDir().mkpath(folder + "/root/images") || !QFile::copy(builtProgram(), folder + "/Talvex"))
        return false;
    QDirIterator it(sourceRoot(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = folder + "/root/" + QDir(sourceRoot()).relativeFilePath(path);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(path, target))
            return false;
    }
    return true;
}
