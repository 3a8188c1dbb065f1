#include "shell/SignalCloser.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int s_pipe[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a close request; losing this one is fine.
    [[maybe_unused]] const ssize_t n = ::write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

SignalCloser::SignalCloser(QObject* parent)
    : QObject(parent)
{
    if (s_pipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, s_pipe) != 0) {
        s_pipe[0] = s_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalCloser::readPending);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

SignalCloser::~SignalCloser()
{
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

void SignalCloser::readPending()
{
    unsigned char bytes[16];
    int chosen = 0;
    for (;;) {
        const ssize_t n = ::read(s_pipe[0], bytes, sizeof bytes);
        if (n <= 0)
            break;
        // Without a window SIGHUP only reloads: a SIGTERM or SIGINT read
        // in the same batch must not be lost behind it.
        for (ssize_t i = 0; i < n; ++i)
            if (bytes[i] != SIGHUP || chosen == 0)
                chosen = bytes[i];
    }
    if (chosen != 0)
        emit closeRequested(chosen);
}
