// POSIX body of the file operations.
#include <algorithm>
#include <cerrno>
#include <cstdint>
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

int control_file(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }

const PosixCalls SYSTEM_CALLS = {
    open_file,  control_file, ::fstat,  ::stat,  ::lstat,  ::readlink,  ::read,   ::write, ::lseek,
    ::copy_file_range, ::ftruncate, ::fchmod, ::fchown, ::linkat, ::rename, ::unlink, ::close,
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

// Opens without waiting (a FIFO would block the open until its other end
// came) and keeps only a regular file, which then reads and writes as usual.
int open_regular(const char* name, int flags, struct stat& info) {
    int fd = sys.open(name, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (sys.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || sys.fcntl(fd, F_SETFL, 0) != 0) {
        sys.close(fd);
        return -1;
    }
    return fd;
}

std::string folder_of(const std::string& name) {
    std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : name.substr(0, slash);
}

// The file a name leads to through symbolic links, as cp and CopyFileA
// follow them: the target is replaced and the link stays. Fills info and
// exists when that file exists; false when the links cannot be followed.
bool follow_links(const std::string& name, std::string& path, struct stat& info, bool& exists) {
    path = name;
    for (int depth = 0; depth < 40; ++depth) {
        if (sys.lstat(path.c_str(), &info) != 0) {
            exists = false;
            return errno == ENOENT;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            return true;
        }
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
        ssize_t length = sys.readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return false;
        std::string next(target.data(), static_cast<std::size_t>(length));
        path = (next[0] == '/' || path.find('/') == std::string::npos) ? next : folder_of(path) + "/" + next;
    }
    return false;  // links that go round in a circle
}

// A short name, whatever the length of the destination's, so that a
// destination with a name of 255 bytes can still be copied.
std::string temporary_name_in(const std::string& folder) {
    static unsigned counter = 0;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned value = static_cast<unsigned>(getpid()) * 2654435761u + (counter++) * 40503u +
                     static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&counter) >> 4);
    std::string name = ".hackcomp-";
    for (int i = 0; i < 6; ++i, value /= 36) name.push_back(letters[value % 36]);
    return folder + "/" + name;
}

mode_t current_umask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// The copy's permissions: a replaced destination keeps its own, a new one
// takes the source's less the umask, as cp gives them; neither keeps setuid,
// setgid or sticky.
mode_t copy_mode(const struct stat& source, const struct stat* destination) {
    if (destination != nullptr) return destination->st_mode & 0777;
    return source.st_mode & 0777 & ~current_umask();
}

// The kernel moves the bytes (or shares extents) without passing them through
// user space; plain blocks where it cannot.
void copy_dense(int in, int out, std::int64_t limit, CopyResult& result) {
    std::int64_t start = result.Copied;
    limit = limit > std::numeric_limits<std::int64_t>::max() - start ? std::numeric_limits<std::int64_t>::max()
                                                                     : start + limit;
    while (result.Copied < limit) {
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(limit - result.Copied, 1 << 30));
        ssize_t moved = sys.copy_file_range(in, nullptr, out, nullptr, want, 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved == 0) return;
        if (moved < 0) break;  // the plain copy goes on and tells which side failed
        result.Copied += moved;
    }
    copy_blocks(in, out, limit, result);
}

// Where the output has no bytes yet at and past its position, the input's
// holes need not be written: the output skips them and stays sparse.
// Where the output has no bytes yet at and past its position, the input's
// holes need not be written: the output skips them and stays sparse. False
// with failed set when the output cannot be measured.
bool may_skip_holes(int out, off_t out_at, bool& failed) {
    off_t end = sys.lseek(out, 0, SEEK_END);
    failed = end < 0 || sys.lseek(out, out_at, SEEK_SET) != out_at;
    return !failed && end <= out_at;
}

// Copies the input's data at the same distances from both positions and
// passes over its holes, then gives the output the length the holes reach.
void copy_sparse(int in, int out, off_t in_at, off_t out_at, std::int64_t limit, CopyResult& result) {
    off_t in_end = sys.lseek(in, 0, SEEK_END);
    if (in_end < 0) {
        result.ReadFailed = true;
        return;
    }
    off_t end = std::max(in_at, limit >= in_end - in_at ? in_end : static_cast<off_t>(in_at + limit));
    while (in_at + result.Copied < end) {
        off_t at = in_at + result.Copied;
        off_t data = sys.lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) data = end;  // a hole up to the end
        off_t hole = data < 0 || data >= end ? data : sys.lseek(in, data, SEEK_HOLE);
        if (data < 0 || hole < 0 || (data < end && sys.lseek(in, data, SEEK_SET) != data)) {
            result.ReadFailed = true;
            return;
        }
        data = std::min(data, end);
        result.Copied = data - in_at;  // the hole, passed over
        if (data == end) break;
        if (sys.lseek(out, out_at + result.Copied, SEEK_SET) != out_at + result.Copied) {
            result.WriteFailed = true;
            return;
        }
        std::int64_t wanted = std::min(hole, end) - data;
        copy_dense(in, out, wanted, result);
        if (result.ReadFailed || result.WriteFailed) return;
        if (result.Copied < data - in_at + wanted) return;  // the input got shorter meanwhile
    }
    // The input's position after what was taken, the output's after what was given.
    if (sys.lseek(in, in_at + result.Copied, SEEK_SET) < 0) {
        result.ReadFailed = true;
        return;
    }
    off_t written_end = sys.lseek(out, 0, SEEK_END);
    if (written_end < 0 || (written_end < out_at + result.Copied && sys.ftruncate(out, out_at + result.Copied) != 0) ||
        sys.lseek(out, out_at + result.Copied, SEEK_SET) < 0)
        result.WriteFailed = true;
}

// Copies the source into a new or emptied file, holes kept, and sets the
// copy's size to what was read.
bool copy_contents(int from, int to, CopyResult& result) {
    if (sys.lseek(from, 0, SEEK_SET) != 0) {  // a second attempt starts again
        result.ReadFailed = true;
        return false;
    }
    result = copy_bytes(from, to, std::numeric_limits<std::int64_t>::max());
    if (result.ReadFailed || result.WriteFailed) return false;
    if (sys.ftruncate(to, result.Copied) != 0) {
        result.WriteFailed = true;
        return false;
    }
    return true;
}

struct Copy {
    int From = -1;
    struct stat Source {};
    std::string Target;       // the destination, through its links
    bool TargetExists = false;
    struct stat Existing {};  // the destination as it was
};

bool close_checked(int& fd) {
    bool closed = sys.close(fd) == 0;
    fd = -1;
    return closed;
}

// Fills a file with the source's bytes and gives a new one its final mode.
bool fill(const Copy& copy, int to, bool is_new = true) {
    CopyResult result;
    if (!copy_contents(copy.From, to, result)) return false;
    if (!is_new) return true;  // the destination itself keeps its owner and mode
    if (copy.TargetExists) sys.fchown(to, copy.Existing.st_uid, copy.Existing.st_gid);  // only root may; else ours
    return sys.fchmod(to, copy_mode(copy.Source, copy.TargetExists ? &copy.Existing : nullptr)) == 0;
}

// The copy in a named file beside the destination, renamed over it.
CopyOutcome copy_by_named_file(const Copy& copy) {
    std::string temporary;
    int to = -1;
    for (int attempt = 0; attempt < 100 && to < 0; ++attempt) {
        temporary = temporary_name_in(folder_of(copy.Target));
        to = sys.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (to < 0 && errno != EEXIST) break;
    }
    if (to < 0) return CopyOutcome::Failed;  // errno tells whether the folder refused
    remember_temporary(temporary.c_str());
    bool copied = fill(copy, to);
    copied = close_checked(to) && copied;
    if (copied && sys.rename(temporary.c_str(), copy.Target.c_str()) == 0) {
        forget_temporary();
        return CopyOutcome::Copied;
    }
    sys.unlink(temporary.c_str());
    forget_temporary();
    errno = EIO;
    return CopyOutcome::Failed;
}

// The copy in a file without a name, so that nothing is left however the
// process ends; it is named only once complete, and renamed over the
// destination. Failed with errno EOPNOTSUPP where the filesystem or the
// system cannot do it, for the named file to take over.
CopyOutcome copy_by_unnamed_file(const Copy& copy) {
    int to = sys.open(folder_of(copy.Target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (to < 0) return CopyOutcome::Failed;
    if (!fill(copy, to)) {
        sys.close(to);
        errno = EIO;
        return CopyOutcome::Failed;
    }
    std::string temporary = temporary_name_in(folder_of(copy.Target));
    std::string handle = "/proc/self/fd/" + std::to_string(to);
    remember_temporary(temporary.c_str());
    bool named = sys.linkat(AT_FDCWD, handle.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0;
    int link_error = errno;
    bool closed = close_checked(to);
    if (named && closed && sys.rename(temporary.c_str(), copy.Target.c_str()) == 0) {
        forget_temporary();
        return CopyOutcome::Copied;
    }
    if (named) sys.unlink(temporary.c_str());
    forget_temporary();
    // Without /proc the unnamed file cannot be named: the named file does it.
    errno = !named && link_error == ENOENT ? EOPNOTSUPP : EIO;
    return CopyOutcome::Failed;
}

// Where the folder takes no new file but the destination may be written, the
// copy goes into the destination itself, as CopyFileA does.
CopyOutcome copy_in_place(const Copy& copy, int to) {
    if (sys.ftruncate(to, 0) != 0) return CopyOutcome::Failed;
    bool copied = fill(copy, to, false);
    copied = close_checked(to) && copied;
    return copied ? CopyOutcome::Copied : CopyOutcome::Failed;
}

bool folder_refuses(int error) { return error == EACCES || error == EPERM || error == EROFS; }

bool unsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

CopyOutcome copy_opened_source(Copy& copy, const char* destination) {
    if (!follow_links(destination, copy.Target, copy.Existing, copy.TargetExists)) return CopyOutcome::Refused;
    int writable = -1;
    if (copy.TargetExists) {
        // Only a regular file the user may write is replaced: never a
        // device, a FIFO or a folder, nor a file kept read-only.
        writable = open_regular(copy.Target.c_str(), O_WRONLY, copy.Existing);
        if (writable < 0) return CopyOutcome::Refused;
    }
    CopyOutcome outcome = copy_by_unnamed_file(copy);
    if (outcome == CopyOutcome::Failed && unsupported(errno)) outcome = copy_by_named_file(copy);
    if (outcome == CopyOutcome::Failed && folder_refuses(errno)) {
        if (writable < 0) return CopyOutcome::Refused;  // no file to make and none to write
        return copy_in_place(copy, writable);
    }
    if (writable >= 0) sys.close(writable);
    return outcome;
}

}  // namespace

// A file's holes are passed over where the output has nothing yet to
// overwrite; everything else is copied byte for byte.
CopyResult copy_bytes(FileHandle from, FileHandle to, std::int64_t limit) {
    CopyResult result;
    int in = static_cast<int>(from);
    int out = static_cast<int>(to);
    off_t in_at = sys.lseek(in, 0, SEEK_CUR);
    off_t out_at = sys.lseek(out, 0, SEEK_CUR);
    if (in_at < 0 || out_at < 0) {
        result.ReadFailed = in_at < 0;
        result.WriteFailed = in_at >= 0;
        return result;
    }
    bool sparse = may_skip_holes(out, out_at, result.WriteFailed);
    if (result.WriteFailed) return result;
    if (sparse)
        copy_sparse(in, out, in_at, out_at, limit, result);
    else
        copy_dense(in, out, limit, result);
    return result;
}

PosixCalls& posix_calls() { return calls; }

const PosixCalls& system_posix_calls() { return SYSTEM_CALLS; }

CopyOutcome copy_file(const char* source, const char* destination) {
    if (same_file(source, destination) || is_open(destination)) return CopyOutcome::NotCopied;
    Copy copy;
    copy.From = open_regular(source, O_RDONLY, copy.Source);
    if (copy.From < 0) return CopyOutcome::NotCopied;
    CopyOutcome outcome = copy_opened_source(copy, destination);
    sys.close(copy.From);  // only read: its close loses nothing
    return outcome;
}

FileHandle open_for_write(const char* name) {
    struct stat info;
    int fd = open_regular(name, O_WRONLY, info);
    if (fd < 0) return INVALID_FILE;
    if (is_open(info)) {
        sys.close(fd);
        return INVALID_FILE;
    }
    return keep_open(fd, info, true);
}

FileHandle open_for_read(const char* name) {
    struct stat info;
    int fd = open_regular(name, O_RDONLY, info);
    if (fd < 0) return INVALID_FILE;
    if (is_open_for_writing(info)) {
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
