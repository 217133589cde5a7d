// The encoder's file-bound source and sink. One transfer record serves as
// the context of both, so that a failure on either side ends the input early
// and the caller learns what went wrong.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace hc {

struct FileTransfer {
    FileHandle Input = INVALID_FILE;
    FileHandle Output = INVALID_FILE;
    std::int64_t Room = 0;             // bytes the output may still take
    unsigned char* Held = nullptr;     // for held_byte_sink: the memory taking the bytes
    std::int32_t HeldCount = 0;
    bool ReadFailed = false;
    bool WriteFailed = false;
    bool OutOfRoom = false;
};

bool transfer_failed(const FileTransfer& transfer);

// One byte from Input per call; -1 at its end, after a failed read, or once
// the output side has failed.
int file_byte_source(void* transfer);

// One byte to Output at its current position per call.
int file_byte_sink(void* transfer, int byte);

// One byte into Held per call, while Room lasts.
int held_byte_sink(void* transfer, int byte);

}  // namespace hc
