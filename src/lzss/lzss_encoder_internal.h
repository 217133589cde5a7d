// The encoder's tables and tree steps, for white-box tests and fuzzers. What
// the tables hold and the rules they keep are set out at the top of
// lzss_encoder.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "lzss/lzss_encoder.h"
#include "lzss/ordered_index.h"

namespace hc {

inline constexpr std::int32_t GUARD_SIZE = MAX_MATCH - 1;  // 17
inline constexpr std::int32_t NO_NODE = RING_SIZE;
inline constexpr std::int32_t ROOT_SLOTS = 256;

// Ring positions, root slots or NO_NODE, all below 2^16.
using TreeLink = std::uint16_t;

// One node of the search trees: bytes 1 to 4 of its string (big-endian) and
// both links, in 8 bytes, aligned so that no node straddles two cache lines.
struct alignas(8) TreeNode {
    std::uint32_t prefix;
    TreeLink left;
    TreeLink right;
};

enum class TreeStep { Insert, Remove };

struct LzssEncoder {
    std::int32_t output_count = 0;
    unsigned char ring[RING_SIZE + GUARD_SIZE];
    std::int32_t best_pos = 0;
    std::int32_t best_len = 0;
    // For the checks of tests and fuzzers: whether best_pos and best_len are
    // what the plain descent would report. The index leaves a match that is
    // not coded unsearched (only the last string of a coded match has its
    // match coded), and clears this; it is set again before each step a
    // check follows. The position of a match too short to be coded is not
    // searched either, whatever this says.
    bool match_searched = true;
    TreeNode tree[RING_SIZE + 1 + ROOT_SLOTS];
    TreeLink parent[RING_SIZE + 1];
    std::int32_t run_root = NO_NODE;
    // Per tree: whether it is deep and searched through its ordered index
    // (then the index and the tree change together); how many of its
    // insertions are left before it is next checked for having turned
    // shallow again; and how many insertions apart those checks are, a
    // number that doubles whenever the tree turns deep again, so that a tree
    // that keeps changing its mind is not indexed over and over.
    unsigned char indexed[ROOT_SLOTS];
    // Per tree not indexed: whether its last descent was long (a chain,
    // mostly), so that the next one is walked with predicted branches.
    unsigned char long_descents[ROOT_SLOTS];
    std::uint16_t until_check[ROOT_SLOTS];
    std::uint16_t check_every[ROOT_SLOTS];
    OrderedIndex index;
    // Where an insertion through an index searches from: the string it left
    // for the insertion at finger_for, likely to lie next to that one in its
    // tree's order; else one of the last two strings inserted into the tree.
    std::int32_t finger = 0;
    std::int32_t finger_for = NO_NODE;
    TreeLink last_inserted[ROOT_SLOTS][2];  // the last, then the one before
    // Where the index's clock starts again; tests set it low to make the
    // restart happen in a short input.
    IndexBirth clock_end = INDEX_CLOCK_END;
    void* source_context = nullptr;
    void* sink_context = nullptr;
    ByteSource source = nullptr;
    ByteSink sink = nullptr;
    // When set, encode calls it after every insertion and removal of the
    // string at position, so that tests and fuzzers can check the trees step
    // by step.
    void (*after_step)(void* context, const LzssEncoder& encoder, TreeStep step, std::int32_t position) = nullptr;
    void* step_context = nullptr;
};

void tree_insert(LzssEncoder& encoder, std::int32_t r);
void tree_remove(LzssEncoder& encoder, std::int32_t p);

// Empties the trees and the ring, as encode does before each stream.
void reset_tables(LzssEncoder& encoder);

// Checks every tree: each link agrees with the parent entry at its other end,
// each node lies in the tree of its first byte and its record holds bytes 1
// to 4 of its string, the strings of a tree are strictly in order from left
// to right, and every node with a parent is in a tree. Returns the first
// fault found, or an empty string. Walks all 4096 nodes: for tests and
// fuzzers, not for the encoder's own use.
std::string check_trees(const LzssEncoder& encoder);

// The same for the tree of one first byte alone, the one a step changes;
// counts its nodes when nodes is not null.
std::string check_tree(const LzssEncoder& encoder, int first_byte, std::int32_t* nodes = nullptr);

}  // namespace hc
