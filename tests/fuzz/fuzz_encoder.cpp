// The encoder over arbitrary bytes: its stream must decode back to the input
// and equal the plain reference encoder's byte for byte.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "lzss/lzss_encoder.h"
#include "lzss_reference.h"
#include "memory_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    static auto encoder = std::make_unique<hc::LzssEncoder>();
    hc::test::MemoryBytes memory;
    memory.input = &input;
    std::int32_t count = hc::encode(*encoder, hc::test::memory_source, &memory, hc::test::memory_sink, &memory);
    if (static_cast<std::size_t>(count) != memory.output.size()) std::abort();
    if (memory.output != hc::test::reference_encode(input)) std::abort();
    if (hc::test::decode_stream(memory.output) != input) std::abort();
    return 0;
}
