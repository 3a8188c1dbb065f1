#pragma once

#include <QSettings>

// The user's configuration file (~/.config/Talvex/Talvex.conf), apart from
// Settings.ini, which holds only its four values: the capture choices and
// the stream port live here.
inline QSettings userConfig()
{
    return QSettings(QStringLiteral("Talvex"), QStringLiteral("Talvex"));
}
