#include "shell/chrome/UrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

std::function<void(const QString&)>& urlOpener()
{
    static std::function<void(const QString&)> opener;
    return opener;
}

} // namespace

void openUrl(const QString& url)
{
    if (urlOpener()) {
        urlOpener()(url);
        return;
    }
    // Tolerant parsing: an address without a host (no listener yet) is still
    // handed over as it is; the browser shows its own error.
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

void setUrlOpener(std::function<void(const QString&)> opener)
{
    urlOpener() = std::move(opener);
}
