// Error sink of hackcomp: each message on standard output, byte for byte.
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "platform/platform.h"

namespace hc {
namespace {

bool printed_any = false;

void write_to_stdout(const char* text, std::size_t length) {
    while (length > 0) {
        ssize_t written = write(STDOUT_FILENO, text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

}  // namespace

void report_error(const char* text) {
    // Unbuffered: the message is out before the build goes on.
    write_to_stdout(text, std::strlen(text));
    printed_any = true;
}

void finish_reporting() {
    // Messages run together on one line; end it so the shell prompt starts on
    // a line of its own. Redirected output stays exactly the messages.
    if (printed_any && isatty(STDOUT_FILENO)) write_to_stdout("\n", 1);
}

}  // namespace hc
