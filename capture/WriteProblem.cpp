#include "capture/WriteProblem.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

QString folderProblem(const QString& filePath)
{
    const QString folder = QFileInfo(filePath).absolutePath();
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("folder %1 is missing").arg(folder);
    if (!info.isDir())
        return QStringLiteral("%1 is not a folder").arg(folder);
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("folder %1 is not writable").arg(folder);
    return {};
}
