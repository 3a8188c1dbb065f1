#pragma once

#include <cstddef>
#include <cstdint>

class QString;

enum class ReplaceStatus { Ok, CreateFailed, WriteFailed, RenameFailed };

// Writes `data` as the file at `path` without ever exposing a partial file:
// the bytes go to a temporary file in the same directory, which takes over an
// existing file's permission bits and last-access and last-write times and
// then takes the path's place in one atomic step, so a reader sees the old
// file or the new one, whole. On any failure the old file is untouched and
// the temporary file is gone.
ReplaceStatus replaceFileKeepingStamps(const QString& path, const std::uint8_t* data, std::size_t size);

// Swaps the names of two existing files (renameat2 with RENAME_EXCHANGE),
// 0 or -1 with errno set. Replaceable so that a file system without the
// exchange can be played; nullptr restores the real call.
using ExchangeNames = int (*)(const char* from, const char* to);
void setExchangeNames(ExchangeNames call);
