#pragma once

#include "support/EventLoop.h"
#include "support/Loopback.h"
#include "support/Ports.h"

#include <QByteArray>
#include <QList>

// JPEG frames that differ from each other in every part: noise seeded by
// `seed`, so a part mixed from two frames matches neither.
QByteArray noiseJpeg(int width, int height, unsigned seed);
// Mid grey with one seeded noise patch: a full-size frame of a few
// kilobytes, for tests that read slowly.
QByteArray patchJpeg(int width, int height, unsigned seed);

// One received multipart answer split as a player would: the response head
// and each part's body. `exact` is false when anything between or around
// the parts differs from the expected framing.
struct ParsedStream {
    QByteArray head;
    QList<QByteArray> parts;
    QList<QByteArray> timestamps; // each part's X-Timestamp text; empty where it has none
    bool exact = true;
};
// A trailing part not yet whole is left out.
ParsedStream parseStream(const QByteArray& received);
