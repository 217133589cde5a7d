// The lexical reader over the build script: characters, tokens and numbers.
// It reports nothing; each operation says what it found and the caller
// decides what is an error.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace hc {

// A place in the script as the offset of its byte in the file; reading
// keeps no more than that, and lines are counted only when a place is shown.
using ScriptPlace = std::int64_t;
inline constexpr ScriptPlace NO_PLACE = -1;

// A place with its line (from 1) and the offset of that line's start; the
// column is the distance from there + 1. LF ends a line (so CR LF is one
// line break, and a lone CR none).
struct ScriptLocation {
    std::int32_t Line = 1;
    std::int64_t LineStart = 0;
    std::int64_t Offset = 0;
};

// The last place located, so that places shown in order cost one pass.
struct LineCount {
    FileHandle File = INVALID_FILE;  // the script, opened again for counting
    ScriptLocation Known;
};

struct ScriptReader {
    FileHandle File = INVALID_FILE;
    std::array<unsigned char, 65536> Buffer{};
    std::int32_t BufferPos = 0;
    std::int32_t BufferLen = 0;
    std::int64_t BufferStart = 0;  // the file offset of Buffer[0]
    int LookAhead = -1;      // a character handed back, or -1 for none
    bool Ended = false;      // the script has ended and stays ended
    bool ReadFailed = false; // it ended because reading the file failed
    // Where the last character, token or number looked for starts (after
    // blanks; the end of the script when it ended), for messages that name
    // a place.
    ScriptPlace Mark = 0;
    std::int64_t ContentStart = 0;  // after a byte-order mark
    LineCount Lines;
    // How the last token was written: in quotes (and whether they were
    // closed), or bare, ended by TokenEnd (a blank, or -1 at the end).
    bool TokenQuoted = false;
    bool TokenClosed = false;
    int TokenEnd = -1;
    // The script's first bytes as stored, a byte-order mark included.
    std::array<unsigned char, 4> Opening{};
    std::int32_t OpeningLength = 0;
};

// Opens the script and skips a UTF-8 byte-order mark at its start.
bool open_script(ScriptReader& reader, const char* path);

// The next non-blank character as 0 to 255, or -1 at the end of the script.
int next_nonblank(ScriptReader& reader);

// The next token, bare or quoted, cut at its first zero byte; empty at the end.
std::string read_token(ScriptReader& reader);

// Optional sign and decimal digits after white space, wrapping modulo 2^32.
// On false the receiver keeps its value.
bool read_decimal(ScriptReader& reader, std::int32_t& value);

// Optional sign, optional 0x prefix and hexadecimal digits after white space.
bool read_hex(ScriptReader& reader, std::int32_t& value);

void skip_white_space(ScriptReader& reader);

// Whether anything but spaces and tabs follows on the current line; takes
// those blanks. Only meaningful right after a bare token ended by a blank
// other than a line break.
bool more_on_line(ScriptReader& reader);

// The line and column of a place, counted in the script file at path.
ScriptLocation locate(ScriptReader& reader, const char* path, ScriptPlace place);

// Closes the script and the second handle locate may hold.
void close_script(ScriptReader& reader);

}  // namespace hc
