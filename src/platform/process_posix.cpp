// POSIX body of the process operations: standard streams, current folder.
#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace hc {
namespace {

bool write_all(int fd, const char* data, std::size_t count) {
    while (count > 0) {
        ssize_t written = write(fd, data, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

void write_standard_output(const char* data, std::size_t count) { write_all(STDOUT_FILENO, data, count); }

void write_standard_error(const char* data, std::size_t count) { write_all(STDERR_FILENO, data, count); }

bool change_folder(const char* folder) { return chdir(folder) == 0; }

bool name_exists(const char* name) {
    struct stat info;
    return stat(name, &info) == 0;
}

bool write_whole_file(const char* name, const char* data, std::size_t count) {
    std::string temporary = std::string(name) + ".hackcomp-XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool written = write_all(fd, data, count) && fchmod(fd, 0644) == 0;
    written = close(fd) == 0 && written;
    if (written && rename(temporary.c_str(), name) == 0) return true;
    unlink(temporary.c_str());
    return false;
}

}  // namespace hc
