#pragma once

#include <QSettings>

// The user's configuration file (~/.config/Talvex/Talvex.conf), apart from
// Settings.ini, which holds only its four values: the capture choices and
// the stream port live here.
// Set once before anything is read (--folder): the file used instead.
inline QString& userConfigFile()
{
    static QString file;
    return file;
}

inline QSettings userConfig()
{
    if (!userConfigFile().isEmpty())
        return QSettings(userConfigFile(), QSettings::IniFormat);
    return QSettings(QStringLiteral("Talvex"), QStringLiteral("Talvex"));
}
