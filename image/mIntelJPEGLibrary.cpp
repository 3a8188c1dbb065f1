#include "image/mIntelJPEGLibrary.h"

#include "image/FileReplace.h"
#include "image/JpegEncoder.h"
#include "image/cDIBSection.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace mIntelJPEGLibrary {
namespace {

// Each thread that writes snapshots has its own compressor and error.
thread_local JpegError s_lastError;

JpegEncoder& encoder()
{
    thread_local JpegEncoder instance;
    return instance;
}

QString errorSource()
{
    QString exe;
    if (QCoreApplication::instance())
        exe = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (exe.isEmpty())
        exe = QString::fromLocal8Bit(program_invocation_short_name);
    return exe + QStringLiteral(".mIntelJPEGLibrary");
}

// The routine's own failure path: the error is recorded, the caller sees false.
bool fail(const char* what, std::int32_t status)
{
    s_lastError.number = kErrorNumber;
    s_lastError.source = errorSource();
    s_lastError.description = QString::fromLatin1(what) + QString::number(status);
    return false;
}

bool saveImage(cDIBSection& image, const QString& path, std::int32_t quality, QByteArray* encoded)
{
    static constexpr char kInitFailed[] = "Failed to initialise the IJL library: ";
    static constexpr char kSaveFailed[] = "Failed to save to JPG ";

    if (!encoder().ensureReady())
        return fail(kInitFailed, StatusInitFailed);

    const std::uint8_t* bits = image.DIBSectionBitsPtr();
    const std::int32_t width = image.Width();
    const std::int32_t height = image.Height();
    if (!bits || width <= 0 || height <= 0)
        return fail(kSaveFailed, StatusNoImage);

    // The rows are handed over in place: bottom-up, padded, never copied.
    const std::uint8_t* jpeg = nullptr;
    std::size_t size = 0;
    if (!encoder().encodeBottomUpBgr(bits, width, image.BytesPerScanLine(), height,
                                     std::clamp<std::int32_t>(quality, 1, 100), &jpeg, &size))
        return fail(kSaveFailed, StatusEncodeFailed);
    if (encoded)
        *encoded = QByteArray(reinterpret_cast<const char*>(jpeg), static_cast<qsizetype>(size));

    switch (replaceFileKeepingStamps(path, jpeg, size)) {
    case ReplaceStatus::Ok:
        return true;
    case ReplaceStatus::CreateFailed:
        return fail(kSaveFailed, StatusCreateFailed);
    case ReplaceStatus::WriteFailed:
        return fail(kSaveFailed, StatusWriteFailed);
    case ReplaceStatus::RenameFailed:
        return fail(kSaveFailed, StatusReplaceFailed);
    }
    return fail(kSaveFailed, StatusWriteFailed);
}

} // namespace

bool SaveJpegFile(cDIBSection& image, const QString& path, std::int32_t quality)
{
    return SaveJpegFile(image, path, quality, nullptr);
}

bool SaveJpegFile(cDIBSection& image, const QString& path, std::int32_t quality, QByteArray* encoded)
{
    s_lastError = JpegError{};
    if (encoded)
        encoded->clear();
    try {
        return saveImage(image, path, quality, encoded);
    } catch (...) {
        // Out of memory or an unrepresentable size: the caller only ever sees false.
        try {
            fail("Failed to save to JPG ", StatusEncodeFailed);
        } catch (...) {
        }
        return false;
    }
}

JpegError lastError()
{
    return s_lastError;
}

} // namespace mIntelJPEGLibrary
