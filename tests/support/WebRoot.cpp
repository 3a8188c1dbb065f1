#include "support/WebRoot.h"

#include <QDir>
#include <QFile>

WebRootDir::WebRootDir()
{
    QDir(dir.path()).mkpath(QStringLiteral("root/images"));
    write(QStringLiteral("player.html"), "<html>player</html>\n");
    write(QStringLiteral("error.htm"), "<html>error</html>\n");
}

QByteArray WebRootDir::root() const
{
    return QFile::encodeName(dir.path() + QStringLiteral("/root/"));
}

void WebRootDir::write(const QString& relative, const QByteArray& content) const
{
    QFile file(dir.path() + QStringLiteral("/root/") + relative);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QByteArray patternBytes(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return data;
}
