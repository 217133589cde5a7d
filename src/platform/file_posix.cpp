// POSIX body of the file operations.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_calls.h"

namespace hc {
namespace {

int open_file(const char* name, int flags, mode_t mode) { return ::open(name, flags, mode); }

const PosixCalls SYSTEM_CALLS = {
    open_file, ::fstat, ::stat,           ::read,     ::write, ::lseek, ::copy_file_range,
    ::fchmod,  ::mkostemp, ::rename, ::unlink, ::close,
};

PosixCalls calls = SYSTEM_CALLS;

// Every system call below goes through the table.
PosixCalls& sys = calls;

struct FileIdentity {
    int fd;
    dev_t device;
    ino_t inode;
    bool writing;
};

// The files this process holds open. Windows refuses to open a file for
// reading while this process writes it, or for writing while it reads it,
// when each open shares only reading; doing the same here keeps a build that
// names the destination as a data file, or the script as the destination,
// alike on both (and the script safe).
std::vector<FileIdentity>& open_files() {
    static std::vector<FileIdentity> files;
    return files;
}

bool is_open_for_writing(const struct stat& info) {
    for (const FileIdentity& file : open_files())
        if (file.writing && file.device == info.st_dev && file.inode == info.st_ino) return true;
    return false;
}

bool is_open(const struct stat& info) {
    for (const FileIdentity& file : open_files())
        if (file.device == info.st_dev && file.inode == info.st_ino) return true;
    return false;
}

bool is_open(const char* name) {
    struct stat info;
    return sys.stat(name, &info) == 0 && is_open(info);
}

FileHandle keep_open(int fd, const struct stat& info, bool writing) {
    open_files().push_back({fd, info.st_dev, info.st_ino, writing});
    return fd;
}

bool same_file(const char* a, const char* b) {
    struct stat info_a;
    struct stat info_b;
    if (sys.stat(a, &info_a) != 0 || sys.stat(b, &info_b) != 0) return false;
    return info_a.st_dev == info_b.st_dev && info_a.st_ino == info_b.st_ino;
}

bool write_all(int fd, const unsigned char* data, std::size_t count) {
    while (count > 0) {
        ssize_t written = sys.write(fd, data, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

constexpr std::size_t BLOCK_SIZE = 1 << 16;

void copy_blocks(int from, int to, std::int64_t limit, CopyResult& result) {
    std::vector<unsigned char> block(BLOCK_SIZE);
    while (result.Copied < limit) {
        std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(limit - result.Copied, static_cast<std::int64_t>(block.size())));
        ssize_t got = sys.read(from, block.data(), want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result.ReadFailed = true;
        if (got <= 0) return;
        if (!write_all(to, block.data(), static_cast<std::size_t>(got))) {
            result.WriteFailed = true;
            return;
        }
        result.Copied += got;
    }
}

}  // namespace

// The kernel moves the bytes (or shares extents) without passing them through
// user space; plain blocks where it cannot.
CopyResult copy_bytes(FileHandle from, FileHandle to, std::int64_t limit) {
    CopyResult result;
    int in = static_cast<int>(from);
    int out = static_cast<int>(to);
    while (result.Copied < limit) {
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(limit - result.Copied, 1 << 30));
        ssize_t moved = sys.copy_file_range(in, nullptr, out, nullptr, want, 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved == 0) return result;
        if (moved < 0) break;  // the plain copy goes on and tells which side failed
        result.Copied += moved;
    }
    copy_blocks(in, out, limit, result);
    return result;
}

PosixCalls& posix_calls() { return calls; }

const PosixCalls& system_posix_calls() { return SYSTEM_CALLS; }

bool copy_file(const char* source, const char* destination) {
    if (same_file(source, destination) || is_open(destination)) return false;
    int from = sys.open(source, O_RDONLY | O_CLOEXEC, 0);
    if (from < 0) return false;
    struct stat source_info;
    if (sys.fstat(from, &source_info) != 0 || !S_ISREG(source_info.st_mode)) {
        sys.close(from);
        return false;
    }
    // Copy beside the destination and rename over it, so that a failed copy
    // leaves the old destination (or none) rather than half a file.
    std::string temporary = std::string(destination) + ".hackcomp-XXXXXX";
    int to = sys.mkostemp(temporary.data(), O_CLOEXEC);
    if (to < 0) {
        sys.close(from);
        return false;
    }
    CopyResult copy = copy_bytes(from, to, std::numeric_limits<std::int64_t>::max());
    bool copied = !copy.ReadFailed && !copy.WriteFailed && sys.fchmod(to, source_info.st_mode & 07777) == 0;
    sys.close(from);
    copied = (sys.close(to) == 0) && copied;
    if (copied && sys.rename(temporary.c_str(), destination) == 0) return true;
    sys.unlink(temporary.c_str());
    return false;
}

FileHandle open_for_write(const char* name) {
    int fd = sys.open(name, O_WRONLY | O_CLOEXEC, 0);
    if (fd < 0) return INVALID_FILE;
    struct stat info;
    if (sys.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || is_open(info)) {
        sys.close(fd);
        return INVALID_FILE;
    }
    return keep_open(fd, info, true);
}

FileHandle open_for_read(const char* name) {
    int fd = sys.open(name, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return INVALID_FILE;
    struct stat info;
    if (sys.fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || is_open_for_writing(info)) {
        sys.close(fd);
        return INVALID_FILE;
    }
    return keep_open(fd, info, false);
}

bool set_position(FileHandle file, std::int32_t position) {
    if (position < 0) return false;
    return sys.lseek(static_cast<int>(file), position, SEEK_SET) == position;
}

std::int32_t read_bytes(FileHandle file, void* buffer, std::int32_t count) {
    for (;;) {
        ssize_t got = sys.read(static_cast<int>(file), buffer, static_cast<std::size_t>(count));
        if (got < 0 && errno == EINTR) continue;
        return got < 0 ? -1 : static_cast<std::int32_t>(got);
    }
}

bool write_bytes(FileHandle file, const void* data, std::int32_t count) {
    return write_all(static_cast<int>(file), static_cast<const unsigned char*>(data),
                     static_cast<std::size_t>(count));
}

bool close_file(FileHandle file) {
    std::vector<FileIdentity>& files = open_files();
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (it->fd == file) {
            files.erase(it);
            break;
        }
    }
    return sys.close(static_cast<int>(file)) == 0;
}

}  // namespace hc
