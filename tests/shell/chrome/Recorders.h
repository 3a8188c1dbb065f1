#pragma once

#include "shell/chrome/MessageBox.h"
#include "shell/chrome/UrlOpener.h"

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>

// Collects the URLs the program hands to the browser while it is alive.
struct UrlRecorder {
    QStringList urls;
    UrlRecorder() { setUrlOpener([this](const QString& url) { urls << url; }); }
    ~UrlRecorder() { setUrlOpener({}); }
    UrlRecorder(const UrlRecorder&) = delete;
    UrlRecorder& operator=(const UrlRecorder&) = delete;
};

struct RecordedMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Collects message boxes instead of showing them.
struct MessageRecorder {
    QList<RecordedMessage> messages;
    MessageRecorder()
    {
        setMessageHook([this](QMessageBox::Icon icon, const QString& title, const QString& text) {
            messages.append({icon, title, text});
        });
    }
    ~MessageRecorder() { setMessageHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
};

// Runs pending deferred deletes (closed windows) without running timers.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
