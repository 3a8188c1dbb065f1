#pragma once

// Small helpers shared by the libFuzzer targets. A failed check aborts, which
// libFuzzer reports as a finding together with the input that caused it.

#include <QByteArray>

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                           \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

namespace fuzz {

inline std::string& tempDirToRemove()
{
    static std::string path;
    return path;
}

inline void removeTempDir()
{
    const auto remove = [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); };
    ::nftw(tempDirToRemove().c_str(), remove, 16, FTW_DEPTH | FTW_PHYS);
}

// A fresh directory for one fuzzing process, in memory where possible: the
// code under test flushes files to disk, which on a real disk would cut the
// run to a few dozen inputs a second. Removed when the run ends normally;
// after a finding it stays, to be looked at beside the input.
inline std::string makeTempDir()
{
    char inMemory[] = "/dev/shm/talvex-fuzz-XXXXXX";
    char onDisk[] = "/tmp/talvex-fuzz-XXXXXX";
    const char* made = ::mkdtemp(inMemory);
    if (!made)
        made = ::mkdtemp(onDisk);
    FUZZ_CHECK(made != nullptr);
    FUZZ_CHECK(tempDirToRemove().empty());
    tempDirToRemove() = made;
    std::atexit(removeTempDir);
    return made;
}

// Replaces the file with exactly these bytes; false when that failed.
inline bool writeFile(const std::string& path, const char* data, size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

inline bool writeFile(const std::string& path, const QByteArray& content)
{
    return writeFile(path, content.constData(), static_cast<size_t>(content.size()));
}

} // namespace fuzz
