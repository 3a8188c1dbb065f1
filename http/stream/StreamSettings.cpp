#include "http/stream/StreamSettings.h"

#include "core/state/UserConfig.h"

namespace {

const QString portKey = QStringLiteral("Stream/Port");
const QString maxClientsKey = QStringLiteral("Stream/MaxClients");

} // namespace

namespace StreamSettings {

int port()
{
    bool ok = false;
    const int value = userConfig().value(portKey).toString().trimmed().toInt(&ok);
    return ok && value > 0 && value <= 65535 ? value : 0;
}

void setPort(int port)
{
    userConfig().setValue(portKey, port);
}

int maxClients()
{
    bool ok = false;
    const int value = userConfig().value(maxClientsKey).toString().trimmed().toInt(&ok);
    return ok && value > 0 ? value : kDefaultMaxClients;
}

void setMaxClients(int count)
{
    userConfig().setValue(maxClientsKey, count);
}

} // namespace StreamSettings
