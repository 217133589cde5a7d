// The decoder over arbitrary streams. The first three bytes choose how the
// stream is cut into pieces and the output limit; each piece is handed over
// in a buffer of its own exact size, so that a read past a piece's end is an
// AddressSanitizer finding. The output must stay within the limit and equal
// a plain byte-by-byte decoding of the same stream, however it was cut.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "lzss/lzss_decoder.h"

namespace {

bool append_block(void* context, const unsigned char* bytes, std::int32_t count) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes),
                                               static_cast<std::size_t>(count));
    return true;
}

// The format read the simplest way: a 4096-byte window that starts as zeros,
// every byte stored before the next is read.
std::string plain_decode(const std::uint8_t* stream, std::size_t size, std::size_t limit, bool& cut) {
    std::vector<std::uint8_t> window(4096, 0);
    std::string output;
    std::size_t in = 0;
    cut = false;
    auto put = [&](std::uint8_t byte) {
        window[output.size() % 4096] = byte;
        output.push_back(static_cast<char>(byte));
    };
    while (in < size && output.size() < limit) {
        unsigned flags = stream[in++];
        for (int item = 0; item < 8 && in < size && output.size() < limit; ++item, flags >>= 1) {
            if (flags & 1) {
                put(stream[in++]);
                continue;
            }
            if (in + 1 == size) {
                cut = true;
                return output;
            }
            unsigned position = stream[in] | ((stream[in + 1] & 0x0Fu) << 8);
            unsigned length = (stream[in + 1] >> 4) + 3u;
            in += 2;
            for (unsigned j = 0; j < length && output.size() < limit; ++j) put(window[(position + j) % 4096]);
        }
    }
    return output;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return -1;
    std::size_t piece = data[0] == 0 ? size : data[0];
    // Up to 256 KiB, or no limit at all (FF FF): a stream of 16 KiB decodes
    // to at most 144 KiB anyway.
    std::size_t chosen = static_cast<std::size_t>(data[1]) << 8 | data[2];
    std::size_t limit = chosen == 0xFFFF ? SIZE_MAX : chosen * 4;
    data += 3;
    size -= 3;

    static auto decoder = std::make_unique<hc::LzssDecoder>();
    std::string output;
    decoder->sink = append_block;
    decoder->sink_context = &output;
    hc::start_decoding(*decoder, chosen == 0xFFFF ? INT64_MAX : static_cast<std::int64_t>(limit));
    std::size_t taken = 0;
    hc::DecodeStop stop = hc::DecodeStop::NeedInput;
    while (taken < size && stop == hc::DecodeStop::NeedInput) {
        std::size_t count = std::min(piece, size - taken);
        std::vector<std::uint8_t> own(data + taken, data + taken + count);
        std::int32_t consumed = 0;
        stop = hc::decode_bytes(*decoder, own.data(), static_cast<std::int32_t>(count), consumed);
        if (consumed < 0 || static_cast<std::size_t>(consumed) > count) std::abort();
        if (stop == hc::DecodeStop::NeedInput && static_cast<std::size_t>(consumed) != count) std::abort();
        taken += static_cast<std::size_t>(consumed);
    }
    if (stop == hc::DecodeStop::SinkFailed || !hc::flush_decoded(*decoder)) std::abort();
    if (output.size() > limit) std::abort();
    if (stop == hc::DecodeStop::LimitReached && output.size() != limit) std::abort();

    bool cut = false;
    std::string expected = plain_decode(data, size, limit, cut);
    if (output != expected) std::abort();
    if (stop == hc::DecodeStop::NeedInput && hc::ends_inside_item(*decoder) != cut) std::abort();
    return 0;
}
