// LZSS encoder: a 4096-byte window, matches of 3 to 18 bytes, eight items to
// a flag byte. The output is fixed to the byte, so the same input always
// gives the same stream.
#pragma once

#include <cstdint>
#include <memory>

namespace hc {

inline constexpr std::int32_t RING_SIZE = 4096;
inline constexpr std::int32_t MAX_MATCH = 18;
inline constexpr std::int32_t MIN_MATCH = 3;
// Where the first input byte goes in the window: match positions in the
// stream count from here.
inline constexpr std::int32_t RING_START = RING_SIZE - MAX_MATCH;  // 4078

// The next input byte (0 to 255), or -1 once the input has ended, and -1 on
// every call after that.
using ByteSource = int (*)(void* context);
// Writes the low 8 bits of byte; 0 when written, -1 when not.
using ByteSink = int (*)(void* context, int byte);

// The encoder's tables, about 100 KB: made once, reused for every stream.
struct LzssEncoder;
struct LzssEncoderDeleter {
    void operator()(LzssEncoder* encoder) const;
};
using LzssEncoderPtr = std::unique_ptr<LzssEncoder, LzssEncoderDeleter>;
LzssEncoderPtr make_lzss_encoder();

// Encodes the whole input from source into sink and returns the number of
// bytes handed to the sink, whether or not the sink managed to write them.
std::int32_t encode(LzssEncoder& encoder, ByteSource source, void* source_context, ByteSink sink,
                    void* sink_context);

}  // namespace hc
