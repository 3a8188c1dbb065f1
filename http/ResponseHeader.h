#pragma once

#include <QByteArray>

#include <cstdint>

// The seven header lines every answer carries, each ended by CR LF, and the
// empty line after them.
QByteArray responseHeader(const QByteArray& contentType, int32_t contentLength);
