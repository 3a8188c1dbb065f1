#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

class cDIBSection;

namespace mIntelJPEGLibrary {

constexpr std::int32_t kErrorNumber = 26001;

// Status codes that follow the error descriptions.
enum Status : std::int32_t {
    StatusOk = 0,
    StatusInitFailed = -1,   // the compressor could not be created
    StatusNoImage = -2,      // the image has no pixel block
    StatusEncodeFailed = -3, // the encoder refused the image
    StatusCreateFailed = -4, // no temporary file could be made beside the target
    StatusWriteFailed = -5,  // writing the temporary file failed
    StatusReplaceFailed = -6 // the temporary file could not take the target's place
};

struct JpegError {
    std::int32_t number = 0; // 0: the last call succeeded
    QString source;
    QString description;
};

// Writes `image` (read only) as a JPEG file at `path`; quality outside 1..100
// is clamped. An existing file is replaced as a whole, keeping its permission
// bits and last-access and last-write times; a failed call leaves it as it
// was. Returns false on any failure and never throws. Any thread.
bool SaveJpegFile(cDIBSection& image, const QString& path, std::int32_t quality);
// The same, and when the picture was encoded (even if the file could not be
// written) `encoded` receives the JPEG bytes, so callers that pass them on
// need neither a second encode nor a read of the file.
bool SaveJpegFile(cDIBSection& image, const QString& path, std::int32_t quality, QByteArray* encoded);

// What went wrong in this thread's last call of SaveJpegFile.
JpegError lastError();

} // namespace mIntelJPEGLibrary
