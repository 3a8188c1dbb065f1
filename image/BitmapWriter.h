#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

// Writes a picture as a standard Windows bitmap file: 14-byte file header,
// 40-byte info header, 24 bits per pixel, rows bottom-up and padded to four
// bytes. The whole file is assembled in `buffer` (kept by the caller so a
// frame every cycle does not allocate and fault in megabytes each time) and
// goes to disk in one write. On failure no partial file is left at `path`
// and *error (when given) says why.
bool writeBitmapFile(const QImage& image, const QString& path,
                     std::vector<uint8_t>& buffer, QString* error = nullptr);
