// LZSS encoder with a binary-tree match finder: a 4096-byte window, matches
// of 3 to 18 bytes, eight items to a flag byte. The output is fixed to the
// byte, so the same input always gives the same stream.
#pragma once

#include <cstdint>

#include "lzss/ordered_index.h"

namespace hc {

inline constexpr std::int32_t RING_SIZE = 4096;
inline constexpr std::int32_t MAX_MATCH = 18;
inline constexpr std::int32_t MIN_MATCH = 3;
inline constexpr std::int32_t RING_START = RING_SIZE - MAX_MATCH;  // 4078
inline constexpr std::int32_t GUARD_SIZE = MAX_MATCH - 1;          // 17
inline constexpr std::int32_t NO_NODE = RING_SIZE;
inline constexpr std::int32_t ROOT_SLOTS = 256;

// The next input byte (0 to 255), or -1 once the input has ended, and -1 on
// every call after that.
using ByteSource = int (*)(void* context);
// Writes the low 8 bits of byte; 0 when written, -1 when not.
using ByteSink = int (*)(void* context, int byte);

// Ring positions, root slots or NO_NODE, all below 2^16.
using TreeLink = std::uint16_t;

// One node of the search trees. The links sit beside bytes 1 to 4 of the
// node's string (big-endian), so that a single 8-byte load brings everything
// one step of a descent needs; 4353 such records fit in the first-level cache
// together with the ring.
struct TreeNode {
    std::uint32_t prefix;
    TreeLink left;
    TreeLink right;
};

struct LzssEncoder {
    std::int32_t output_count = 0;
    unsigned char ring[RING_SIZE + GUARD_SIZE];
    std::int32_t best_pos = 0;
    std::int32_t best_len = 0;
    // Entries 0 to 4095 are ring positions, 4096 is NO_NODE (scratch), and
    // 4097 to 4352 are the root slots: the tree of strings beginning with byte
    // c hangs from tree[4097 + c].right.
    TreeNode tree[RING_SIZE + 1 + ROOT_SLOTS];
    TreeLink parent[RING_SIZE + 1];
    // The position that took the root's place by the last insertion when it
    // equalled the root's string there, or NO_NODE: inside a run of one byte
    // value the next insertion does the same.
    std::int32_t run_root = NO_NODE;
    // A copy of each tree's root record, kept up to date after every
    // insertion and removal, so that a descent need not wait for the root's
    // number before it can load the root's record.
    TreeNode root_copy[ROOT_SLOTS];
    // Per tree: whether it is deep and searched through its ordered index
    // (then the index and the tree change together); how many of its
    // insertions are left before it is next checked for having turned
    // shallow again; and how many insertions apart those checks are, a
    // number that doubles whenever the tree turns deep again, so that a tree
    // that keeps changing its mind is not indexed over and over.
    unsigned char indexed[ROOT_SLOTS];
    std::uint16_t until_check[ROOT_SLOTS];
    std::uint16_t check_every[ROOT_SLOTS];
    OrderedIndex index;
    void* source_context = nullptr;
    void* sink_context = nullptr;
    ByteSource source = nullptr;
    ByteSink sink = nullptr;
};

// Encodes the whole input from the bound source into the bound sink and
// returns the number of bytes handed to the sink, whether or not the sink
// managed to write them.
std::int32_t encode(LzssEncoder& encoder);

void tree_insert(LzssEncoder& encoder, std::int32_t r);
void tree_remove(LzssEncoder& encoder, std::int32_t p);

}  // namespace hc
