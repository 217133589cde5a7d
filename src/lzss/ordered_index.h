// An ordered index of the strings of the encoder's deep search trees: a
// balanced tree per search tree over the same ring positions, in the same
// order, each entry carrying the age its node has in the search tree. It
// answers in O(log n) what a descent of the search tree would find, however
// long the chains of that tree have grown. Why its answers are the descent's
// is argued at the top of ordered_index.cpp.
#pragma once

#include <cstdint>

#include "lzss/string_key.h"

namespace hc {

inline constexpr std::int32_t INDEX_POSITIONS = 4096;
inline constexpr std::int32_t INDEX_TREES = 256;
inline constexpr std::uint16_t NO_ENTRY = INDEX_POSITIONS;

// A birth: the order in which nodes came into their search tree, smaller is
// older. 32 bits keep a node to 16 bytes; the encoder starts the clock again,
// rebuilding its indexes, before it runs out (INDEX_CLOCK_END).
using IndexBirth = std::uint32_t;
inline constexpr IndexBirth INDEX_CLOCK_END = 0xFFFFFFFFu - 2 * INDEX_POSITIONS;

// One ring position in an index: its links, a weight that keeps the index
// balanced (a treap: heavier above), the age of its node in its search tree
// (`birth`), and the oldest birth in its subtree of the index (`oldest`).
// All in 16 bytes, so that one step of a search or a walk touches one cache
// line.
struct IndexNode {
    std::uint16_t left;
    std::uint16_t right;
    std::uint16_t up;
    std::uint16_t weight;
    IndexBirth birth;
    IndexBirth oldest;
};

// Entries 0 to 4095 are ring positions; 4096 is the empty subtree, whose
// `oldest` is the largest birth there is.
struct OrderedIndex {
    IndexNode node[INDEX_POSITIONS + 1];
    std::uint16_t root[INDEX_TREES];
    // The birth the next insertion gets: later than every birth in use.
    IndexBirth clock;
    std::uint32_t seed;
};

// What a descent of the search tree would report for the string at r: the
// longest match `length` (1 to 18) at `position`, the first node met at that
// length. `equal` when a string of the tree equals r's to the 18th byte
// (then `position` is that string). `predecessor` and `successor` are r's
// neighbours in the tree's order (NO_ENTRY at either end).
struct IndexMatch {
    std::int32_t position;
    std::int32_t length;
    std::uint16_t predecessor;
    std::uint16_t successor;
    bool equal;
};

void index_reset(OrderedIndex& index);

// Builds tree t's index from its positions in the tree's order, whose births
// are set already, each earlier than the clock.
void index_build(OrderedIndex& index, int t, const std::uint16_t* in_order, int count);

// Forgets tree t's index; its entries are left as they were, unused.
void index_drop(OrderedIndex& index, int t);

bool index_empty(const OrderedIndex& index, int t);

// The match for a new string of tree t, which must not be empty, given by
// its key (its bytes 1 to 17, as the encoder has them already). ring holds
// the tree's strings and 17 bytes past its last position, as the encoder's
// does.
// When the match is shorter than wanted, its position is left unsearched: it
// is then some string of the tree.
IndexMatch index_find(const OrderedIndex& index, const unsigned char* ring, int t, const StringKey& key, int wanted);

// The place for a new string, given by its key, found from finger, a string
// of its tree (not the new one) that should lie near it in the tree's order:
// the cost grows with the distance between the two. Gives `predecessor`, `successor`,
// `length` and `equal` as index_find does, but `position` only when equal.
IndexMatch index_place_near(const OrderedIndex& index, const unsigned char* ring, const StringKey& key, int finger);

// Adds r as the youngest string, between the neighbours found for it.
void index_insert(OrderedIndex& index, int t, int r, const IndexMatch& match);

// r takes the place of the equal string at p, and its age.
void index_replace(OrderedIndex& index, int t, int p, int r);

// The string before p in its tree's order, or NO_ENTRY.
std::uint16_t index_predecessor(const OrderedIndex& index, int p);

// Removes p. When heir is not NO_ENTRY it takes p's age (the search tree's
// in-order predecessor taking the removed node's place).
void index_remove(OrderedIndex& index, int t, int p, int heir);

}  // namespace hc
