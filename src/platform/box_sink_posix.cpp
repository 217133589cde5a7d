// Error sink of hackcompbox on a system without message boxes: a framed box
// on the controlling terminal, held until the user presses Enter. Without a
// terminal the box goes to standard error and the build goes on at once.
// Standard output is never written.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"

namespace hc {
namespace {

constexpr const char* CAPTION = "VYX Hack Compiler Error";

void write_all(int fd, const std::string& text) {
    const char* data = text.data();
    std::size_t length = text.size();
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - text.size(), ' ');
}

std::string framed_box(const char* message) {
    std::string text = message;
    const std::string ok = "[ OK ]";
    std::size_t width = std::max({text.size(), std::strlen(CAPTION) + 4, ok.size()});
    std::string rule = "+" + std::string(width + 2, '-') + "+\n";
    std::string box;
    box += rule;
    box += "| " + padded(std::string("(x) ") + CAPTION, width) + " |\n";
    box += rule;
    box += "| " + padded(text, width) + " |\n";
    box += "| " + padded(std::string(width - ok.size(), ' ') + ok, width) + " |\n";
    box += rule;
    return box;
}

void wait_for_enter(int tty) {
    char c = 0;
    for (;;) {
        ssize_t got = read(tty, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || c == '\n' || c == '\r') return;
    }
}

}  // namespace

void report_error(const char* text) {
    std::string box = framed_box(text);
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        write_all(STDERR_FILENO, box);
        return;
    }
    write_all(tty, box + "Press Enter to close this message.\n");
    wait_for_enter(tty);
    close(tty);
}

void finish_reporting() {}

}  // namespace hc
