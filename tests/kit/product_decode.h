// The product's decoder over a whole stream in memory, for round trips in
// tests, benchmarks and fuzzers. Header-only: it calls whichever engine the
// program links (the real one, or the one with fault injection).
#pragma once

#include <memory>
#include <string>

#include "lzss/lzss_decoder.h"

namespace hc::test {

inline bool append_decoded(void* context, const unsigned char* bytes, std::int32_t count) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes),
                                               static_cast<std::size_t>(count));
    return true;
}

// Decodes the whole stream, which ends where its bytes end. A stream cut
// inside a match item gives its output and a marker, so that no comparison
// with real data can pass.
inline std::string product_decode(const std::string& stream) {
    auto decoder = std::make_unique<LzssDecoder>();
    std::string output;
    decoder->sink = append_decoded;
    decoder->sink_context = &output;
    start_decoding(*decoder, INT64_MAX);
    std::int32_t consumed = 0;
    decode_bytes(*decoder, reinterpret_cast<const unsigned char*>(stream.data()),
                 static_cast<std::int32_t>(stream.size()), consumed);
    flush_decoded(*decoder);
    if (ends_inside_item(*decoder)) output += "<stream ends inside an item>";
    return output;
}

}  // namespace hc::test
