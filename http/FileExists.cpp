#include "http/FileExists.h"

#include <QFile>

#include <sys/stat.h>

bool FileExists(const QByteArray& nativePath)
{
    struct stat info {};
    return FileExists(nativePath, info);
}

bool FileExists(const QByteArray& nativePath, struct stat& info)
{
    if (nativePath.isEmpty() || nativePath.contains('\0'))
        return false;
    const qsizetype slash = nativePath.lastIndexOf('/');
    const qsizetype nameStart = slash + 1;
    if (nameStart >= nativePath.size() || nativePath.at(nameStart) == '.')
        return false;
    if (::stat(nativePath.constData(), &info) != 0)
        return false;
    return S_ISREG(info.st_mode);
}

bool FileExists(const QString& path)
{
    if (path.contains(QChar(u'\0')))
        return false;
    return FileExists(QFile::encodeName(path));
}
