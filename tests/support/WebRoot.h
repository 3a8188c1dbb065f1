#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A directory with root/ holding player.html, error.htm and images/.
struct WebRootDir {
    WebRootDir();
    QString tempPath() const { return dir.path(); }
    QByteArray root() const; // native, ending in "/"
    void write(const QString& relative, const QByteArray& content) const;
    QTemporaryDir dir;
};

// Bytes that show any shift, cut or repeat.
QByteArray patternBytes(qsizetype size);
