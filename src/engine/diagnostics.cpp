#include "engine/diagnostics.h"

#include <algorithm>
#include <vector>

#include "engine/hack_build.h"

namespace hc {
namespace {

// A line longer than this is shown as a window around the place.
constexpr std::int64_t SHOWN_BEFORE = 160;
constexpr std::int32_t SHOWN_LENGTH = 320;

bool ends_shown_line(unsigned char c) { return c == '\n' || c == '\r' || c == 0x1A; }

// The caret goes under the place: the line's tabs are kept so it lines up,
// and the bytes that continue a UTF-8 character take no column.
std::string caret_line(const std::string& line, std::int64_t column) {
    std::string caret;
    for (std::int64_t i = 0; i + 1 < column && i < static_cast<std::int64_t>(line.size()); ++i) {
        unsigned char c = static_cast<unsigned char>(line[static_cast<std::size_t>(i)]);
        if (c == '\t') caret.push_back('\t');
        else if ((c & 0xC0) != 0x80) caret.push_back(' ');
    }
    return caret + "^";
}

}  // namespace

std::string located_text(const char* script, const char* severity, const std::string& text,
                         const ScriptLocation& place, const ShownLine& line) {
    if (place.Line == 0) return std::string(script) + ": " + severity + ": " + text + "\n";
    std::int64_t column = place.Offset - place.LineStart + 1;
    return std::string(script) + ":" + std::to_string(place.Line) + ":" + std::to_string(column) +
           ": " + severity + ": " + text + "\n" + line.Text + "\n" +
           caret_line(line.Text, place.Offset - line.From + 1) + "\n";
}

ShownLine script_line_at(const char* script, const ScriptLocation& place) {
    ShownLine line;
    line.From = std::max(place.LineStart, place.Offset - SHOWN_BEFORE);
    FileHandle file = open_for_read(script);
    if (file == INVALID_FILE) return line;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(SHOWN_LENGTH));
    std::int32_t got = 0;
    if (line.From <= 0x7FFFFFFF && set_position(file, static_cast<std::int32_t>(line.From)))
        got = read_bytes(file, bytes.data(), SHOWN_LENGTH);
    close_file(file);
    for (std::int32_t i = 0; i < got && !ends_shown_line(bytes[static_cast<std::size_t>(i)]); ++i) {
        unsigned char c = bytes[static_cast<std::size_t>(i)];
        line.Text.push_back(c < 0x20 && c != '\t' ? ' ' : static_cast<char>(c));
    }
    return line;
}

void print_located(void (*sink)(const char*, std::size_t), const char* script,
                   const char* severity, const std::string& text, const ScriptLocation& place) {
    ShownLine line;
    if (place.Line != 0) line = script_line_at(script, place);
    std::string out = located_text(script, severity, text, place, line);
    sink(out.data(), out.size());
}

namespace {

ScriptLocation location_of(HackBuild& build, ScriptPlace place) {
    if (place == NO_PLACE) return ScriptLocation{0, 0, 0};
    return locate(build.Script, SCRIPT_NAME, place);
}

}  // namespace

void report_at(HackBuild& build, const std::string& text, ScriptPlace place) {
    ++build.MessagesReported;
    if (build.Options.PlainMessages) report_error(text.c_str());
    if (build.Options.Located)
        print_located(build.Options.WriteLocated, SCRIPT_NAME, "error", text, location_of(build, place));
}

void report(HackBuild& build, const std::string& text) { report_at(build, text, build.Script.Mark); }

void warn(HackBuild& build, const std::string& text, ScriptPlace place) {
    if (!warnings_wanted(build)) return;
    ++build.WarningsReported;
    print_located(build.Options.WriteLocated, SCRIPT_NAME, "warning", text, location_of(build, place));
}

namespace {

bool is_line_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The line of the first command letter that starts a later line inside a
// quoted token, or 0: a letter followed by a blank, or a # comment.
std::int32_t swallowed_command_line(const std::string& token, std::int32_t first_line) {
    std::int32_t line = first_line;
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (token[i] != '\n') continue;
        ++line;
        std::size_t k = i + 1;
        while (k < token.size() && is_line_blank(token[k])) ++k;
        if (k >= token.size()) break;
        char c = token[k];
        bool letter = c == 'D' || c == 'O' || c == 'P';
        bool followed_by_blank = k + 1 < token.size() && (token[k + 1] == ' ' || token[k + 1] == '\t');
        if (c == '#' || (letter && followed_by_blank)) return line;
    }
    return 0;
}

}  // namespace

void check_quoted_token(HackBuild& build, const std::string& token) {
    ScriptPlace quote = build.Script.Mark;
    if (!build.Script.TokenClosed && !build.Script.ReadFailed)
        warn(build, "Quote not closed before the end of the script", quote);
    else if (std::int32_t line = swallowed_command_line(token, locate(build.Script, SCRIPT_NAME, quote).Line);
             line != 0)
        warn(build, "Quoted text runs past its line and takes in the command on line " +
                        std::to_string(line), quote);
}

}  // namespace hc
