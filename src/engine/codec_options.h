// The command line of --pack and --unpack, which run instead of a build.
#pragma once

#include <string>

#include "engine/codec_commands.h"

namespace hc {

enum class CodecKind { None, Pack, Unpack, Mistake };

struct CodecCommand {
    CodecKind Kind = CodecKind::None;
    PackRequest Pack;
    UnpackRequest Unpack;
    std::string Mistake;  // for CodecKind::Mistake: what is wrong, one line
};

// Reads the arguments after the program's name. None when they hold neither
// --pack nor --unpack, or ask for help: then they are a build's.
CodecCommand parse_codec_command(const char* program, int argc, const char* const* argv);

// Runs the command; returns the exit status: 0 done, 1 bad input, 2 a
// mistake in the command line.
int run_codec_command(const CodecCommand& command, const char* program);

}  // namespace hc
