// Test-only companions of the encoder: a plain, step-by-step transcription of
// the encoding algorithm to compare against, and a decoder of the stream.
#pragma once

#include <string>

namespace hc::test {

std::string reference_encode(const std::string& input);

// The same, fed and drained through one-byte callbacks like the product's.
void reference_encode_with(int (*source)(void*), void* source_context, int (*sink)(void*, int),
                           void* sink_context);

// Decodes a whole stream; the stream carries no length, so it ends where its
// bytes end, also in the middle of a group.
std::string decode_stream(const std::string& stream);

}  // namespace hc::test
