#include "shell/StartupMessages.h"

#include "shell/chrome/AppInfo.h"
#include "shell/chrome/MessageBox.h"

#include <exception>

QString alreadyRunningText()
{
    return AppInfo::title() + QStringLiteral(" is already running!\n\nThis instance will be close");
}

QString loadFailureText(const QString& description)
{
    return QStringLiteral("An error has occured! Please send this message to support at ")
        + AppInfo::supportEmail() + QStringLiteral(". Error Message: ") + description;
}

bool runGuardedLoad(const std::function<void()>& load)
{
    QString description;
    try {
        if (load)
            load();
        return true;
    } catch (const std::exception& failure) {
        description = QString::fromLocal8Bit(failure.what());
    } catch (...) {
        description = QStringLiteral("Unknown error");
    }
    // Shown outside the handler, so that a failure while showing it cannot
    // meet a half-unwound exception.
    showMessage(QMessageBox::Critical, loadFailureText(description));
    return false;
}
