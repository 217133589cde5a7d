#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "corpus.h"
#include "lzss/lzss_encoder_internal.h"
#include "lzss_reference.h"
#include "memory_bytes.h"
#include "product_decode.h"
#include "support.h"

namespace hc::test {
namespace {

struct EncodeResult {
    std::int32_t count;
    std::string stream;
};

EncodeResult encode_string(const std::string& input, bool sink_fails = false) {
    auto encoder = make_lzss_encoder();
    MemoryBytes transfer;
    transfer.input = &input;
    transfer.sink_fails = sink_fails;
    std::int32_t count = encode(*encoder, memory_source, &transfer, memory_sink, &transfer);
    return {count, transfer.output};
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
        for (bench::CorpusKind kind : bench::corpus_kinds()) {
            if (bench::is_structured(kind) && size > 2 * RING_SIZE) continue;
            inputs.emplace_back(bench::corpus_name(kind), bench::make_corpus(kind, size, seed++));
        }
        inputs.emplace_back("small alphabet", small_alphabet(size, seed++));
        inputs.emplace_back("rising counters", counter_records(size, seed++, 1));
        inputs.emplace_back("falling counters", counter_records(size, seed++, -1));
        for (const auto& [kind, input] : inputs) {
            EncodeResult result = encode_string(input);
            ASSERT_EQ(result.stream, reference_encode(input)) << kind << ", " << size << " bytes";
            ASSERT_EQ(product_decode(result.stream), input) << kind << ", " << size << " bytes";
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

// The product's trees in the reference's layout.
void product_links(const LzssEncoder& encoder, TreeLinks& out) {
    for (std::int32_t p = 0; p < RING_SIZE; ++p) {
        const bool in_tree = encoder.parent[p] != NO_NODE;
        out.parent[p] = encoder.parent[p];
        out.left[p] = in_tree ? encoder.tree[p].left : NO_LINK;
        out.right[p] = in_tree ? encoder.tree[p].right : NO_LINK;
    }
    for (std::int32_t c = 0; c < ROOT_SLOTS; ++c) out.root[c] = encoder.tree[RING_SIZE + 1 + c].right;
}

// The reference's trees driven beside an encoder's, one insertion or removal
// at a time: after each step the encoder's trees must pass their check, hold
// the very links of the reference's, and an insertion must find the same
// match. Keeps the first fault.
struct Lockstep {
    ReferenceTrees reference;
    std::unique_ptr<TreeLinks> expected = std::make_unique<TreeLinks>();
    std::unique_ptr<TreeLinks> actual = std::make_unique<TreeLinks>();
    std::int64_t steps = 0;
    std::string fault;

    void follow(const LzssEncoder& encoder, TreeStep step, std::int32_t position) {
        if (!fault.empty()) return;
        ++steps;
        const int first_byte = encoder.ring[position];
        if (step == TreeStep::Insert) {
            std::copy(std::begin(encoder.ring), std::end(encoder.ring), reference.ring());
            reference.insert(position);
        } else {
            reference.remove(position);
        }
        // After every step the changed tree's check and the links around
        // the string, every link of all trees now and then.
        const bool everything = steps % 256 == 0;
        std::string found = everything ? compare_all(encoder) : check_tree(encoder, first_byte);
        if (found.empty() && !everything) found = compare_around(encoder, position);
        if (found.empty() && step == TreeStep::Insert) found = compare_match(encoder);
        if (!found.empty())
            fault = "step " + std::to_string(steps) + (step == TreeStep::Insert ? ", insertion of " : ", removal of ") +
                    std::to_string(position) + ": " + found;
    }

    // The links of one node in both.
    std::string compare_node(const LzssEncoder& encoder, int p) {
        const bool in_tree = encoder.parent[p] != NO_NODE;
        const int left = in_tree ? encoder.tree[p].left : NO_LINK;
        const int right = in_tree ? encoder.tree[p].right : NO_LINK;
        if (encoder.parent[p] == reference.parent(p) && left == reference.left(p) && right == reference.right(p))
            return {};
        return "node " + std::to_string(p) + ": parent, left, right " + std::to_string(encoder.parent[p]) + ", " +
               std::to_string(left) + ", " + std::to_string(right) + " instead of " +
               std::to_string(reference.parent(p)) + ", " + std::to_string(reference.left(p)) + ", " +
               std::to_string(reference.right(p));
    }

    // The node a step placed or took away, its parent and its children.
    std::string compare_around(const LzssEncoder& encoder, int p) {
        std::string found = compare_node(encoder, p);
        const int near[] = {reference.parent(p), reference.left(p), reference.right(p)};
        for (int q : near)
            if (found.empty() && q < RING_SIZE) found = compare_node(encoder, q);
        return found;
    }

    std::string compare_all(const LzssEncoder& encoder) {
        std::string found = check_trees(encoder);
        if (!found.empty()) return found;
        reference.links(*expected);
        product_links(encoder, *actual);
        return first_difference(*expected, *actual);
    }

    std::string compare_match(const LzssEncoder& encoder) {
        // A match the encoder did not search is never coded, nor is the
        // position of one shorter than MIN_MATCH.
        const bool same_match = !encoder.match_searched ||
                                (encoder.best_len == reference.match_length() &&
                                 (encoder.best_len < MIN_MATCH || encoder.best_pos == reference.match_position()));
        if (same_match) return {};
        return "match " + std::to_string(encoder.best_len) + " at " + std::to_string(encoder.best_pos) + " instead of " +
               std::to_string(reference.match_length()) + " at " + std::to_string(reference.match_position());
    }

    // Everything once more at the end.
    void finish(const LzssEncoder& encoder) {
        if (fault.empty()) fault = compare_all(encoder);
    }
};

void follow_step(void* lockstep, const LzssEncoder& encoder, TreeStep step, std::int32_t position) {
    static_cast<Lockstep*>(lockstep)->follow(encoder, step, position);
}

// Inputs a little past one turn of the ring, so that removals take part: the
// kinds of the corpus and the counter records above, each walked step by
// step beside the reference (the checks walk whole trees, so the inputs stay
// small).
TEST(LzssTree, EveryStepMatchesTheReference) {
    constexpr std::size_t SIZE = 4600;
    std::vector<std::pair<std::string, std::string>> inputs;
    unsigned seed = 1;
    for (bench::CorpusKind kind : bench::corpus_kinds())
        inputs.emplace_back(bench::corpus_name(kind), bench::make_corpus(kind, SIZE, seed++));
    inputs.emplace_back("rising counters", counter_records(SIZE, seed++, 1));
    inputs.emplace_back("falling counters", counter_records(SIZE, seed++, -1));
    auto encoder = make_lzss_encoder();
    // Once as it runs, once with the index's clock starting again every few
    // hundred insertions, every index rebuilt from its tree each time.
    for (const IndexBirth clock_end : {INDEX_CLOCK_END, IndexBirth{300}}) {
        encoder->clock_end = clock_end;
        for (const auto& [kind, input] : inputs) {
            Lockstep lockstep;
            encoder->after_step = follow_step;
            encoder->step_context = &lockstep;
            MemoryBytes memory;
            memory.input = &input;
            encode(*encoder, memory_source, &memory, memory_sink, &memory);
            lockstep.finish(*encoder);
            EXPECT_EQ(lockstep.fault, "") << kind << ", clock end " << clock_end;
            EXPECT_GT(lockstep.steps, static_cast<std::int64_t>(2 * RING_SIZE)) << kind;
        }
    }
}

// Trees built by hand, one step at a time, in both encoders.
struct HandBuiltTrees {
    LzssEncoderPtr encoder = make_lzss_encoder();
    Lockstep lockstep;

    HandBuiltTrees() { reset_tables(*encoder); }

    // Puts bytes at a ring position, padded with dots to at least 18.
    void place(std::int32_t position, std::string text) {
        if (text.size() < MAX_MATCH) text.resize(MAX_MATCH, '.');
        std::copy(text.begin(), text.end(), encoder->ring + position);
    }
    void insert(std::int32_t position) {
        tree_insert(*encoder, position);
        lockstep.follow(*encoder, TreeStep::Insert, position);
    }
    void remove(std::int32_t position) {
        tree_remove(*encoder, position);
        lockstep.follow(*encoder, TreeStep::Remove, position);
    }
};

// Inside a run, a string that equals the previous one takes the root's place
// without a descent; one that differs only near its end must not.
TEST(LzssTree, RunShortcutChecksTheWholeString) {
    HandBuiltTrees trees;
    const std::string run(16, 'a');
    trees.place(100, run + "cd");
    trees.place(200, run + "cda");  // strings at 200 and 201
    trees.insert(100);
    trees.insert(200);
    ASSERT_EQ(trees.encoder->best_len, MAX_MATCH);  // equal to the root's: took its place
    trees.insert(201);  // "a" x 15 + "cda"
    trees.lockstep.finish(*trees.encoder);
    EXPECT_EQ(trees.lockstep.fault, "");
}

// A chain of sorted strings long enough to turn its tree deep, then what
// the index must answer for as the descent would: strings between chained
// ones, removals of nodes with two children (whose predecessors inherit their
// places), equal strings taking older ones' places, and ties among matches
// of one length.
TEST(LzssTree, DeepTreeAnswersThroughItsIndex) {
    HandBuiltTrees trees;
    const auto text = [](int number, const char* tail) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", number);
        return std::string("a") + digits + tail;
    };
    constexpr int SPACING = MAX_MATCH;  // strings side by side, none overlapping
    int slot = 0;
    const auto add = [&](const std::string& string) {
        trees.place(slot * SPACING, string);
        trees.insert(slot * SPACING);
        return slot++ * SPACING;
    };
    std::vector<int> chain;
    for (int i = 0; i < 150; ++i) chain.push_back(add(text(2 * i, "")));
    ASSERT_EQ(trees.encoder->indexed['a'], 1);
    for (int i = 0; i < 20; ++i) add(text(4 * i + 1, "x"));
    for (int i = 0; i < 30; i += 3) trees.remove(chain[static_cast<std::size_t>(i)]);
    for (int i = 0; i < 20; ++i) add(text(2 * (40 + i), ""));
    for (int i = 0; i < 15; ++i) add(text(i % 5 + 300, "q"));
    trees.lockstep.finish(*trees.encoder);
    EXPECT_EQ(trees.lockstep.fault, "");
}

}  // namespace
}  // namespace hc::test
