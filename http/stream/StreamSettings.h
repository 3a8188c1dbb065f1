#pragma once

// The stream's entries in the user's configuration (the QSettings file that
// also keeps the camera choice): "Stream/Port" (0 or absent: no stream) and
// "Stream/MaxClients" (default 50).
namespace StreamSettings {

constexpr int kDefaultMaxClients = 50;

// 0 when the stream is off or the stored value is not a port.
int port();
void setPort(int port);
int maxClients();
void setMaxClients(int count);

} // namespace StreamSettings
