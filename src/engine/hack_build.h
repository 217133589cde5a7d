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

struct HackBuild {
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
};

// The whole run: start-up, the command loop and the end. Returns the exit
// status: 0 when no message was reported, 1 otherwise.
int run_build();

// Shows one message and remembers that the build had one.
void report(HackBuild& build, const std::string& text);

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
