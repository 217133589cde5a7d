// The build state and the commands that change the destination.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "lzss/file_bytes.h"
#include "lzss/lzss_encoder.h"
#include "platform/platform.h"
#include "script/script_reader.h"

namespace hc {

inline constexpr const char* SCRIPT_NAME = "conf.txt";
inline constexpr std::int32_t SCRATCH_SIZE = 1000;
// A length header counts itself, so the longest stream it can announce.
inline constexpr std::int32_t MAX_HEADED_STREAM = 0xFFFF - 2;

enum class Outcome { GoOn, Stop };

// How a build runs; the defaults are a run without arguments.
struct BuildOptions {
    const char* ProgramName = "hackcomp";
    bool DryRun = false;         // --check: nothing created or changed
    bool Located = false;        // messages and warnings with their place on standard error
    bool PlainMessages = true;   // messages through the program's own sink
    bool Summary = false;        // one line on what the build did, at its end
    std::string MapFile;         // the placement map's file, "-" for standard output; empty: none
    // Where located messages, warnings and the summary go.
    void (*WriteLocated)(const char* text, std::size_t count) = write_standard_error;
};

// One D as the placement map shows it.
struct PlacementRow {
    std::string Name;
    int Mode = 0;
    std::int32_t Position = 0;
    std::int64_t FileSize = 0;
    std::int64_t Stored = 0;
    std::int32_t NextFreeAfter = 0;
};

// One O that wrote into an archive-table entry.
struct EntryRow {
    std::int32_t Id = 0;
    std::int32_t Position = 0;
    std::int32_t Count = 0;
    std::uint32_t Value = 0;
    std::string DataName;  // when the value was a D expression
};

// What the last offset expression was made of.
struct ExpressionShape {
    int Type = 0;            // A, D, N, P, or whatever stood there
    bool Relative = false;
    std::int32_t Id = 0;     // for A
    std::string DataName;    // for D
    ScriptPlace Start = 0;   // its first character
};

// A stretch of the destination that data of this script was placed in.
struct PlacedStretch {
    std::int64_t End = 0;
    std::string Name;
};

// Characters skipped between commands on one line, gathered into one warning.
struct SkippedRun {
    bool Open = false;
    ScriptPlace Start = 0;
    std::int32_t Line = 0;
    std::int64_t LastOffset = 0;
    std::string Text;
    std::int64_t QuietAt = -1;  // a run starting here goes without a warning
};

struct HackBuild {
    BuildOptions Options;
    std::int32_t DataOffset = 0;
    std::int32_t ArchiveTableOffset = 0;
    std::int32_t NextFree = 0;
    std::map<std::string, std::int32_t> DataTable;
    ScriptReader Script;
    FileHandle Destination = INVALID_FILE;
    std::string SourceName;
    std::string DestinationName;
    std::string DataName;
    std::array<unsigned char, SCRATCH_SIZE> Scratch{};
    std::vector<unsigned char> HeldStream;  // a headed stream, gathered before it is written
    LzssEncoderPtr Encoder = make_lzss_encoder();
    TransferBlock DataBlock;    // the data file, read a block at a time
    TransferBlock StreamBlock;  // the stream, written a block at a time
    std::int32_t MessagesReported = 0;

    // For the located messages, the warnings, the summary and the map.
    ScriptPlace SourceMark = 0;
    ScriptPlace DestinationMark = 0;
    ScriptPlace CommandMark = 0;
    ScriptPlace DataNameMark = 0;
    ExpressionShape Expression;
    SkippedRun Skipped;
    std::map<std::int64_t, PlacedStretch> Placed;  // by start, not overlapping
    std::int32_t WarningsReported = 0;
    std::int32_t CommandsRun = 0;
    std::int32_t DataPlaced = 0;
    std::int64_t BytesWritten = 0;
    std::vector<PlacementRow> Placements;
    std::vector<EntryRow> Entries;
};

// The whole run: start-up, the command loop and the end. Returns the exit
// status: 0 when no message was reported, 1 otherwise.
int run_build();
int run_build(const BuildOptions& options);

// Shows one message and remembers that the build had one; placed at the
// script's last mark, or at the place given.
void report(HackBuild& build, const std::string& text);
void report_at(HackBuild& build, const std::string& text, ScriptPlace place);

// Shows one warning with its place, when the options ask for them.
void warn(HackBuild& build, const std::string& text, ScriptPlace place);
inline bool warnings_wanted(const HackBuild& build) { return build.Options.Located; }

// Warns of a quoted token that a quote left open made swallow commands.
void check_quoted_token(HackBuild& build, const std::string& token);

// The next token; with warnings wanted, warns of a quote left open.
inline std::string read_script_token(HackBuild& build) {
    std::string token = read_token(build.Script);
    if (warnings_wanted(build) && build.Script.TokenQuoted) check_quoted_token(build, token);
    return token;
}

// Reports the script's read failure, when reading it failed; true then.
bool script_failed(HackBuild& build);

// Sets the destination's position; a position that is not in 0 to 2^31 - 1
// reports "Offset out of range" and a failing seek "Can't write hack".
Outcome seek_destination(HackBuild& build, std::int32_t position);

// Writes to the destination at its position; reports "Can't write hack".
Outcome write_destination(HackBuild& build, const void* data, std::int32_t count);

Outcome insert_data(HackBuild& build);
Outcome patch_number(HackBuild& build);
Outcome patch_hex(HackBuild& build);
std::int32_t hex_value(const char* text);

}  // namespace hc
