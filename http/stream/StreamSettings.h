#pragma once

// The stream's entries in the user's configuration (the QSettings file that
// also keeps the camera choice): "Stream/Port" (0 or absent: no stream),
// "Stream/MaxClients" (default 50), "Stream/MaxFps" (default 30: the most
// frames a second the stream encodes) and "Stream/Passthrough" (default
// true: a camera's own JPEGs go out unchanged).
namespace StreamSettings {

constexpr int kDefaultMaxClients = 50;
constexpr int kDefaultMaxFps = 30;
constexpr int kMaxFpsLimit = 120;

// 0 when the stream is off or the stored value is not a port.
int port();
void setPort(int port);
int maxClients();
void setMaxClients(int count);
// 1..kMaxFpsLimit; anything else stored gives the default.
int maxFps();
bool passthrough();

} // namespace StreamSettings
