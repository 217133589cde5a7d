// Error sink of hackcompbox on a system without message boxes: a framed box
// on the controlling terminal, held until the user presses Enter. Without a
// terminal the box goes to standard error and the build goes on at once.
// Standard output is never written.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <sys/ioctl.h>

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

// A line of the box: its bytes and its width in characters.
struct BoxLine {
    std::string Text;
    std::size_t Width = 0;
};

// The length of the UTF-8 sequence that starts text[at], or 0 when the
// bytes there are not one well-formed character.
std::size_t utf8_length(const std::string& text, std::size_t at) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || at + length > text.size() || (length == 2 && lead < 0xC2)) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    // C1 controls (U+0080 to U+009F) act on the terminal like C0 ones.
    if (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) return 0;
    return length;
}

// What the terminal shows for a message: each character as itself, except
// controls and bytes that are no character, which are shown escaped
// (\n, \t, \r, \xNN), so that nothing in a name can move the cursor or
// change the terminal. Split into characters, each with its width.
std::vector<BoxLine> shown_characters(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::vector<BoxLine> characters;
    for (std::size_t at = 0; at < text.size();) {
        unsigned char byte = static_cast<unsigned char>(text[at]);
        std::size_t length = utf8_length(text, at);
        if (length > 0 && byte >= 0x20 && byte != 0x7F) {
            characters.push_back({text.substr(at, length), 1});
            at += length;
            continue;
        }
        std::string escaped = byte == '\n' ? "\\n" : byte == '\t' ? "\\t" : byte == '\r' ? "\\r" : "";
        if (escaped.empty()) escaped = std::string("\\x") + digits[byte >> 4] + digits[byte & 15];
        for (char c : escaped) characters.push_back({std::string(1, c), 1});
        at += 1;
    }
    return characters;
}

// Lines of at most width characters, broken after a blank where there is one.
std::vector<BoxLine> wrapped(const std::string& text, std::size_t width) {
    std::vector<BoxLine> characters = shown_characters(text);
    std::vector<BoxLine> lines;
    std::size_t start = 0;
    while (start < characters.size() || lines.empty()) {
        std::size_t end = std::min(characters.size(), start + width);
        if (end < characters.size()) {
            for (std::size_t blank = end; blank > start + width / 2; --blank)
                if (characters[blank - 1].Text == " ") {
                    end = blank;
                    break;
                }
        }
        BoxLine line;
        for (std::size_t i = start; i < end; ++i) {
            line.Text += characters[i].Text;
            line.Width += characters[i].Width;
        }
        lines.push_back(line);
        start = end;
        if (characters.empty()) break;
    }
    return lines;
}

std::string padded(const BoxLine& line, std::size_t width) {
    return line.Text + std::string(width - std::min(width, line.Width), ' ');
}

BoxLine plain(const std::string& text) { return {text, text.size()}; }

// The box fits a terminal of columns characters (borders and margins take 4).
std::string framed_box(const char* message, std::size_t columns) {
    const std::string ok = "[ OK ]";
    const std::string title = std::string("(x) ") + CAPTION;
    std::size_t most = std::max<std::size_t>(columns > 4 ? columns - 4 : 1, title.size());
    std::vector<BoxLine> lines = wrapped(message, most);
    std::size_t width = std::max(title.size(), ok.size());
    for (const BoxLine& line : lines) width = std::max(width, line.Width);
    std::string rule = "+" + std::string(width + 2, '-') + "+\n";
    std::string box;
    box += rule;
    box += "| " + padded(plain(title), width) + " |\n";
    box += rule;
    for (const BoxLine& line : lines) box += "| " + padded(line, width) + " |\n";
    box += "| " + padded(plain(std::string(width - ok.size(), ' ') + ok), width) + " |\n";
    box += rule;
    return box;
}

// The terminal's width in characters; 80 when it does not say.
std::size_t terminal_columns(int fd) {
    struct winsize size;
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
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
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        write_all(STDERR_FILENO, framed_box(text, terminal_columns(STDERR_FILENO)));
        return;
    }
    write_all(tty, framed_box(text, terminal_columns(tty)) + "Press Enter to close this message.\n");
    wait_for_enter(tty);
    close(tty);
}

void finish_reporting() {}

}  // namespace hc
