#pragma once

#include "core/state/MainState.h"

#include <QString>

// The address viewers type: "http://" + My_IP + ":" + My_PORT + "/". Before
// the listener has an address text, the loopback address stands in.
inline QString viewerAddress(const MainState& state)
{
    const QString host = state.My_IP.isEmpty() ? QStringLiteral("127.0.0.1") : state.My_IP;
    return QStringLiteral("http://") + host + QLatin1Char(':') + QString::number(state.My_PORT)
        + QLatin1Char('/');
}
