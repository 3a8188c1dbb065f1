#include "shell/chrome/UrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

// Removes an environment variable and puts it back at the end of the scope.
class ScopedUnsetEnv {
public:
    explicit ScopedUnsetEnv(const char* name)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_value(qgetenv(name))
    {
        if (m_wasSet)
            qunsetenv(name);
    }
    ~ScopedUnsetEnv()
    {
        if (m_wasSet)
            qputenv(m_name, m_value);
    }
    ScopedUnsetEnv(const ScopedUnsetEnv&) = delete;
    ScopedUnsetEnv& operator=(const ScopedUnsetEnv&) = delete;

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_value;
};

std::function<void(const QString&)>& urlOpener()
{
    static std::function<void(const QString&)> opener;
    return opener;
}

} // namespace

void openUrl(const QString& url)
{
    // The program sets QT_NO_GLIB for its own event loop only; a browser
    // started from here must not inherit it (a Qt-based one would run on
    // the wrong dispatcher), so it is lifted while the handler runs.
    const ScopedUnsetEnv noGlib("QT_NO_GLIB");
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
