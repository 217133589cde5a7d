#include "script/script_reader.h"

#include <algorithm>
#include <iterator>

namespace hc {
namespace {

constexpr int END = -1;
constexpr int NO_CHARACTER = -1;
constexpr unsigned char END_OF_TEXT = 0x1A;

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_white_space(int c) { return is_blank(c) || c == '\v' || c == '\f'; }

int digit_value(int c, std::uint32_t base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value >= 0 && static_cast<std::uint32_t>(value) < base ? value : -1;
}

constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

// Reads the next block; false at the end of the file or when reading fails.
bool refill(ScriptReader& reader) {
    std::int32_t got = read_bytes(reader.File, reader.Buffer.data(),
                                  static_cast<std::int32_t>(reader.Buffer.size()));
    if (got <= 0) {
        reader.ReadFailed = got < 0;
        reader.Ended = true;
        return false;
    }
    reader.BufferStart += reader.BufferLen;
    reader.BufferPos = 0;
    reader.BufferLen = got;
    return true;
}

// The next byte of the file without taking it; END at the end of the file,
// at its first 0x1A, or when reading fails.
int peek_file_byte(ScriptReader& reader) {
    if (reader.Ended) return END;
    if (reader.BufferPos == reader.BufferLen && !refill(reader)) return END;
    unsigned char byte = reader.Buffer[static_cast<std::size_t>(reader.BufferPos)];
    if (byte == END_OF_TEXT) {
        reader.Ended = true;
        return END;
    }
    return byte;
}

std::int64_t file_offset(const ScriptReader& reader) { return reader.BufferStart + reader.BufferPos; }

// Takes one character: the handed-back one first, and CR LF as one LF.
int take_char(ScriptReader& reader) {
    if (reader.LookAhead != NO_CHARACTER) {
        int c = reader.LookAhead;
        reader.LookAhead = NO_CHARACTER;
        return c;
    }
    int c = peek_file_byte(reader);
    if (c == END) return END;
    ++reader.BufferPos;
    if (c == '\r' && peek_file_byte(reader) == '\n') {
        ++reader.BufferPos;
        return '\n';
    }
    return c;
}

// Marks c, the character just taken (also when it came back from
// LookAhead, as the file has not moved since), as the place of what is
// being read. The offset of a blank is not needed and may be one off.
void mark_taken(ScriptReader& reader, int c) {
    reader.Mark = file_offset(reader) - (c == END ? 0 : 1);
}

void hand_back(ScriptReader& reader, int c) {
    if (c != END) reader.LookAhead = c;
}

int take_after_white_space(ScriptReader& reader) {
    int c = take_char(reader);
    while (is_white_space(c)) c = take_char(reader);
    mark_taken(reader, c);
    return c;
}

bool read_number(ScriptReader& reader, std::int32_t& value, std::uint32_t base) {
    int c = take_after_white_space(reader);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = take_char(reader);
    }
    std::uint32_t number = 0;
    bool any_digit = false;
    if (base == 16 && c == '0') {
        int next = take_char(reader);
        if (next == 'x' || next == 'X') {
            c = take_char(reader);
        } else {
            any_digit = true;
            c = next;
        }
    }
    for (int digit = digit_value(c, base); digit >= 0; digit = digit_value(c, base)) {
        number = number * base + static_cast<std::uint32_t>(digit);
        any_digit = true;
        c = take_char(reader);
    }
    hand_back(reader, c);
    if (!any_digit) return false;
    if (negative) number = 0u - number;
    value = static_cast<std::int32_t>(number);
    return true;
}

}  // namespace

bool open_script(ScriptReader& reader, const char* path) {
    reader.File = open_for_read(path);
    if (reader.File == INVALID_FILE) return false;
    // A failed first read is reported where the script is first read.
    if (!refill(reader)) return true;
    reader.OpeningLength = std::min<std::int32_t>(reader.BufferLen, 4);
    std::copy_n(reader.Buffer.begin(), reader.OpeningLength, reader.Opening.begin());
    // Windows editors may start a UTF-8 file with a byte-order mark.
    if (reader.BufferLen >= 3 && std::equal(std::begin(BYTE_ORDER_MARK), std::end(BYTE_ORDER_MARK),
                                            reader.Buffer.begin())) {
        reader.BufferPos = 3;
        reader.ContentStart = 3;
    }
    return true;
}

int next_nonblank(ScriptReader& reader) {
    int c = take_char(reader);
    while (is_blank(c)) c = take_char(reader);
    mark_taken(reader, c);
    return c;
}

std::string read_token(ScriptReader& reader) {
    std::string token;
    int c = next_nonblank(reader);
    reader.TokenQuoted = c == '"';
    if (reader.TokenQuoted) {
        for (c = take_char(reader); c != END && c != '"'; c = take_char(reader))
            token.push_back(static_cast<char>(c));
        reader.TokenClosed = c == '"';
    } else {
        for (; c != END && !is_blank(c); c = take_char(reader))
            token.push_back(static_cast<char>(c));
        reader.TokenEnd = c;
    }
    // A zero byte ends the token's value; what followed it is dropped.
    std::size_t zero = token.find('\0');
    if (zero != std::string::npos) token.resize(zero);
    return token;
}

bool read_decimal(ScriptReader& reader, std::int32_t& value) {
    return read_number(reader, value, 10);
}

bool read_hex(ScriptReader& reader, std::int32_t& value) { return read_number(reader, value, 16); }

void skip_white_space(ScriptReader& reader) { hand_back(reader, take_after_white_space(reader)); }

bool more_on_line(ScriptReader& reader) {
    int c = take_char(reader);
    while (c == ' ' || c == '\t') c = take_char(reader);
    mark_taken(reader, c);
    hand_back(reader, c);
    return c != END && c != '\n' && c != '\r';
}

ScriptLocation locate(ScriptReader& reader, const char* path, ScriptPlace place) {
    place = std::max(place, reader.ContentStart);
    ScriptLocation& known = reader.Lines.Known;
    if (known.Offset < reader.ContentStart || place < known.Offset)
        known = ScriptLocation{1, reader.ContentStart, reader.ContentStart};
    FileHandle& file = reader.Lines.File;
    if (file == INVALID_FILE) file = open_for_read(path);
    if (file == INVALID_FILE || known.Offset > 0x7FFFFFFF ||
        !set_position(file, static_cast<std::int32_t>(known.Offset)))
        return ScriptLocation{known.Line, known.LineStart, place};
    std::array<unsigned char, 4096> block;
    while (known.Offset < place) {
        std::int32_t want = static_cast<std::int32_t>(
            std::min<std::int64_t>(place - known.Offset, static_cast<std::int64_t>(block.size())));
        std::int32_t got = read_bytes(file, block.data(), want);
        if (got <= 0) break;
        for (std::int32_t i = 0; i < got; ++i)
            if (block[static_cast<std::size_t>(i)] == '\n') {
                ++known.Line;
                known.LineStart = known.Offset + i + 1;
            }
        known.Offset += got;
    }
    return ScriptLocation{known.Line, known.LineStart, place};
}

void close_script(ScriptReader& reader) {
    if (reader.File != INVALID_FILE) close_file(reader.File);
    if (reader.Lines.File != INVALID_FILE) close_file(reader.Lines.File);
    reader.File = reader.Lines.File = INVALID_FILE;
}

}  // namespace hc
