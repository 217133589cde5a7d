#include "engine/codec_options.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/platform.h"

namespace hc {
namespace {

bool is(const char* argument, const char* name) { return std::strcmp(argument, name) == 0; }

bool asks_for_help(const char* argument) {
    return is(argument, "-h") || is(argument, "--help") || is(argument, "/?");
}

// Options of a build, which mean nothing to --pack and --unpack.
bool is_build_option(const char* argument) {
    for (const char* name : {"--version", "-C", "--check", "-v", "--verbose", "--map"})
        if (is(argument, name)) return true;
    return false;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decimal, or hexadecimal after 0x; no sign, at least one digit, below 2^62.
bool read_number(const char* text, std::int64_t& value) {
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0') return false;
    value = 0;
    for (; *text != '\0'; ++text) {
        int digit = hex_digit(*text);
        if (digit < 0 || digit >= base) return false;
        value = value * base + digit;
        if (value >= (std::int64_t{1} << 62)) return false;
    }
    return true;
}

struct Parse {
    CodecCommand Command;
    int Mode = 'Z';
    const char* UnpackOnly = nullptr;  // the first option given that only --unpack takes
    int argc;
    const char* const* argv;
    int next = 1;
};

bool failed(Parse& parse, const std::string& what) {
    parse.Command.Kind = CodecKind::Mistake;
    parse.Command.Mistake = what;
    return false;
}

// The value after option, or a mistake when there is none.
bool take_value(Parse& parse, const char* option, const char* value_name, const char*& value) {
    if (parse.next >= parse.argc || parse.argv[parse.next][0] == '\0')
        return failed(parse, std::string("option \"") + option + "\" needs " + value_name);
    value = parse.argv[parse.next++];
    return true;
}

bool take_files(Parse& parse, const char* option, CodecKind kind, std::string& input, std::string& output) {
    if (parse.Command.Kind != CodecKind::None && parse.Command.Kind != kind)
        return failed(parse, "options \"--pack\" and \"--unpack\" do not go together");
    parse.Command.Kind = kind;
    const char* in = nullptr;
    const char* out = nullptr;
    if (!take_value(parse, option, "IN OUT", in) || !take_value(parse, option, "IN OUT", out)) return false;
    input = in;
    output = out;
    return true;
}

bool take_number(Parse& parse, const char* option, const char* value_name, std::int64_t& number) {
    const char* value = nullptr;
    if (!take_value(parse, option, value_name, value)) return false;
    if (!read_number(value, number))
        return failed(parse, std::string("option \"") + option +
                                 "\" takes a decimal or 0x-hexadecimal number, not \"" + value + "\"");
    if (parse.UnpackOnly == nullptr) parse.UnpackOnly = option;
    return true;
}

bool take_mode(Parse& parse) {
    const char* value = nullptr;
    if (!take_value(parse, "--mode", "Z|A", value)) return false;
    if (!is(value, "Z") && !is(value, "A"))
        return failed(parse, std::string("option \"--mode\" takes Z or A, not \"") + value + "\"");
    parse.Mode = value[0];
    return true;
}

bool take_argument(Parse& parse) {
    const char* argument = parse.argv[parse.next++];
    CodecCommand& command = parse.Command;
    if (is(argument, "--pack"))
        return take_files(parse, argument, CodecKind::Pack, command.Pack.Input, command.Pack.Output);
    if (is(argument, "--unpack"))
        return take_files(parse, argument, CodecKind::Unpack, command.Unpack.Input, command.Unpack.Output);
    if (is(argument, "--mode")) return take_mode(parse);
    if (is(argument, "--at")) return take_number(parse, argument, "OFFSET", command.Unpack.At);
    if (is(argument, "--length")) return take_number(parse, argument, "N", command.Unpack.Length);
    if (is(argument, "--size")) return take_number(parse, argument, "N", command.Unpack.Size);
    if (is_build_option(argument))
        return failed(parse, std::string("option \"") + argument + "\" does not go with --pack or --unpack");
    if (argument[0] == '-') return failed(parse, std::string("unknown option \"") + argument + "\"");
    return failed(parse, std::string("unexpected argument \"") + argument + "\"");
}

// The checks that need the whole command line.
bool check_combination(Parse& parse) {
    CodecCommand& command = parse.Command;
    if (command.Kind == CodecKind::Pack && parse.UnpackOnly != nullptr)
        return failed(parse, std::string("option \"") + parse.UnpackOnly + "\" needs --unpack");
    if (command.Kind == CodecKind::Unpack && parse.Mode == 'A' && command.Unpack.Length != NOT_GIVEN)
        return failed(parse, "option \"--length\" needs mode Z: in mode A the stream's length is read from IN");
    command.Pack.Mode = parse.Mode;
    command.Unpack.Mode = parse.Mode;
    return true;
}

bool names_codec_command(int argc, const char* const* argv) {
    bool codec = false;
    for (int i = 1; i < argc; ++i) {
        if (asks_for_help(argv[i])) return false;
        codec = codec || is(argv[i], "--pack") || is(argv[i], "--unpack");
    }
    return codec;
}

}  // namespace

CodecCommand parse_codec_command(const char* program, int argc, const char* const* argv) {
    if (!names_codec_command(argc, argv)) return {};
    Parse parse;
    parse.argc = argc;
    parse.argv = argv;
    parse.Command.Pack.Program = program;
    parse.Command.Unpack.Program = program;
    while (parse.next < argc)
        if (!take_argument(parse)) return parse.Command;
    check_combination(parse);
    return parse.Command;
}

int run_codec_command(const CodecCommand& command, const char* program) {
    switch (command.Kind) {
        case CodecKind::Pack: return pack_file(command.Pack);
        case CodecKind::Unpack: return unpack_file(command.Unpack);
        case CodecKind::Mistake: {
            std::string text = std::string(program) + ": " + command.Mistake + "; see \"" + program + " --help\"\n";
            write_standard_error(text.data(), text.size());
            return 2;
        }
        case CodecKind::None: break;
    }
    return 0;
}

}  // namespace hc
