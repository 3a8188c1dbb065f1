#pragma once

#include <sys/resource.h>

#include <csignal>

// Lowers this process's file size limit, so that writes to regular files
// fail with EFBIG as on a full disk (permissions do not bind root). SIGXFSZ
// is ignored meanwhile; both are restored when the guard goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        if (::sigaction(SIGXFSZ, &ignore, &m_savedAction) != 0)
            return;
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0) {
            ::sigaction(SIGXFSZ, &m_savedAction, nullptr);
            return;
        }
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_active = true;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        if (!m_active)
            return;
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::sigaction(SIGXFSZ, &m_savedAction, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    struct sigaction m_savedAction{};
    bool m_ok = false;
    bool m_active = false;
};
