#include "image/TempFileSweep.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

bool processAlive(long pid)
{
    if (pid <= 0)
        return false;
    if (pid == static_cast<long>(::getpid()))
        return true;
    // EPERM: alive under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

bool isReplaceTempName(const QString& fileName, long* pid)
{
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.tmp([0-9]{1,10})_[0-9]+$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return false;
    if (pid)
        *pid = match.captured(1).toLong();
    return true;
}

QStringList removeLeftoverTempFiles(const QString& directory)
{
    QStringList removed;
    const QDir dir(directory);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        long pid = 0;
        if (!isReplaceTempName(name, &pid) || processAlive(pid))
            continue;
        if (QFile::remove(dir.filePath(name)))
            removed << name;
    }
    return removed;
}
