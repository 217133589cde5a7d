// Two paths over the same state. The fast one decodes whole groups with no
// checks inside: it runs only while the rest of the input holds a longest
// group (17 bytes), the buffer has room for a longest group's output (144
// bytes) and so has the limit. The careful one decodes one step at a time
// (a flag byte or an item) with every check, for the ends of pieces, of the
// block and of the limit, and for a match item split between two pieces.
#include "lzss/lzss_decoder.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace hc {
namespace {

constexpr std::int32_t WINDOW_MASK = RING_SIZE - 1;
constexpr std::int32_t LONGEST_GROUP_INPUT = 1 + 8 * 2;
constexpr std::int32_t LONGEST_GROUP_OUTPUT = 8 * MAX_MATCH;
constexpr unsigned GROUP_MARKER = 0x100;

// Distance from the next output byte back to the byte at window index
// position: 1 to 4096 (4096 when the index is the next byte's own, which
// still holds the byte from 4096 back).
inline std::int32_t distance_to(std::int32_t write_at, std::int32_t position) {
    return ((write_at - position - 1) & WINDOW_MASK) + 1;
}

inline std::int32_t match_position(unsigned low, unsigned high) {
    return static_cast<std::int32_t>(low | ((high & 0x0F) << 8));
}

inline std::int32_t match_length(unsigned high) { return static_cast<std::int32_t>(high >> 4) + MIN_MATCH; }

// Copies length (3 to 18) bytes from distance back. A copy that overlaps its
// own output must read each byte after it is stored: a run of one byte is a
// fill, and 8-byte moves are safe from distance 8 on. Moves may write up to
// MAX_MATCH bytes past the match's end, into room the buffer keeps for it;
// the next items write over them.
inline void copy_match(unsigned char* out, std::int32_t distance, std::int32_t length) {
    const unsigned char* from = out - distance;
    if (distance >= MAX_MATCH) {
        std::memcpy(out, from, MAX_MATCH);
    } else if (distance >= 8) {
        for (std::int32_t i = 0; i < length; i += 8) std::memcpy(out + i, from + i, 8);
    } else if (distance == 1) {
        std::memset(out, from[0], MAX_MATCH);
    } else {
        for (std::int32_t i = 0; i < length; ++i) out[i] = from[i];
    }
}

// Hands the block to the sink and drops whole windows from the front, so
// that the last 4096 bytes stay and window indices keep their place.
bool pass_block(LzssDecoder& decoder) {
    if (!flush_decoded(decoder)) return false;
    std::int32_t drop = (decoder.write_at - RING_SIZE) & ~WINDOW_MASK;
    std::int32_t kept = decoder.write_at - drop;
    std::memmove(decoder.buffer, decoder.buffer + drop, static_cast<std::size_t>(kept));
    decoder.write_at = kept;
    decoder.sent_to = kept;
    return true;
}

// Whole groups while the input, the buffer and the limit all have room for a
// longest one; returns the input bytes taken.
std::int32_t decode_groups(LzssDecoder& decoder, const unsigned char* input, std::int32_t size) {
    // Room beyond one block changes nothing, and a limit near 2^63 must not
    // overflow below.
    std::int64_t room = std::min<std::int64_t>(decoder.limit - decoder.produced, DECODE_BLOCK_END);
    if (decoder.flags != 1 || room < LONGEST_GROUP_OUTPUT) return 0;
    std::int64_t last_start =
        std::min<std::int64_t>(DECODE_BLOCK_END, decoder.write_at + room - LONGEST_GROUP_OUTPUT + 1);
    const unsigned char* in = input;
    const unsigned char* const in_end = input + size;
    unsigned char* const base = decoder.buffer;
    std::int32_t at = decoder.write_at;
    const std::int32_t start = at;
    while (in_end - in >= LONGEST_GROUP_INPUT && at < last_start) {
        unsigned flags = *in++;
        for (int item = 0; item < 8; ++item, flags >>= 1) {
            if (flags & 1) {
                base[at++] = *in++;
                continue;
            }
            std::int32_t position = match_position(in[0], in[1]);
            std::int32_t length = match_length(in[1]);
            in += 2;
            copy_match(base + at, distance_to(at, position), length);
            at += length;
        }
    }
    assert(at <= DECODE_BUFFER_SIZE - MAX_MATCH);
    decoder.write_at = at;
    decoder.produced += at - start;
    return static_cast<std::int32_t>(in - input);
}

// A match item whose bytes are both known, cut at the limit.
void decode_match(LzssDecoder& decoder, unsigned low, unsigned high) {
    std::int32_t length = match_length(high);
    length = static_cast<std::int32_t>(std::min<std::int64_t>(length, decoder.limit - decoder.produced));
    std::int32_t distance = distance_to(decoder.write_at, match_position(low, high));
    unsigned char* out = decoder.buffer + decoder.write_at;
    for (std::int32_t i = 0; i < length; ++i) out[i] = out[i - distance];
    decoder.write_at += length;
    decoder.produced += length;
}

// One flag byte, item or half item from the input; returns the bytes taken
// (0 only when there are none).
std::int32_t decode_step(LzssDecoder& decoder, const unsigned char* input, std::int32_t size) {
    if (size == 0) return 0;
    if (decoder.flags == 1) {
        decoder.flags = GROUP_MARKER | input[0];
        return 1;
    }
    bool literal = (decoder.flags & 1) != 0;
    if (literal) {
        decoder.buffer[decoder.write_at++] = input[0];
        ++decoder.produced;
    } else if (decoder.held_byte < 0) {
        decoder.held_byte = input[0];
        return 1;  // the item's second byte is still to come
    } else {
        decode_match(decoder, static_cast<unsigned>(decoder.held_byte), input[0]);
        decoder.held_byte = -1;
    }
    decoder.flags >>= 1;
    return 1;
}

}  // namespace

void start_decoding(LzssDecoder& decoder, std::int64_t limit) {
    std::memset(decoder.buffer, 0, RING_SIZE);
    decoder.write_at = RING_SIZE;
    decoder.sent_to = RING_SIZE;
    decoder.flags = 1;
    decoder.held_byte = -1;
    decoder.produced = 0;
    decoder.limit = limit;
}

DecodeStop decode_bytes(LzssDecoder& decoder, const unsigned char* input, std::int32_t size,
                        std::int32_t& consumed) {
    consumed = 0;
    for (;;) {
        if (decoder.write_at >= DECODE_BLOCK_END && !pass_block(decoder)) return DecodeStop::SinkFailed;
        if (decoder.produced >= decoder.limit) return DecodeStop::LimitReached;
        consumed += decode_groups(decoder, input + consumed, size - consumed);
        if (decoder.write_at >= DECODE_BLOCK_END) continue;
        std::int32_t taken = decode_step(decoder, input + consumed, size - consumed);
        if (taken == 0) return DecodeStop::NeedInput;
        consumed += taken;
    }
}

bool flush_decoded(LzssDecoder& decoder) {
    std::int32_t count = decoder.write_at - decoder.sent_to;
    if (count > 0 && !decoder.sink(decoder.sink_context, decoder.buffer + decoder.sent_to, count)) return false;
    decoder.sent_to = decoder.write_at;
    return true;
}

bool ends_inside_item(const LzssDecoder& decoder) { return decoder.held_byte >= 0; }

}  // namespace hc
