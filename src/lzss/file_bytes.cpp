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
    if (transfer_failed(transfer)) return -1;
    unsigned char byte = 0;
    std::int32_t got = read_bytes(transfer.Input, &byte, 1);
    if (got == 1) return byte;
    if (got < 0) transfer.ReadFailed = true;
    return -1;
}

int file_byte_sink(void* context, int byte) {
    FileTransfer& transfer = as_transfer(context);
    if (transfer_failed(transfer) || !take_room(transfer)) return -1;
    unsigned char value = static_cast<unsigned char>(byte);
    if (write_bytes(transfer.Output, &value, 1)) return 0;
    transfer.WriteFailed = true;
    return -1;
}

int held_byte_sink(void* context, int byte) {
    FileTransfer& transfer = as_transfer(context);
    if (transfer_failed(transfer) || !take_room(transfer)) return -1;
    transfer.Held[transfer.HeldCount++] = static_cast<unsigned char>(byte);
    return 0;
}

}  // namespace hc
