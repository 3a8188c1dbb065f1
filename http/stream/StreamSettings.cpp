#include "http/stream/StreamSettings.h"

#include <QSettings>

namespace {

QSettings userSettings()
{
    return QSettings(QStringLiteral("Talvex"), QStringLiteral("Talvex"));
}

const QString portKey = QStringLiteral("Stream/Port");
const QString maxClientsKey = QStringLiteral("Stream/MaxClients");

} // namespace

namespace StreamSettings {

int port()
{
    bool ok = false;
    const int value = userSettings().value(portKey).toString().trimmed().toInt(&ok);
    return ok && value > 0 && value <= 65535 ? value : 0;
}

void setPort(int port)
{
    userSettings().setValue(portKey, port);
}

int maxClients()
{
    bool ok = false;
    const int value = userSettings().value(maxClientsKey).toString().trimmed().toInt(&ok);
    return ok && value > 0 ? value : kDefaultMaxClients;
}

void setMaxClients(int count)
{
    userSettings().setValue(maxClientsKey, count);
}

} // namespace StreamSettings
