#include <chrono>
#include <cstdio>
#include <memory>

#include "engine/diagnostics.h"
#include "engine/hack_build.h"
#include "engine/offset_expr.h"
#include "engine/placement_map.h"

namespace hc {
namespace {

bool looks_like_utf16(const ScriptReader& script) {
    const auto& b = script.Opening;
    if (script.OpeningLength < 2) return false;
    bool marked = (b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF);
    return marked || b[0] == 0 || b[1] == 0;
}

// Reads a header value; a failure is reported as the message named for it,
// or as the script's read failure when that is what ended the script.
bool read_header_value(HackBuild& build, std::int32_t& value, const char* missing) {
    if (read_hex(build.Script, value)) {
        skip_white_space(build.Script);
        return true;
    }
    if (script_failed(build)) return false;
    report(build, missing);
    if (warnings_wanted(build) && looks_like_utf16(build.Script))
        warn(build, "The script is in UTF-16; save it as UTF-8 or ANSI", 0);
    return false;
}

bool read_header(HackBuild& build) {
    if (!read_header_value(build, build.DataOffset, "DataOffset expected")) return false;
    if (!read_header_value(build, build.ArchiveTableOffset, "ArchiveTableOffset expected"))
        return false;
    build.NextFree = build.DataOffset;
    build.SourceName = read_script_token(build);
    build.SourceMark = build.Script.Mark;
    build.DestinationName = read_script_token(build);
    build.DestinationMark = build.Script.Mark;
    return !script_failed(build);
}

// Only the first word of a bare comment is skipped: the rest of its line is
// read as commands, which is worth a warning.
void skip_comment(HackBuild& build) {
    std::string word = read_script_token(build);
    ScriptReader& script = build.Script;
    if (!warnings_wanted(build) || script.TokenQuoted || script.TokenEnd == '\n' ||
        script.TokenEnd == -1 || !more_on_line(script))
        return;
    warn(build, "Comment not quoted: it ends after \"" + word +
                    "\" and the rest of the line is read as commands", script.Mark);
    // That warning covers characters skipped right there.
    build.Skipped.QuietAt = script.Mark;
}

Outcome run_command(HackBuild& build, int letter) {
    switch (letter) {
        case '#': skip_comment(build); return Outcome::GoOn;
        case 'D': return insert_data(build);
        case 'O': return patch_number(build);
        case 'P': return patch_hex(build);
        default: return Outcome::GoOn;  // anything else stands between commands
    }
}

bool is_command_letter(int letter) { return letter == '#' || letter == 'D' || letter == 'O' || letter == 'P'; }

// A run of skipped characters on one line is one warning.
constexpr std::size_t SKIPPED_SHOWN = 40;

void close_skipped_run(HackBuild& build) {
    SkippedRun& run = build.Skipped;
    if (!run.Open) return;
    run.Open = false;
    if (run.Start == run.QuietAt) return;
    std::string text = "Skipped \"" + run.Text + "\": not a command";
    char first = run.Text[0];
    if (first == 'd' || first == 'o' || first == 'p')
        text += std::string("; did you mean \"") + static_cast<char>(first - 'a' + 'A') + "\"";
    warn(build, text, run.Start);
}

void shown_byte(std::string& text, int c) {
    static const char HEX[] = "0123456789ABCDEF";
    if (c < 0x20 || c == 0x7F) text += std::string("\\x") + HEX[c >> 4] + HEX[c & 15];
    else text.push_back(static_cast<char>(c));
}

void note_skipped(HackBuild& build, int letter) {
    SkippedRun& run = build.Skipped;
    ScriptPlace here = build.Script.Mark;
    bool gap = here > run.LastOffset + 1;
    if (run.Open && gap && locate(build.Script, SCRIPT_NAME, here).Line != run.Line)
        close_skipped_run(build);
    if (!run.Open) {
        run.Open = true;
        run.Start = here;
        run.Line = locate(build.Script, SCRIPT_NAME, here).Line;
        run.Text.clear();
    } else if (run.Text.size() < SKIPPED_SHOWN && gap) {
        run.Text.push_back(' ');
    }
    if (run.Text.size() < SKIPPED_SHOWN) shown_byte(run.Text, letter);
    else if (run.Text.size() == SKIPPED_SHOWN) run.Text += "...";
    run.LastOffset = here;
}

// The destination's close can still fail to store what was written; a dry
// run wrote nothing.
void close_destination(HackBuild& build) {
    if (build.Destination == INVALID_FILE) return;
    if (!close_file(build.Destination) && !build.Options.DryRun)
        report_at(build, "Can't write hack", build.CommandMark);
    build.Destination = INVALID_FILE;
}

void run_command_loop(HackBuild& build) {
    for (;;) {
        int letter = next_nonblank(build.Script);
        bool command = is_command_letter(letter);
        if (warnings_wanted(build)) {
            if (command || letter == -1 || letter == 0xFF) close_skipped_run(build);
            else note_skipped(build, letter);
        }
        if (letter == -1 && script_failed(build)) return;
        if (letter == -1 || letter == 0xFF) break;
        if (command) {
            ++build.CommandsRun;
            build.CommandMark = build.Script.Mark;
        }
        if (run_command(build, letter) == Outcome::Stop) return;
    }
    close_destination(build);
}

// A stop leaves the files open; they are released here rather than left to
// the end of the process, so that a build can run again in the same process.
void release_files(HackBuild& build) {
    close_destination(build);
    close_script(build.Script);
}

bool can_read(const std::string& name) {
    FileHandle file = open_for_read(name.c_str());
    if (file == INVALID_FILE) return false;
    close_file(file);
    return true;
}

// A dry run's stand-in for the copy and the opening of the destination:
// whether the real build could open it. An existing destination is opened
// for writing, without any write, and held like a real build holds it, so
// that naming it as a data file fails alike.
bool destination_would_open(HackBuild& build) {
    build.Destination = open_for_write(build.DestinationName.c_str());
    if (build.Destination != INVALID_FILE) return true;
    // Absent, the destination would be the copy of the source; present but
    // not writable (a folder, the script), it stays so after a copy.
    const std::string& name = build.DestinationName;
    return !name.empty() && !name_exists(name.c_str()) && can_read(build.SourceName);
}

bool open_destination(HackBuild& build) {
    if (build.Options.DryRun) return destination_would_open(build);
    build.Destination = open_for_write(build.DestinationName.c_str());
    return build.Destination != INVALID_FILE;
}

void run_steps(HackBuild& build) {
    if (!open_script(build.Script, SCRIPT_NAME)) {
        report_at(build, std::string("Can't open \"") + SCRIPT_NAME + "\"", NO_PLACE);
        return;
    }
    if (!read_header(build)) return;
    // A source that cannot be read is not an error: an older destination is
    // then patched. A copy that fails once the source is read is. A dry run
    // makes no copy.
    CopyOutcome copied = CopyOutcome::NotCopied;
    if (!build.Options.DryRun) {
        copied = copy_file(build.SourceName.c_str(), build.DestinationName.c_str());
        if (copied == CopyOutcome::Refused) {
            report_at(build, "Can't open hack", build.DestinationMark);
            return;
        }
        if (copied == CopyOutcome::Failed) {
            report_at(build, "Can't write hack", build.DestinationMark);
            return;
        }
    }
    // Asked before the destination is open, which may be the source itself.
    bool source_missing =
        copied != CopyOutcome::Copied && warnings_wanted(build) && !can_read(build.SourceName);
    if (!open_destination(build)) {
        report_at(build, "Can't open hack", build.DestinationMark);
        return;
    }
    if (source_missing)
        warn(build, "Can't open source \"" + build.SourceName + "\": the older destination \"" +
                        build.DestinationName + "\" is changed in place", build.SourceMark);
    run_command_loop(build);
}

std::string plural(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void print_summary(const HackBuild& build, double seconds) {
    char time[32];
    std::snprintf(time, sizeof time, "%.3f s", seconds);
    std::string line = std::string(build.Options.ProgramName) + ": " +
                       (build.Options.DryRun ? "checked " : "") +
                       plural(build.CommandsRun, "command", "commands") + ", " +
                       plural(build.DataPlaced, "data file placed", "data files placed") + ", " +
                       plural(build.BytesWritten, "byte", "bytes") +
                       (build.Options.DryRun ? " to write, " : " written, ") +
                       plural(build.MessagesReported, "error", "errors") + ", " +
                       plural(build.WarningsReported, "warning", "warnings") + ", " + time + "\n";
    build.Options.WriteLocated(line.data(), line.size());
}

}  // namespace

bool script_failed(HackBuild& build) {
    if (!build.Script.ReadFailed) return false;
    report(build, std::string("Can't read \"") + SCRIPT_NAME + "\"");
    return true;
}

Outcome seek_destination(HackBuild& build, std::int32_t position) {
    if (position < 0) {
        report_at(build, "Offset out of range", build.Expression.Start);
        return Outcome::Stop;
    }
    if (build.Options.DryRun || set_position(build.Destination, position)) return Outcome::GoOn;
    report_at(build, "Can't write hack", build.CommandMark);
    return Outcome::Stop;
}

Outcome write_destination(HackBuild& build, const void* data, std::int32_t count) {
    build.BytesWritten += count;
    if (build.Options.DryRun || write_bytes(build.Destination, data, count)) return Outcome::GoOn;
    report_at(build, "Can't write hack", build.CommandMark);
    return Outcome::Stop;
}

int run_build() { return run_build(BuildOptions{}); }

int run_build(const BuildOptions& options) {
    auto started = std::chrono::steady_clock::now();
    auto build = std::make_unique<HackBuild>();
    build->Options = options;
    run_steps(*build);
    release_files(*build);
    finish_reporting();
    int status = build->MessagesReported == 0 ? 0 : 1;
    if (!options.MapFile.empty() && !write_placement_map(*build)) status = 1;
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    if (options.Summary) print_summary(*build, elapsed.count());
    return status;
}

}  // namespace hc
