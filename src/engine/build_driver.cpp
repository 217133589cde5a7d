#include <memory>

#include "engine/hack_build.h"
#include "engine/offset_expr.h"

namespace hc {
namespace {

// Reads a header value; a failure is reported as the message named for it,
// or as the script's read failure when that is what ended the script.
bool read_header_value(HackBuild& build, std::int32_t& value, const char* missing) {
    if (read_hex(build.Script, value)) {
        skip_white_space(build.Script);
        return true;
    }
    if (!script_failed(build)) report(build, missing);
    return false;
}

bool read_header(HackBuild& build) {
    if (!read_header_value(build, build.DataOffset, "DataOffset expected")) return false;
    if (!read_header_value(build, build.ArchiveTableOffset, "ArchiveTableOffset expected"))
        return false;
    build.NextFree = build.DataOffset;
    build.SourceName = read_token(build.Script);
    build.DestinationName = read_token(build.Script);
    return !script_failed(build);
}

void skip_comment(HackBuild& build) { read_token(build.Script); }

Outcome run_command(HackBuild& build, int letter) {
    switch (letter) {
        case '#': skip_comment(build); return Outcome::GoOn;
        case 'D': return insert_data(build);
        case 'O': return patch_number(build);
        case 'P': return patch_hex(build);
        default: return Outcome::GoOn;  // anything else stands between commands
    }
}

void run_command_loop(HackBuild& build) {
    for (;;) {
        int letter = next_nonblank(build.Script);
        if (letter == -1 && script_failed(build)) return;
        if (letter == -1 || letter == 0xFF) break;
        if (run_command(build, letter) == Outcome::Stop) return;
    }
    if (!close_file(build.Destination)) report(build, "Can't write hack");
    build.Destination = INVALID_FILE;
}

// A stop leaves the files open; they are released here rather than left to
// the end of the process, so that a build can run again in the same process.
// The destination's close can still fail to store what was written.
void release_files(HackBuild& build) {
    if (build.Destination != INVALID_FILE && !close_file(build.Destination))
        report(build, "Can't write hack");
    if (build.Script.File != INVALID_FILE) close_file(build.Script.File);
}

void run_steps(HackBuild& build) {
    if (!open_script(build.Script, SCRIPT_NAME)) {
        report(build, std::string("Can't open \"") + SCRIPT_NAME + "\"");
        return;
    }
    if (!read_header(build)) return;
    // A source that cannot be read is not an error: an older destination is
    // then patched. A copy that fails once the source is read is.
    CopyOutcome copied = copy_file(build.SourceName.c_str(), build.DestinationName.c_str());
    if (copied == CopyOutcome::Refused) {
        report(build, "Can't open hack");
        return;
    }
    if (copied == CopyOutcome::Failed) {
        report(build, "Can't write hack");
        return;
    }
    build.Destination = open_for_write(build.DestinationName.c_str());
    if (build.Destination == INVALID_FILE) {
        report(build, "Can't open hack");
        return;
    }
    run_command_loop(build);
}

}  // namespace

void report(HackBuild& build, const std::string& text) {
    ++build.MessagesReported;
    report_error(text.c_str());
}

bool script_failed(HackBuild& build) {
    if (!build.Script.ReadFailed) return false;
    report(build, std::string("Can't read \"") + SCRIPT_NAME + "\"");
    return true;
}

Outcome seek_destination(HackBuild& build, std::int32_t position) {
    if (position < 0) {
        report(build, "Offset out of range");
        return Outcome::Stop;
    }
    if (set_position(build.Destination, position)) return Outcome::GoOn;
    report(build, "Can't write hack");
    return Outcome::Stop;
}

Outcome write_destination(HackBuild& build, const void* data, std::int32_t count) {
    if (write_bytes(build.Destination, data, count)) return Outcome::GoOn;
    report(build, "Can't write hack");
    return Outcome::Stop;
}

int run_build() {
    auto build = std::make_unique<HackBuild>();
    run_steps(*build);
    release_files(*build);
    finish_reporting();
    return build->MessagesReported == 0 ? 0 : 1;
}

}  // namespace hc
