#pragma once

#include "image/MemoryDibPlatform.h"

#include <QString>
#include <QStringList>

// The real in-memory platform with one chosen step made to fail, and the
// message box replaced by a list of the texts it would have shown.
class FakeDibPlatform : public MemoryDibPlatform {
public:
    enum class Step {
        None,
        MemoryDc,          // CreateCompatibleDC(0)
        DibSection,        // CreateDIBSection
        ScreenDc,          // borrowing the screen DC
        TempDc,            // CreateCompatibleDC(some dc)
        CompatibleBitmap,  // CreateCompatibleBitmap
        OpenClipboard,
        SetClipboard,
    };

    Step failing = Step::None;
    QStringList messages;

    DcHandle createCompatibleDC(DcHandle dc) override
    {
        if (failing == (dc == 0 ? Step::MemoryDc : Step::TempDc))
            return 0;
        return MemoryDibPlatform::createCompatibleDC(dc);
    }
    BitmapHandle createDIBSection(DcHandle dc, const BitmapInfo& info, std::uint8_t** bits) override
    {
        if (failing == Step::DibSection) {
            *bits = nullptr;
            return 0;
        }
        return MemoryDibPlatform::createDIBSection(dc, info, bits);
    }
    BitmapHandle createCompatibleBitmap(DcHandle dc, std::int32_t width, std::int32_t height) override
    {
        return failing == Step::CompatibleBitmap ? 0 : MemoryDibPlatform::createCompatibleBitmap(dc, width, height);
    }
    DcHandle getScreenDC() override
    {
        return failing == Step::ScreenDc ? 0 : MemoryDibPlatform::getScreenDC();
    }
    bool openClipboard() override
    {
        return failing != Step::OpenClipboard && MemoryDibPlatform::openClipboard();
    }
    bool setClipboardBitmap(BitmapHandle bitmap) override
    {
        return failing != Step::SetClipboard && MemoryDibPlatform::setClipboardBitmap(bitmap);
    }
    void showMessage(const QString& text) override { messages << text; }
};
