// LZSS decoder for the encoder's stream: flag bytes announcing eight items,
// literal items of one byte, match items of two (a 12-bit window index and a
// length of 3 to 18). It is fed the stream in pieces of any size, keeps only
// the last 4096 bytes of output as the window, and hands what it decodes to a
// sink a block at a time. Arbitrary bytes are a valid input: it reads nothing
// outside the pieces it is given and never produces more than its limit.
#pragma once

#include <cstdint>

#include "lzss/lzss_encoder.h"

namespace hc {

// Takes count decoded bytes; false when they could not be written.
using BlockSink = bool (*)(void* context, const unsigned char* bytes, std::int32_t count);

// Decoded bytes are handed to the sink in blocks of about this size.
inline constexpr std::int32_t DECODE_BLOCK = 1 << 16;
// Where the block ends in the buffer: the window in front of it.
inline constexpr std::int32_t DECODE_BLOCK_END = RING_SIZE + DECODE_BLOCK;
// One group may start anywhere before the block's end, and a match copy
// writes up to MAX_MATCH bytes whatever its length.
inline constexpr std::int32_t DECODE_BUFFER_SIZE = DECODE_BLOCK_END + 8 * MAX_MATCH + MAX_MATCH;

enum class DecodeStop {
    NeedInput,     // every byte given was taken; more may follow
    LimitReached,  // the limit's bytes are decoded; the rest of the stream is not read
    SinkFailed,
};

struct LzssDecoder {
    // Output byte k stands at buffer index 4096 + k - shifted, where shifted
    // (the bytes dropped from the front so far) is a multiple of 4096: an
    // index modulo 4096 is the byte's window index, and the 4096 bytes before
    // the next output byte are always in the buffer. Before the first output
    // byte, indices 0 to 4095 hold the window's zeros.
    unsigned char buffer[DECODE_BUFFER_SIZE];
    std::int32_t write_at = RING_SIZE;  // index of the next output byte
    std::int32_t sent_to = RING_SIZE;   // bytes before this index went to the sink
    // The current group's flag bits not yet used, above a marker bit: 1 when
    // the next stream byte is a flag byte.
    unsigned flags = 1;
    int held_byte = -1;  // a match item's first byte, when its second is still to come
    std::int64_t produced = 0;
    std::int64_t limit = 0;
    BlockSink sink = nullptr;
    void* sink_context = nullptr;
};

// Prepares a new stream: an empty window of zeros, at most limit bytes of
// output. The sink must be bound before the first call of decode_bytes.
void start_decoding(LzssDecoder& decoder, std::int64_t limit);

// Decodes the next size bytes of the stream; consumed tells how many were
// taken (all of them, unless the limit was reached or the sink failed).
DecodeStop decode_bytes(LzssDecoder& decoder, const unsigned char* input, std::int32_t size,
                        std::int32_t& consumed);

// Hands the bytes still held to the sink; false when it failed.
bool flush_decoded(LzssDecoder& decoder);

// Whether the bytes given so far end inside a match item: a stream cut short.
bool ends_inside_item(const LzssDecoder& decoder);

}  // namespace hc
