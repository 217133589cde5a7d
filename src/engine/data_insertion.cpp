// D: places a whole data file into the destination, raw or as an LZSS stream
// (optionally behind its 2-byte length), and records where it went.
#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

#include "engine/hack_build.h"
#include "lzss/file_bytes.h"
#include "engine/offset_expr.h"

namespace hc {
namespace {

constexpr std::int32_t LENGTH_HEADER_SIZE = 2;
constexpr std::int64_t LAST_END = std::numeric_limits<std::int32_t>::max();

// Room left between position and the end of what a position can address.
std::int64_t room_after(std::int32_t position) { return LAST_END - position; }

std::int32_t encode_transfer(HackBuild& build, FileTransfer& transfer, ByteSink sink) {
    return encode(*build.Encoder, file_byte_source, &transfer, sink, &transfer);
}

std::int64_t insert_stream(HackBuild& build, FileTransfer& transfer) {
    std::int32_t length = encode_transfer(build, transfer, file_byte_sink);
    flush_output(transfer);
    return length;
}

// The stream is gathered first, so the header is written with it once its
// length is known, and a stream too long for the header writes nothing.
std::int64_t insert_headed_stream(HackBuild& build, FileTransfer& transfer) {
    transfer.Room -= LENGTH_HEADER_SIZE;
    if (transfer.Room > MAX_HEADED_STREAM) transfer.Room = MAX_HEADED_STREAM;
    if (transfer.Room < 0) {
        transfer.OutOfRoom = true;
        return 0;
    }
    build.HeldStream.resize(LENGTH_HEADER_SIZE + MAX_HEADED_STREAM);
    transfer.Held = build.HeldStream.data() + LENGTH_HEADER_SIZE;
    std::int32_t length = encode_transfer(build, transfer, held_byte_sink) + LENGTH_HEADER_SIZE;
    if (transfer_failed(transfer)) return 0;
    build.HeldStream[0] = static_cast<unsigned char>(length >> 8);
    build.HeldStream[1] = static_cast<unsigned char>(length);
    if (!transfer.Discard)
        transfer.WriteFailed = !write_bytes(transfer.Output, build.HeldStream.data(), length);
    return length;
}

// Near the end of what positions can address, the data is read first, so
// that data too long for the room left writes nothing.
std::int64_t insert_raw_near_end(FileTransfer& transfer) {
    TransferBlock& block = *transfer.InputBlock;
    std::int32_t room = static_cast<std::int32_t>(transfer.Room);
    while (block.Filled <= room) {
        std::int32_t got = read_bytes(transfer.Input, block.Bytes + block.Filled, room + 1 - block.Filled);
        if (got < 0) transfer.ReadFailed = true;
        if (got <= 0) break;
        block.Filled += got;
    }
    transfer.OutOfRoom = block.Filled > room;
    if (transfer_failed(transfer) || block.Filled == 0) return 0;
    if (!transfer.Discard)
        transfer.WriteFailed = !write_bytes(transfer.Output, block.Bytes, block.Filled);
    return block.Filled;
}

// A dry run reads the whole data file, to learn its size and meet its read
// failures, and writes nothing.
std::int64_t count_raw(FileTransfer& transfer) {
    TransferBlock& block = *transfer.InputBlock;
    std::int64_t total = 0;
    for (;;) {
        std::int32_t got = read_bytes(transfer.Input, block.Bytes, TRANSFER_BLOCK);
        if (got < 0) transfer.ReadFailed = true;
        if (got <= 0) break;
        total += got;
    }
    transfer.OutOfRoom = !transfer.ReadFailed && total > transfer.Room;
    return transfer_failed(transfer) ? 0 : total;
}

std::int64_t insert_raw(HackBuild& build, FileTransfer& transfer) {
    if (transfer.Discard) return count_raw(transfer);
    if (transfer.Room < TRANSFER_BLOCK) return insert_raw_near_end(transfer);
    CopyResult copy = copy_bytes(transfer.Input, transfer.Output, transfer.Room);
    transfer.ReadFailed = copy.ReadFailed;
    transfer.WriteFailed = copy.WriteFailed;
    if (!transfer_failed(transfer) && copy.Copied == transfer.Room) {
        // All the room is taken: one more byte of data would not fit.
        std::int32_t more = read_bytes(transfer.Input, build.Scratch.data(), 1);
        transfer.ReadFailed = more < 0;
        transfer.OutOfRoom = more > 0;
    }
    return copy.Copied;
}

std::int64_t insert_by_mode(HackBuild& build, FileTransfer& transfer, int mode) {
    if (mode == 'Z') return insert_stream(build, transfer);
    if (mode == 'A') return insert_headed_stream(build, transfer);
    return insert_raw(build, transfer);
}

void report_transfer_failure(HackBuild& build, const FileTransfer& transfer) {
    if (transfer.ReadFailed)
        report_at(build, "Can't read \"" + build.DataName + "\"", build.DataNameMark);
    else if (transfer.WriteFailed)
        report_at(build, "Can't write hack", build.CommandMark);
    else
        report_at(build, "Data too long \"" + build.DataName + "\"", build.DataNameMark);
}

void warn_of_lower_case_mode(HackBuild& build, int mode) {
    if (mode != 'z' && mode != 'a') return;
    std::string written(1, static_cast<char>(mode));
    std::string meant(1, static_cast<char>(mode - 'a' + 'A'));
    warn(build, "Mode \"" + written + "\" places the data raw; did you mean \"" + meant + "\"",
         build.Script.Mark);
}

// Data placed over data placed earlier by this script is worth a warning;
// the stretches kept do not overlap, each named by the data placed first.
void note_placed_stretch(HackBuild& build, std::int64_t start, std::int64_t end) {
    if (start >= end) return;
    auto& placed = build.Placed;
    auto it = placed.upper_bound(start);
    if (it != placed.begin() && std::prev(it)->second.End > start) --it;
    std::string covered_by;
    std::int64_t uncovered = start;
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
    for (; it != placed.end() && it->first < end; ++it) {
        if (covered_by.empty()) covered_by = it->second.Name;
        if (it->first > uncovered) gaps.emplace_back(uncovered, it->first);
        uncovered = std::max(uncovered, it->second.End);
    }
    if (uncovered < end) gaps.emplace_back(uncovered, end);
    for (const auto& [from, to] : gaps) placed.emplace(from, PlacedStretch{to, build.DataName});
    if (!covered_by.empty())
        warn(build, "Data \"" + build.DataName + "\" is placed over data \"" + covered_by +
                        "\" placed earlier", build.DataNameMark);
}

void note_placement(HackBuild& build, int mode, std::int32_t position, const FileTransfer& transfer,
                    std::int64_t inserted) {
    ++build.DataPlaced;
    build.BytesWritten += inserted;
    if (warnings_wanted(build)) note_placed_stretch(build, position, position + inserted);
    if (build.Options.MapFile.empty()) return;
    bool raw = mode != 'Z' && mode != 'A';
    build.Placements.push_back(PlacementRow{build.DataName, mode, position,
                                            raw ? inserted : transfer.InputCount, inserted,
                                            build.NextFree});
}

// NextFree only grows, to an even position when it moves; the last position
// is odd and has no even one behind it, so it stays as it is.
void raise_next_free(HackBuild& build, std::int32_t end) {
    if (end <= build.NextFree) return;
    build.NextFree = (end % 2 != 0 && end < LAST_END) ? end + 1 : end;
}

Outcome insert_opened_data(HackBuild& build, FileHandle data) {
    std::int32_t position = read_offset(build);
    if (seek_destination(build, position) == Outcome::Stop) return Outcome::Stop;
    build.DataTable.emplace(build.DataName, position);  // the first insertion under a name wins
    int mode = next_nonblank(build.Script);
    if (script_failed(build)) return Outcome::Stop;
    if (warnings_wanted(build)) warn_of_lower_case_mode(build, mode);

    FileTransfer transfer;
    transfer.Input = data;
    transfer.Output = build.Destination;
    transfer.Discard = build.Options.DryRun;
    transfer.InputBlock = &build.DataBlock;
    transfer.OutputBlock = &build.StreamBlock;
    build.DataBlock.Used = build.DataBlock.Filled = 0;
    build.StreamBlock.Used = 0;
    transfer.Room = room_after(position);
    std::int64_t inserted = insert_by_mode(build, transfer, mode);
    if (transfer_failed(transfer)) {
        report_transfer_failure(build, transfer);
        return Outcome::Stop;
    }
    raise_next_free(build, static_cast<std::int32_t>(position + inserted));
    note_placement(build, mode, position, transfer, inserted);
    return Outcome::GoOn;
}

}  // namespace

Outcome insert_data(HackBuild& build) {
    build.DataName = read_script_token(build);
    build.DataNameMark = build.Script.Mark;
    if (script_failed(build)) return Outcome::Stop;
    FileHandle data = open_for_read(build.DataName.c_str());
    if (data == INVALID_FILE) {
        report_at(build, "Can't open \"" + build.DataName + "\"", build.DataNameMark);
        return Outcome::Stop;
    }
    Outcome outcome = insert_opened_data(build, data);
    close_file(data);
    return outcome;
}

}  // namespace hc
