// Messages and warnings with their place in the script, as compilers print
// them: "conf.txt:LINE:COLUMN: error: TEXT", the script's line, a caret.
#pragma once

#include <string>

#include "script/script_reader.h"

namespace hc {

// The script's line that holds a place, or the part of a long line around
// it, as read back from the script; From is the offset of its first byte.
struct ShownLine {
    std::string Text;
    std::int64_t From = 0;
};

// The located form of one message or warning.
std::string located_text(const char* script, const char* severity, const std::string& text,
                         const ScriptLocation& place, const ShownLine& line);

ShownLine script_line_at(const char* script, const ScriptLocation& place);

// Writes the located form through sink; a place whose Line is 0 is no place
// in the script (the script is missing).
void print_located(void (*sink)(const char*, std::size_t), const char* script,
                   const char* severity, const std::string& text, const ScriptLocation& place);

}  // namespace hc
