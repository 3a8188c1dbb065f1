#include "http/stream/StreamSettings.h"

#include "core/state/UserConfig.h"

namespace {

const QString portKey = QStringLiteral("Stream/Port");
const QString maxClientsKey = QStringLiteral("Stream/MaxClients");
const QString maxFpsKey = QStringLiteral("Stream/MaxFps");
const QString passthroughKey = QStringLiteral("Stream/Passthrough");

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

int maxFps()
{
    bool ok = false;
    const int value = userConfig().value(maxFpsKey).toString().trimmed().toInt(&ok);
    return ok && value > 0 && value <= kMaxFpsLimit ? value : kDefaultMaxFps;
}

bool passthrough()
{
    const QString value = userConfig().value(passthroughKey).toString().trimmed().toLower();
    return !(value == QLatin1String("false") || value == QLatin1String("0") || value == QLatin1String("no")
             || value == QLatin1String("off"));
}

} // namespace StreamSettings
