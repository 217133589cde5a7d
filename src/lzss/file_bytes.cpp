#include "lzss/file_bytes.h"

namespace hc {
namespace {

FileTransfer& as_transfer(void* context) { return *static_cast<FileTransfer*>(context); }

bool take_room(FileTransfer& transfer) {
    if (transfer.Room <= 0) {
        transfer.OutOfRoom = true;
        return false;
    }
    --transfer.Room;
    return true;
}

}  // namespace

bool transfer_failed(const FileTransfer& transfer) {
    return transfer.ReadFailed || transfer.WriteFailed || transfer.OutOfRoom;
}

int file_byte_source(void* context) {
    FileTransfer& transfer = as_transfer(context);
    // Once the output has failed the rest of the input is of no use.
    if (transfer_failed(transfer) || transfer.InputEnded) return -1;
    TransferBlock& block = *transfer.InputBlock;
    if (block.Used == block.Filled) {
        // What was encoded so far goes out before the next read, so a read
        // that fails is never followed by a write.
        if (transfer.OutputBlock != nullptr) flush_output(transfer);
        if (transfer.WriteFailed) return -1;
        std::int32_t got = read_bytes(transfer.Input, block.Bytes, TRANSFER_BLOCK);
        if (got <= 0) {
            transfer.ReadFailed = got < 0;
            transfer.InputEnded = true;
            return -1;
        }
        block.Used = 0;
        block.Filled = got;
        transfer.InputCount += got;
    }
    return block.Bytes[block.Used++];
}

void flush_output(FileTransfer& transfer) {
    TransferBlock& block = *transfer.OutputBlock;
    if (block.Used > 0 && !transfer.WriteFailed && !transfer.Discard &&
        !write_bytes(transfer.Output, block.Bytes, block.Used))
        transfer.WriteFailed = true;
    block.Used = 0;
}

int file_byte_sink(void* context, int byte) {
    FileTransfer& transfer = as_transfer(context);
    if (transfer_failed(transfer) || !take_room(transfer)) return -1;
    TransferBlock& block = *transfer.OutputBlock;
    block.Bytes[block.Used++] = static_cast<unsigned char>(byte);
    if (block.Used == TRANSFER_BLOCK) flush_output(transfer);
    return transfer.WriteFailed ? -1 : 0;
}

int held_byte_sink(void* context, int byte) {
    FileTransfer& transfer = as_transfer(context);
    if (transfer_failed(transfer) || !take_room(transfer)) return -1;
    transfer.Held[transfer.HeldCount++] = static_cast<unsigned char>(byte);
    return 0;
}

}  // namespace hc
