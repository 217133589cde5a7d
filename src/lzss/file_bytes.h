// The encoder's file-bound source and sink. One transfer record serves as
// the context of both, so that a failure on either side ends the input early
// and the caller learns what went wrong.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace hc {

// Input is read and output written in blocks of this size; the callbacks
// still take and give one byte per call.
inline constexpr std::int32_t TRANSFER_BLOCK = 1 << 16;

struct TransferBlock {
    unsigned char Bytes[TRANSFER_BLOCK];
    std::int32_t Used = 0;  // output: bytes gathered; input: bytes taken
    std::int32_t Filled = 0;  // input: bytes read into the block
};

struct FileTransfer {
    FileHandle Input = INVALID_FILE;
    FileHandle Output = INVALID_FILE;
    TransferBlock* InputBlock = nullptr;   // for file_byte_source
    TransferBlock* OutputBlock = nullptr;  // for file_byte_sink
    bool InputEnded = false;
    std::int64_t Room = 0;             // bytes the output may still take
    unsigned char* Held = nullptr;     // for held_byte_sink: the memory taking the bytes
    std::int32_t HeldCount = 0;
    bool ReadFailed = false;
    bool WriteFailed = false;
    bool OutOfRoom = false;
    bool Discard = false;              // a dry run: output is counted, not written
    std::int64_t InputCount = 0;       // bytes file_byte_source read from Input
};

bool transfer_failed(const FileTransfer& transfer);

// One byte from Input per call; -1 at its end, after a failed read, or once
// the output side has failed.
int file_byte_source(void* transfer);

// One byte to Output at its current position per call. The bytes are
// gathered and written a block at a time: flush_output writes what is left.
int file_byte_sink(void* transfer, int byte);
void flush_output(FileTransfer& transfer);

// One byte into Held per call, while Room lasts.
int held_byte_sink(void* transfer, int byte);

}  // namespace hc
