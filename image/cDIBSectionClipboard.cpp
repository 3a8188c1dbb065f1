#include "image/cDIBSection.h"

#include <QString>

bool cDIBSection::CopyToClipboard(bool bAsDIB)
{
    const DcHandle screenDC = m_platform.getScreenDC();
    if (screenDC == 0)
        return false;
    const DcHandle tempDC = m_platform.createCompatibleDC(screenDC);
    if (tempDC == 0) {
        m_platform.releaseScreenDC(screenDC);
        return false;
    }

    bool result = false;
    if (bAsDIB) {
        m_platform.showMessage(
            QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"));
    } else if (m_memoryDC == 0) {
        // Nothing to copy: leave the clipboard as it is rather than put a
        // blank bitmap there and report success.
    } else if (const BitmapHandle bitmap = m_platform.createCompatibleBitmap(screenDC, Width(), Height());
               bitmap != 0) {
        const BitmapHandle old = m_platform.selectObject(tempDC, bitmap);
        PaintPicture(tempDC, 0, 0, -1, -1, 0, 0, RasterOp::SrcCopy);
        m_platform.selectObject(tempDC, old);
        if (m_platform.openClipboard()) {
            m_platform.emptyClipboard();
            result = m_platform.setClipboardBitmap(bitmap);
            m_platform.closeClipboard();
        }
        if (!result)
            m_platform.deleteObject(bitmap);
    }
    m_platform.deleteDC(tempDC);
    m_platform.releaseScreenDC(screenDC);
    return result;
}
