#include "shell/RuntimeFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

bool privateFolder(const std::string& path)
{
    struct stat info {};
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 0077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

} // namespace

void ensureRuntimeFolder()
{
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current && *current)
        return;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
    const passwd* user = ::getpwuid(::geteuid());
    std::string path = base + "/runtime-" + (user ? user->pw_name : std::to_string(::geteuid()));
    if (!privateFolder(path)) {
        std::string pattern = base + "/talvex-runtime-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return; // Qt then says why itself
        path = pattern;
    }
    ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
}
