#include "engine/options.h"

#include <cstring>

namespace hc {
namespace {

using Apply = void (*)(CommandLine&, const char* value);

struct OptionRule {
    const char* Names[3];    // spellings; unused ones are null
    const char* ValueName;   // the value it takes from the next argument, or null
    Apply Set;
    const char* Help;
};

const OptionRule RULES[] = {
    {{"-h", "--help", "/?"}, nullptr, [](CommandLine& c, const char*) { c.What = Request::Help; },
     "show this help and exit"},
    {{"--version"}, nullptr,
     [](CommandLine& c, const char*) {
         if (c.What == Request::Build) c.What = Request::Version;
     },
     "show the name and version and exit"},
    {{"-C"}, "DIR", [](CommandLine& c, const char* value) { c.Folder = value; },
     "change to folder DIR first, then build as usual"},
    {{"--check"}, nullptr,
     [](CommandLine& c, const char*) {
         c.Build.DryRun = true;
         c.Build.Located = true;
         c.Build.PlainMessages = false;
         c.Build.Summary = true;
     },
     "dry run: read and evaluate the whole script, open, read and encode every data file, "
     "report every message and warning with its place; create and change no file; "
     "exit 1 when a build would report a message"},
    {{"-v", "--verbose"}, nullptr,
     [](CommandLine& c, const char*) {
         c.Build.Located = true;
         c.Build.Summary = true;
     },
     "build, and report every message and warning with its place on standard error, "
     "then one line on what the build did"},
    {{"--map"}, "FILE", [](CommandLine& c, const char* value) { c.Build.MapFile = value; },
     "after the build, write where each D placed its data and what O wrote into the "
     "archive table to FILE (- for standard output)"},
};

const OptionRule* find_rule(const char* argument) {
    for (const OptionRule& rule : RULES)
        for (const char* name : rule.Names)
            if (name != nullptr && std::strcmp(name, argument) == 0) return &rule;
    return nullptr;
}

CommandLine mistake(CommandLine line, const std::string& what) {
    line.What = Request::Mistake;
    line.Mistake = what;
    return line;
}

void append_wrapped(std::string& text, const std::string& words, std::size_t indent) {
    constexpr std::size_t WIDTH = 79;
    std::size_t column = indent;
    std::size_t start = 0;
    while (start < words.size()) {
        std::size_t end = words.find(' ', start);
        if (end == std::string::npos) end = words.size();
        std::string word = words.substr(start, end - start);
        if (column > indent && column + 1 + word.size() > WIDTH) {
            text += '\n';
            text.append(indent, ' ');
            column = indent;
        } else if (column > indent) {
            text += " ";
            ++column;
        }
        text += word;
        column += word.size();
        start = end + 1;
    }
    text += "\n";
}

}  // namespace

CommandLine parse_command_line(const char* program, int argc, const char* const* argv) {
    CommandLine line;
    line.Build.ProgramName = program;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const OptionRule* rule = find_rule(argument);
        if (rule == nullptr) {
            if (argument[0] == '-') return mistake(line, std::string("unknown option \"") + argument + "\"");
            continue;  // not an option: ignored, as it always was
        }
        const char* value = nullptr;
        if (rule->ValueName != nullptr) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return mistake(line, std::string("option \"") + argument + "\" needs " + rule->ValueName);
            value = argv[++i];
        }
        rule->Set(line, value);
    }
    return line;
}

std::string usage_text(const char* program) {
    std::string text = std::string("Usage: ") + program + " [OPTION]...\n"
                       "Builds the hack that conf.txt in the current folder describes.\n\nOptions:\n";
    for (const OptionRule& rule : RULES) {
        std::string names = "  ";
        for (const char* name : rule.Names) {
            if (name == nullptr) continue;
            if (names.size() > 2) names += ", ";
            names += name;
        }
        if (rule.ValueName != nullptr) names += std::string(" ") + rule.ValueName;
        text += names + "\n      ";
        append_wrapped(text, rule.Help, 6);
    }
    text += "\nExit status: 0 when the build reported no message, 1 when it did,\n"
            "2 for a mistake in the command line.\n";
    return text;
}

std::string version_text(const char* program) {
    return std::string(program) + " " + HACKCOMP_VERSION + "\n";
}

int run_program(const char* program, int argc, const char* const* argv) {
    CommandLine line = parse_command_line(program, argc, argv);
    std::string text;
    switch (line.What) {
        case Request::Mistake:
            text = std::string(program) + ": " + line.Mistake + "; see \"" + program + " --help\"\n";
            write_standard_error(text.data(), text.size());
            return 2;
        case Request::Help:
            text = usage_text(program);
            write_standard_output(text.data(), text.size());
            return 0;
        case Request::Version:
            text = version_text(program);
            write_standard_output(text.data(), text.size());
            return 0;
        case Request::Build:
            break;
    }
    if (!line.Folder.empty() && !change_folder(line.Folder.c_str())) {
        text = std::string(program) + ": Can't change to folder \"" + line.Folder + "\"\n";
        write_standard_error(text.data(), text.size());
        return 2;
    }
    return run_build(line.Build);
}

}  // namespace hc
