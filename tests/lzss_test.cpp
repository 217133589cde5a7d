#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "corpus.h"
#include "lzss/lzss_encoder.h"
#include "lzss_reference.h"
#include "memory_bytes.h"
#include "support.h"

namespace hc::test {
namespace {

struct EncodeResult {
    std::int32_t count;
    std::string stream;
    int source_calls;
};

EncodeResult encode_string(const std::string& input, bool sink_fails = false) {
    auto encoder = std::make_unique<LzssEncoder>();
    MemoryBytes transfer;
    transfer.input = &input;
    transfer.sink_fails = sink_fails;
    encoder->source = memory_source;
    encoder->source_context = &transfer;
    encoder->sink = memory_sink;
    encoder->sink_context = &transfer;
    std::int32_t count = encode(*encoder);
    return {count, transfer.output, transfer.source_calls};
}

struct Vector {
    std::string input;
    const char* stream;
};

const Vector VECTORS[] = {
    {"", ""},
    {"a", "01 61"},
    {"abcdefgh", "FF 61 62 63 64 65 66 67 68"},
    {"abcdefghi", "FF 61 62 63 64 65 66 67 68 01 69"},
    {std::string(10, 'a'), "01 61 00 60"},
    {std::string(21, 'a'), "0D 61 00 F0 61 61"},
    {std::string(5, '\0'), "00 EE 2F"},
    {std::string(19, '\0'), "02 EE FF 00"},
    {std::string(40, 'x'), "01 78 00 F0 12 F0 16 00"},
    {"abcabcabcabc", "07 61 62 63 00 60"},
};

TEST(LzssEncoder, KnownVectors) {
    for (const Vector& v : VECTORS) {
        EncodeResult result = encode_string(v.input);
        EXPECT_EQ(hex_of(result.stream), v.stream) << "input of " << v.input.size() << " bytes";
        EXPECT_EQ(result.count, static_cast<std::int32_t>(result.stream.size()));
        EXPECT_EQ(hex_of(reference_encode(v.input)), v.stream) << "reference";
    }
}

TEST(LzssEncoder, FailingSinkStillCountsEveryByte) {
    std::string input = "abcabcabcabc plus some text that is not repeated";
    EncodeResult failing = encode_string(input, true);
    EXPECT_TRUE(failing.stream.empty());
    EXPECT_EQ(failing.count, static_cast<std::int32_t>(encode_string(input).stream.size()));
}

// Seeded inputs of the kinds the encoder meets (the benchmark's corpus), and
// a three-letter alphabet that makes many equally long matches: every one must
// decode back to itself and match the plain transcription byte for byte.
std::string small_alphabet(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>("\0\1\2"[rng() % 3]);
    return data;
}

// Records carrying a counter that climbs (or falls) by one, each followed by a
// run of one byte value: sorted strings make the trees long chains, and the
// runs cross the end of the ring, so both ways of descending and the run
// shortcut get their turn in one input.
std::string counter_records(std::size_t size, unsigned seed, int step) {
    std::mt19937 rng(seed);
    std::uint32_t counter = static_cast<std::uint32_t>(rng());
    std::string data;
    while (data.size() < size) {
        for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<char>(counter >> shift));
        data.append(rng() % 30, static_cast<char>(rng() % 2));
        counter += static_cast<std::uint32_t>(step);
    }
    data.resize(size);
    return data;
}

TEST(LzssEncoder, RoundTripsAndMatchesTheReference) {
    const std::size_t sizes[] = {1, 2, 3, 17, 18, 19, 100, 4095, 4096, 4097, 4113, 70000};
    unsigned seed = 1;
    for (std::size_t size : sizes) {
        std::vector<std::pair<std::string, std::string>> inputs;
        for (bench::CorpusKind kind : bench::corpus_kinds())
            inputs.emplace_back(bench::corpus_name(kind), bench::make_corpus(kind, size, seed++));
        inputs.emplace_back("small alphabet", small_alphabet(size, seed++));
        inputs.emplace_back("rising counters", counter_records(size, seed++, 1));
        inputs.emplace_back("falling counters", counter_records(size, seed++, -1));
        for (const auto& [kind, input] : inputs) {
            EncodeResult result = encode_string(input);
            ASSERT_EQ(result.stream, reference_encode(input)) << kind << ", " << size << " bytes";
            ASSERT_EQ(decode_stream(result.stream), input) << kind << ", " << size << " bytes";
        }
    }
}

// Records of many shapes: a counter one to three bytes wide, either byte
// order, climbing or falling by a step of one or two, filler from a small
// alphabet and runs now and then. Sorted strings, deep trees and runs mix in
// ways the benchmark corpus does not.
std::string shaped_records(unsigned seed, std::size_t size) {
    std::mt19937 rng(seed);
    const int record = 3 + static_cast<int>(rng() % 24);
    const int width = 1 + static_cast<int>(rng() % 3);
    const bool big_endian = rng() % 2 == 0;
    const int alphabet = 1 + static_cast<int>(rng() % 4);
    const int run_odds = static_cast<int>(rng() % 4);
    const std::uint32_t step = (rng() % 2 == 0 ? 1u : 2u) * (rng() % 2 == 0 ? 1u : ~0u);
    std::uint32_t counter = static_cast<std::uint32_t>(rng());
    std::string data;
    while (data.size() < size) {
        for (int i = 0; i < record; ++i) {
            const int shift = 8 * (big_endian ? width - 1 - i : i);
            data.push_back(static_cast<char>(i < width ? counter >> shift : rng() % alphabet));
        }
        if (run_odds != 0 && rng() % run_odds == 0) data.append(rng() % 40, static_cast<char>(rng() % alphabet));
        counter += step;
    }
    data.resize(size);
    return data;
}

TEST(LzssEncoder, ShapedRecordsMatchTheReference) {
    for (unsigned seed = 0; seed < 60; ++seed) {
        const std::string input = shaped_records(seed, 20000);
        ASSERT_EQ(encode_string(input).stream, reference_encode(input)) << "seed " << seed;
    }
}

// An encoder with empty trees, for driving tree_insert and tree_remove by hand.
std::unique_ptr<LzssEncoder> empty_trees() {
    auto encoder = std::make_unique<LzssEncoder>();
    static MemoryBytes nothing;
    static const std::string empty;
    nothing.input = &empty;
    encoder->source = memory_source;
    encoder->source_context = &nothing;
    encoder->sink = memory_sink;
    encoder->sink_context = &nothing;
    encode(*encoder);  // an empty input leaves the tables set up and nothing else
    return encoder;
}

// Puts bytes at a ring position, padded with dots to at least 18.
void place_string(LzssEncoder& encoder, std::int32_t pos, const std::string& text) {
    std::string bytes = text;
    if (bytes.size() < MAX_MATCH) bytes.resize(MAX_MATCH, '.');
    std::copy(bytes.begin(), bytes.end(), encoder.ring + pos);
}

// Inside a run, a string that equals the previous one takes the root's place
// without a descent; one that differs only near its end must not.
TEST(LzssTree, RunShortcutChecksTheWholeString) {
    auto encoder = empty_trees();
    const std::string run(16, 'a');
    place_string(*encoder, 100, run + "cd");
    place_string(*encoder, 200, run + "cda");  // strings at 200 and 201
    tree_insert(*encoder, 100);
    tree_insert(*encoder, 200);
    ASSERT_EQ(encoder->best_len, MAX_MATCH);  // equal to the root's: took its place
    tree_insert(*encoder, 201);                // "a" x 15 + "cda"
    EXPECT_EQ(encoder->best_len, 15);
    EXPECT_EQ(encoder->best_pos, 200);
    EXPECT_EQ(encoder->parent[201], 200);
}


}  // namespace
}  // namespace hc::test
