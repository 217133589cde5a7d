// The encoder over arbitrary bytes: its trees must pass their check after
// every step, and its stream must decode back to the input and equal the
// plain reference encoder's byte for byte, with the checks and without.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "lzss/lzss_encoder_internal.h"
#include "lzss_reference.h"
#include "memory_bytes.h"
#include "product_decode.h"

namespace {

void fail(const std::string& fault) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
}

// The tree a step changed is the one of the string's first byte.
void check_step(void*, const hc::LzssEncoder& encoder, hc::TreeStep, std::int32_t position) {
    const std::string fault = hc::check_tree(encoder, encoder.ring[position]);
    if (!fault.empty()) fail(fault);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    static hc::LzssEncoderPtr encoder = hc::make_lzss_encoder();
    encoder->after_step = check_step;
    hc::test::MemoryBytes memory;
    memory.input = &input;
    std::int32_t count = hc::encode(*encoder, hc::test::memory_source, &memory, hc::test::memory_sink, &memory);
    const std::string fault = hc::check_trees(*encoder);
    if (!fault.empty()) fail(fault);
    if (static_cast<std::size_t>(count) != memory.output.size()) std::abort();
    if (memory.output != hc::test::reference_encode(input)) std::abort();
    if (hc::test::product_decode(memory.output) != input) std::abort();
    // Once more as a build encodes, without the checks: a loop of its own.
    encoder->after_step = nullptr;
    hc::test::MemoryBytes plain;
    plain.input = &input;
    hc::encode(*encoder, hc::test::memory_source, &plain, hc::test::memory_sink, &plain);
    if (plain.output != memory.output) std::abort();
    return 0;
}
