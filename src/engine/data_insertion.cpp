// D: places a whole data file into the destination, raw or as an LZSS stream
// (optionally behind its 2-byte length), and records where it went.
#include <limits>

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
    transfer.WriteFailed = !write_bytes(transfer.Output, block.Bytes, block.Filled);
    return block.Filled;
}

std::int64_t insert_raw(HackBuild& build, FileTransfer& transfer) {
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
        report(build, "Can't read \"" + build.DataName + "\"");
    else if (transfer.WriteFailed)
        report(build, "Can't write hack");
    else
        report(build, "Data too long \"" + build.DataName + "\"");
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

    FileTransfer transfer;
    transfer.Input = data;
    transfer.Output = build.Destination;
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
    return Outcome::GoOn;
}

}  // namespace

Outcome insert_data(HackBuild& build) {
    build.DataName = read_token(build.Script);
    if (script_failed(build)) return Outcome::Stop;
    FileHandle data = open_for_read(build.DataName.c_str());
    if (data == INVALID_FILE) {
        report(build, "Can't open \"" + build.DataName + "\"");
        return Outcome::Stop;
    }
    Outcome outcome = insert_opened_data(build, data);
    close_file(data);
    return outcome;
}

}  // namespace hc
