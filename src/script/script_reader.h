// The lexical reader over the build script: characters, tokens and numbers.
// It reports nothing; each operation says what it found and the caller
// decides what is an error.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace hc {

struct ScriptReader {
    FileHandle File = INVALID_FILE;
    std::array<unsigned char, 65536> Buffer{};
    std::int32_t BufferPos = 0;
    std::int32_t BufferLen = 0;
    int LookAhead = -1;      // a character handed back, or -1 for none
    bool Ended = false;      // the script has ended and stays ended
    bool ReadFailed = false; // it ended because reading the file failed
};

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

}  // namespace hc
