#pragma once

#include <sys/types.h>

#include <cstddef>

// Whole transfers on a blocking file descriptor: each call retries after a
// signal and after a short transfer until every byte has moved. False on an
// error or an early end of file; errno then tells which (0 at end of file).
bool readFully(int fd, void* data, size_t size);
bool readFullyAt(int fd, void* data, size_t size, off_t offset);
bool writeFully(int fd, const void* data, size_t size);
