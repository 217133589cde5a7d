// POSIX body of the operations that write whole new files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_calls.h"

namespace hc {

// Through the table of system calls, like the rest of the body, so that the
// fault tests reach these too.
FileHandle create_beside(const char* name, std::string& temporary) {
    // A name of this process's own, created exclusively; the usual mode, as
    // the umask allows, since the file takes the place of name. A signal
    // before it is renamed or removed removes it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = std::string(name) + ".hackcomp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        int fd = posix_calls().open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            remember_temporary(temporary.c_str());
            return fd;
        }
        if (errno != EEXIST) break;
    }
    temporary.clear();
    return INVALID_FILE;
}

bool rename_over(const char* temporary, const char* name) {
    if (posix_calls().rename(temporary, name) != 0) return false;
    forget_temporary();
    return true;
}

bool remove_file(const char* name) {
    bool removed = posix_calls().unlink(name) == 0;
    forget_temporary();
    return removed;
}

bool names_same_file(const char* a, const char* b) {
    struct stat info_a;
    struct stat info_b;
    if (posix_calls().stat(a, &info_a) != 0 || posix_calls().stat(b, &info_b) != 0) return false;
    return info_a.st_dev == info_b.st_dev && info_a.st_ino == info_b.st_ino;
}

std::int64_t file_size(FileHandle file) {
    struct stat info;
    if (posix_calls().fstat(static_cast<int>(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return info.st_size;
}

}  // namespace hc
