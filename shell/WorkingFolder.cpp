#include "shell/WorkingFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

bool writable(const QString& dir)
{
    return ::access(QFile::encodeName(dir).constData(), W_OK | X_OK) == 0;
}

// Files and folders (hidden ones too); symbolic links are not followed,
// so a sample tree can never pull in files from elsewhere.
bool copyTree(const QString& from, const QString& to, QString* reason)
{
    if (!QDir().mkpath(to)) {
        *reason = QStringLiteral("cannot create %1").arg(to);
        return false;
    }
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    const QDir source(from);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + QLatin1Char('/') + source.relativeFilePath(path);
        const QFileInfo info = it.fileInfo();
        const bool ok = info.isDir() ? QDir().mkpath(target) : QFile::copy(path, target);
        if (!ok) {
            *reason = QStringLiteral("cannot copy %1 to %2").arg(path, target);
            return false;
        }
        if (!info.isDir()) // the installed copy is read-only; the user's is not
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
    return true;
}

} // namespace

QString WorkingFolder::installedSampleRoot(const QString& executableDir)
{
    const QString sample = QDir::cleanPath(executableDir + QStringLiteral("/../share/talvex/root"));
    return QFileInfo(sample).isDir() ? sample : QString();
}

QString WorkingFolder::dataHomeFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    const QString base = QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/Talvex"));
}

QString WorkingFolder::choose(const QString& executableDir, const QString& sampleRoot, const QString& dataHome)
{
    if (!writable(executableDir))
        return dataHome;
    if (QFileInfo(executableDir + QStringLiteral("/root")).isDir() || sampleRoot.isEmpty())
        return executableDir;
    return dataHome;
}

bool WorkingFolder::prepare(const QString& folder, const QString& sampleRoot, QString* reason)
{
    QString why;
    if (!QDir().mkpath(folder)) {
        why = QStringLiteral("cannot create %1").arg(folder);
    } else {
        const QString root = folder + QStringLiteral("/root");
        if (!QFileInfo(root).exists() && !sampleRoot.isEmpty())
            copyTree(sampleRoot, root, &why);
        const QString images = root + QStringLiteral("/images");
        if (why.isEmpty() && !QFileInfo(images).isDir() && !QDir().mkpath(images))
            why = QStringLiteral("cannot create %1").arg(images);
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

QStringList WorkingFolder::adoptProgramFiles(const QString& executableDir, const QString& folder, QString* reason)
{
    QStringList copied;
    QString why;
    if (QDir::cleanPath(executableDir) == QDir::cleanPath(folder) || !QDir().mkpath(folder)) {
        if (QDir::cleanPath(executableDir) != QDir::cleanPath(folder))
            why = QStringLiteral("cannot create %1").arg(folder);
    } else {
        const QString settings = QStringLiteral("/Settings.ini");
        if (QFileInfo(executableDir + settings).isFile() && !QFileInfo::exists(folder + settings)) {
            if (QFile::copy(executableDir + settings, folder + settings)) {
                QFile::setPermissions(folder + settings, QFile::permissions(folder + settings) | QFile::WriteOwner);
                copied << QStringLiteral("Settings.ini");
            } else {
                why = QStringLiteral("cannot copy %1 to %2").arg(executableDir + settings, folder);
            }
        }
        const QString root = QStringLiteral("/root");
        if (why.isEmpty() && QFileInfo(executableDir + root).isDir() && !QFileInfo::exists(folder + root)) {
            if (copyTree(executableDir + root, folder + root, &why))
                copied << QStringLiteral("root/");
        }
    }
    if (reason)
        *reason = why;
    return copied;
}
