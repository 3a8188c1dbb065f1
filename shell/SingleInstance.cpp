#include "shell/SingleInstance.h"

#include "shell/chrome/MessageBox.h"
#include "shell/StartupMessages.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// A lock file whose owner cannot be read is taken over only when it is
// older than this: younger, it may be one that another instance is
// writing this very moment.
constexpr qint64 kUnreadableLockGraceMs = 5000;

} // namespace

SingleInstance::SingleInstance(const QString& lockPath)
    : m_path(lockPath)
    , m_lock(lockPath)
{
    // A lock is never stale by age, only when its process is gone.
    m_lock.setStaleLockTime(0);
}

QString SingleInstance::defaultLockPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("talvex.lock"));
}

QString SingleInstance::folderLockPath(const QString& folder)
{
    const QByteArray hash = QCryptographicHash::hash(QDir::cleanPath(QDir(folder).absolutePath()).toUtf8(),
                                                     QCryptographicHash::Sha256).toHex().left(16);
    return QFileInfo(defaultLockPath()).dir().filePath(QStringLiteral("talvex-%1.lock").arg(QLatin1String(hash)));
}

SingleInstance::Result SingleInstance::acquire()
{
    if (m_lock.isLocked())
        return Result::Acquired;
    // tryLock removes a lock whose process has died and retries by itself.
    if (m_lock.tryLock(0))
        return Result::Acquired;
    if (m_lock.error() != QLockFile::LockFailedError)
        return Result::Unavailable;
    if (takeOverUnreadableLock() && m_lock.tryLock(0))
        return Result::Acquired;
    return Result::HeldElsewhere;
}

bool SingleInstance::takeOverUnreadableLock()
{
    // A crash while the file was being written leaves it empty or cut; with
    // no owner to check, it would otherwise lock the program out for good.
    // A second lock keeps two starting instances from both removing it, one
    // of them the other's fresh lock (the way QLockFile guards its own
    // removal of stale locks).
    QLockFile removal(m_path + QStringLiteral(".rmlock"));
    if (!removal.tryLock(0))
        return false;
    qint64 pid = 0;
    QString hostName;
    QString appName;
    if (m_lock.getLockInfo(&pid, &hostName, &appName))
        return false;
    const QDateTime modified = QFileInfo(m_path).lastModified();
    if (!modified.isValid() || qAbs(modified.msecsTo(QDateTime::currentDateTime())) < kUnreadableLockGraceMs)
        return false;
    return m_lock.removeStaleLockFile();
}

bool ensureSingleInstance(SingleInstance& instance)
{
    if (instance.acquire() != SingleInstance::Result::HeldElsewhere)
        return true;
    showMessage(QMessageBox::Critical, alreadyRunningText());
    return false;
}
