// The system calls the POSIX body makes on files, as one table of function
// pointers. The body calls nothing of the system's files but through this
// table, so a test can swap an entry to make the Nth call of a kind fail or
// fall short.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace hc {

struct PosixCalls {
    int (*open)(const char* name, int flags, mode_t mode);
    int (*fcntl)(int fd, int command, int argument);
    int (*fstat)(int fd, struct stat* info);
    int (*stat)(const char* name, struct stat* info);
    int (*lstat)(const char* name, struct stat* info);
    ssize_t (*readlink)(const char* name, char* buffer, size_t size);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*write)(int fd, const void* data, size_t count);
    off_t (*lseek)(int fd, off_t offset, int whence);
    ssize_t (*copy_file_range)(int in, off_t* in_offset, int out, off_t* out_offset, size_t count,
                               unsigned flags);
    int (*ftruncate)(int fd, off_t size);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*linkat)(int old_folder, const char* old_name, int new_folder, const char* new_name, int flags);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* name);
    int (*close)(int fd);
};

// The table in use; it starts with the system's own functions.
PosixCalls& posix_calls();

// The system's own functions, to restore or to call through.
const PosixCalls& system_posix_calls();

// The one named temporary file that exists while a copy is made, if any:
// SIGINT, SIGTERM and SIGHUP remove it before the process ends.
void remember_temporary(const char* name);
void forget_temporary();

}  // namespace hc
