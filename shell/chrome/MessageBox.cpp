#include "shell/chrome/MessageBox.h"

#include "shell/chrome/AppInfo.h"

namespace {

MessageHook& messageHook()
{
    static MessageHook hook;
    return hook;
}

} // namespace

void showMessage(QMessageBox::Icon icon, const QString& text)
{
    const QString title = AppInfo::title();
    if (messageHook()) {
        messageHook()(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok);
    box.exec();
}

void setMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}
