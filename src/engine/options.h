// The command line shared by both programs. Each option is one row of a
// table in options.cpp; the usage text is made from the same rows.
#pragma once

#include <string>

#include "engine/hack_build.h"

namespace hc {

enum class Request { Build, Help, Version, Mistake };

struct CommandLine {
    Request What = Request::Build;
    BuildOptions Build;
    std::string Folder;     // -C: the folder to change to first; empty: stay
    std::string Mistake;    // for Request::Mistake: what is wrong, one line
};

// Reads the arguments after the program's name. Arguments that do not start
// with "-" are ignored, as they always were (except "/?").
CommandLine parse_command_line(const char* program, int argc, const char* const* argv);

std::string usage_text(const char* program);
std::string version_text(const char* program);

// What a program's main does: the arguments, then the build. Returns the
// exit status: 0, 1 when a message was reported, 2 for a mistake in the
// command line (then no file is touched).
int run_program(const char* program, int argc, const char* const* argv);

}  // namespace hc
