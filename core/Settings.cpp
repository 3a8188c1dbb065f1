#include "core/Settings.h"

#include "core/SettingsReader.h"

#include <QFile>
#include <QSaveFile>

QString settingsPath(const QString& tempPath)
{
    return tempPath + QLatin1String("/Settings.ini");
}

void ReadSettings(const QString& tempPath, int16_t& quality, int16_t& rate, QString& keepTb,
                  int16_t& cfgPort)
{
    QFile file(settingsPath(tempPath));
    if (!file.open(QIODevice::ReadOnly))
        return;
    // The file is four short lines; a huge file is not ours, so read a bounded prefix.
    SettingsReader reader(file.read(64 * 1024));
    file.close();

    if (auto value = reader.nextInt16())
        quality = *value;
    if (auto value = reader.nextInt16())
        rate = *value;
    if (auto value = reader.nextString())
        keepTb = *value;
    if (auto value = reader.nextInt16())
        cfgPort = *value;
}

bool WriteSettings(const QString& tempPath, int16_t quality, int16_t rate, const QString& keepTb,
                   int16_t cfgPort)
{
    QByteArray bytes;
    bytes += QByteArray::number(quality) + "\r\n";
    bytes += QByteArray::number(rate) + "\r\n";
    bytes += '"' + keepTb.toLatin1() + "\"\r\n";
    bytes += QByteArray::number(cfgPort) + "\r\n";

    // Written beside the old file and renamed over it, so a write that fails
    // half-way (disk full, the program killed) never leaves a cut file.
    QSaveFile file(settingsPath(tempPath));
    // A folder the user may not write to can still hold a Settings.ini he
    // may write: then the file is rewritten in place, without the rename.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() does not report a failed flush of its own buffer (a full
    // disk): flush here so that such a file never replaces the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
