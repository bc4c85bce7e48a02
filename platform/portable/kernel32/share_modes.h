// Windows' share modes between the open handles of a file, across processes: each
// handle marks what it may do to the file (read, write, delete) and what it lets
// others do, with shared OFD locks on bytes far beyond any data. The marks belong to
// the open file itself, so a started program that inherits a handle keeps them, and
// they go when the last descriptor of it closes.
#pragma once

#include <windows.h>

namespace pw::kernel {

// Marks `fd` (opened for reading, or the marks cannot be placed) with the access and
// share mode of a new handle. ERROR_SHARING_VIOLATION when an open handle of another
// caller denies that access or holds one the share mode denies; the marks are then
// removed again. A file system without locks lets every handle open.
DWORD markShareMode(int fd, DWORD access, DWORD share);

// ERROR_SHARING_VIOLATION when an open handle denies deletion of the file at `host`.
DWORD checkDeleteAllowed(const char* host);

}  // namespace pw::kernel
