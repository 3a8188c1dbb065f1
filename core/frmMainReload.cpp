#include "core/frmMain.h"

#include "core/state/UserConfig.h"
#include "http/stream/StreamSettings.h"

QString frmMain::configuredBind()
{
    return userConfig().value(QStringLiteral("Server/Bind")).toString().trimmed();
}

QStringList frmMain::reloadConfiguration()
{
    QStringList applied;
    StreamServer::Limits limits = m_stream->limits();
    if (limits.maxClients != StreamSettings::maxClients()) {
        limits.maxClients = StreamSettings::maxClients();
        m_stream->setLimits(limits);
        applied << QStringLiteral("stream MaxClients %1").arg(limits.maxClients);
    }

    const int fps = m_encoder->maxFps();
    applyStreamSettings();
    if (m_encoder->maxFps() != fps)
        applied << QStringLiteral("stream MaxFps %1").arg(m_encoder->maxFps());

    // --bind and --stream-port outrank the file for the whole run.
    const QString bind = configuredBind();
    const bool bindChanged = m_env.bindAddress.isEmpty() && bind != m_configuredBind;
    m_configuredBind = bind;
    const int port = m_env.streamPort ? *m_env.streamPort : StreamSettings::port();
    const int current = m_stream->isListening() ? m_stream->port() : 0;
    if (port != current || (bindChanged && port > 0)) {
        m_stream->close();
        startStream();
        applied << (m_stream->isListening() ? QStringLiteral("stream on port %1").arg(m_stream->port())
                                            : QStringLiteral("stream off"));
    }
    if (bindChanged) {
        // The web listener alone is opened again, on its own port, as when
        // it is lost; connections being answered keep their slots.
        webServer[0].setBindAddress(bind);
        m.portTries = 5;
        StartServer();
        applied << QStringLiteral("bind address \"%1\"").arg(bind);
    }
    return applied;
}
