// POSIX body of the process operations: start-up (standard descriptors and
// signals), standard streams, the current folder, whole small files.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_calls.h"

namespace hc {
namespace {

// The temporary file's name, kept where a signal handler may read it: a
// fixed buffer and a flag set only once the name is complete.
char temporary_name[4096];
volatile std::sig_atomic_t temporary_named = 0;

void remove_temporary_and_end(int signal_number) {
    if (temporary_named) ::unlink(temporary_name);  // async-signal-safe
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// A closed 0, 1 or 2 would be taken by the next file opened, and messages
// written to 1 would land in it: /dev/null holds the place.
void open_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) continue;
        int null = ::open("/dev/null", O_RDWR);
        if (null < 0) return;
        if (null != fd) {  // cannot happen when the lower ones are open, but stay exact
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

void handle(int signal_number, void (*handler)(int)) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

bool write_all(int fd, const char* data, std::size_t count) {
    while (count > 0) {
        ssize_t written = ::write(fd, data, count);
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

bool change_folder(const char* folder) { return ::chdir(folder) == 0; }

bool name_exists(const char* name) {
    struct stat info;
    return ::stat(name, &info) == 0;
}

bool write_whole_file(const char* name, const char* data, std::size_t count) {
    std::string temporary = std::string(name) + ".hackcomp-XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    remember_temporary(temporary.c_str());
    bool written = write_all(fd, data, count) && ::fchmod(fd, 0644) == 0;
    written = ::close(fd) == 0 && written;
    bool renamed = written && ::rename(temporary.c_str(), name) == 0;
    if (!renamed) ::unlink(temporary.c_str());
    forget_temporary();
    return renamed;
}

void prepare_process() {
    open_standard_descriptors();
    // A reader that went away loses the messages, not the build.
    handle(SIGPIPE, SIG_IGN);
    // Past a file size limit the write fails and is reported as such.
    handle(SIGXFSZ, SIG_IGN);
    for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current;
        // A signal ignored by whoever started us stays ignored.
        if (sigaction(stop, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        handle(stop, remove_temporary_and_end);
    }
}

void remember_temporary(const char* name) {
    temporary_named = 0;
    std::size_t length = std::strlen(name);
    if (length >= sizeof temporary_name) return;
    std::memcpy(temporary_name, name, length + 1);
    temporary_named = 1;
}

void forget_temporary() { temporary_named = 0; }

}  // namespace hc
