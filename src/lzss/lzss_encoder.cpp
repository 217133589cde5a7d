// The encoder's match finder: a binary search tree per first byte over the
// strings of the window, walked the way the plain algorithm walks it but
// faster. Everything below reaches exactly the places and matches the plain
// walk reaches, so the streams are the same byte for byte.
//
// The tables (LzssEncoder in lzss_encoder_internal.h):
// - ring: the window, then a copy of its first 17 bytes, so that the 18
//   bytes of any string lie side by side.
// - tree: per ring position in a tree, one 8-byte record: bytes 1 to 4 of
//   its string (big-endian) and both links, so that one load brings all one
//   step of a descent needs. Entry NO_NODE (4096) is scratch that
//   branch-free code writes instead of branching; it is never a node.
//   Entries ROOT_BASE + c are root slots: the tree of the strings that begin
//   with byte c hangs from tree[ROOT_BASE + c].right.
// - parent: per ring position, its parent (a position or a root slot), or
//   NO_NODE for a position in no tree.
// Within a tree the strings are in strict order of bytes 2 to 18: a string
// that meets an equal one on its descent takes its place (the newer wins).
// Of equally long matches the one met first on the descent is kept. Only
// the match of the last string a coded item spans is coded, and a match
// shorter than MIN_MATCH is coded as a literal: the index searches for a
// match's position only when it is coded and long enough.
//
// The shortcuts and the rules they keep:
// - indexed[c]: tree c is deep, and searched through its ordered index
//   (ordered_index.h), which holds the same strings in the same order with
//   the ages their nodes have in the tree: it names the match a descent
//   would find and the place it would end at in O(log n), and the tree is
//   changed at that place exactly as the descent would change it. Why the
//   index's answers are the descent's is argued in ordered_index.cpp. A tree
//   turns deep after a descent of more than DEEP_DESCENT visits. The place
//   is searched from a finger, a string near the new one in the tree's
//   order: the string one byte after the last insertion's neighbour, or one
//   of the two strings last inserted into the tree; the cost then grows with
//   the distance from the finger, not with the size of the tree.
// - long_descents[c]: tree c's last descent was long, mostly a chain: the
//   next one is walked with branches, whose turns the processor foresees.
//   Other trees turn at random: a descent loads both children before it
//   knows the direction and picks one without a branch.
// - run_root: the position that, by the last insertion, took the root's
//   place after a one-node descent with a full match; else NO_NODE. While it
//   is still the root, at r - 1, and the 19 bytes from r - 1 are one value,
//   the string at r equals the root's: it takes the root's place with no
//   descent at all (the run shortcut).

#include "lzss/lzss_encoder.h"

#include "lzss/lzss_encoder_internal.h"
#include "lzss/string_key.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <iterator>

namespace hc {
namespace {

// Indices as wide as a pointer, so that no sign extension sits between one
// load of a descent and the next.
using Index = std::size_t;

constexpr Index ROOT_BASE = RING_SIZE + 1;  // tree[ROOT_BASE + c].right: tree of byte c
constexpr Index NO_LINK = NO_NODE;
constexpr Index RING_MASK = RING_SIZE - 1;
// A descent that visits more nodes than this turns its tree deep: from then
// on the tree is searched through its ordered index. A deep tree is checked
// every so many insertions (FIRST_CHECK at first, twice as many each time it
// turns deep again, up to LAST_CHECK), and turns shallow again when the next
// string would be placed within SHALLOW_DESCENT visits.
constexpr int DEEP_DESCENT = 128;
// A tree whose last descent visited more nodes than this is walked with
// branches, as a chain's turns are foreseen.
constexpr int LONG_DESCENT = 32;
constexpr int SHALLOW_DESCENT = 64;
constexpr std::uint16_t FIRST_CHECK = 64;
constexpr std::uint16_t LAST_CHECK = 16384;

// The group being built: a flag byte and up to eight items.
struct CodeGroup {
    unsigned char bytes[1 + 8 * 2];
    unsigned flag_mask;
    std::int32_t count;
};

void start_group(CodeGroup& group) {
    group.bytes[0] = 0;
    group.flag_mask = 1;
    group.count = 1;
}

inline __attribute__((always_inline)) void flush_group(LzssEncoder& encoder, CodeGroup& group) {
    for (std::int32_t i = 0; i < group.count; ++i) encoder.sink(encoder.sink_context, group.bytes[i]);
    encoder.output_count += group.count;
}

inline __attribute__((always_inline)) void code_item(LzssEncoder& encoder, CodeGroup& group, Index coding_pos) {
    if (encoder.best_len < MIN_MATCH) {
        encoder.best_len = 1;
        group.bytes[0] = static_cast<unsigned char>(group.bytes[0] | group.flag_mask);
        group.bytes[group.count++] = encoder.ring[coding_pos];
    } else {
        std::int32_t p = (encoder.best_pos - RING_START) & (RING_SIZE - 1);
        group.bytes[group.count++] = static_cast<unsigned char>(p & 0xFF);
        group.bytes[group.count++] =
            static_cast<unsigned char>(((p >> 8) & 0x0F) | ((encoder.best_len - MIN_MATCH) << 4));
    }
    group.flag_mask = (group.flag_mask << 1) & 0xFF;
    if (group.flag_mask == 0) {
        flush_group(encoder, group);
        start_group(group);
    }
}

// A tree node as one 64-bit value, laid out as TreeNode lies in memory.
static_assert(sizeof(TreeNode) == 8);
constexpr bool LITTLE_ENDIAN_HOST = std::endian::native == std::endian::little;
constexpr int PREFIX_SHIFT = LITTLE_ENDIAN_HOST ? 0 : 32;
constexpr int LEFT_SHIFT = LITTLE_ENDIAN_HOST ? 32 : 16;
constexpr int RIGHT_SHIFT = LITTLE_ENDIAN_HOST ? 48 : 0;

std::uint64_t load_node(const LzssEncoder& encoder, Index p) {
    std::uint64_t node;
    std::memcpy(&node, &encoder.tree[p], sizeof node);
    return node;
}

// One 8-byte store, so that the next 8-byte load of the node is forwarded
// from it instead of waiting for several smaller stores.
void store_node(LzssEncoder& encoder, Index p, std::uint64_t node) {
    std::memcpy(&encoder.tree[p], &node, sizeof node);
}

std::uint64_t make_node(std::uint32_t prefix, Index left, Index right) {
    return (std::uint64_t{prefix} << PREFIX_SHIFT) | (std::uint64_t{left} << LEFT_SHIFT) |
           (std::uint64_t{right} << RIGHT_SHIFT);
}

std::uint32_t prefix_of(std::uint64_t node) { return static_cast<std::uint32_t>(node >> PREFIX_SHIFT); }

// The right child when greater is 1, the left one when it is 0, without a branch.
Index child_of(std::uint64_t node, unsigned greater) {
    const int shift = LEFT_SHIFT + static_cast<int>(greater) * (RIGHT_SHIFT - LEFT_SHIFT);
    return static_cast<Index>((node >> shift) & 0xFFFF);
}

// Bytes 1 to 17 of the string being inserted, loaded once for the whole
// descent, and bytes 1-4 once more on their own for the nodes' prefixes.
struct InsertKey : StringKey {
    std::uint32_t prefix;
};

InsertKey insert_key(const StringKey& key) { return {key, static_cast<std::uint32_t>(key.first >> 32)}; }

// The key of the last string that needed one, kept to make the next
// string's key from when that string follows it: shifted by one byte, with
// the new last byte. The main loop has stored the bytes of the window one at
// a time just before; an 8-byte load across such stores would have to wait
// for them to complete, where a one-byte load takes its byte from its store.
struct RollingKey {
    StringKey key;
    Index next;  // the position whose key follows from key, or NO_NODE
};

StringKey key_for(const LzssEncoder& encoder, RollingKey& rolling, Index r) {
    const StringKey& key = rolling.key;
    rolling.key = rolling.next == r ? StringKey{(key.first << 8) | (key.second >> 56), (key.second << 8) | key.last,
                                                encoder.ring[r + KEY_LENGTH - 1]}
                                    : string_key(&encoder.ring[r]);
    rolling.next = (r + 1) & RING_MASK;
    return rolling.key;
}

// Sets the right link when greater is 1 and the left one when it is 0. The
// side is picked by address, not by a branch: it is as good as random.
void set_child(LzssEncoder& encoder, Index p, unsigned greater, Index child) {
    constexpr std::size_t left_at = offsetof(TreeNode, left);
    constexpr std::size_t step = offsetof(TreeNode, right) - left_at;
    const TreeLink link = static_cast<TreeLink>(child);
    std::memcpy(reinterpret_cast<unsigned char*>(&encoder.tree[p]) + left_at + greater * step, &link, sizeof link);
}

void attach_leaf(LzssEncoder& encoder, Index p, unsigned greater, Index r) {
    set_child(encoder, p, greater, r);
    encoder.parent[r] = static_cast<TreeLink>(p);
}

// Replaces node p by node r in p's place in its tree. Their strings are
// equal, so r takes p's record as it is, prefix included.
inline __attribute__((always_inline)) void replace_node(LzssEncoder& encoder, Index p, Index r) {
    const Index up = encoder.parent[p];
    const std::uint64_t node = load_node(encoder, p);
    encoder.parent[r] = static_cast<TreeLink>(up);
    store_node(encoder, r, node);
    encoder.parent[child_of(node, 0)] = static_cast<TreeLink>(r);
    encoder.parent[child_of(node, 1)] = static_cast<TreeLink>(r);
    if (encoder.tree[up].right == p)
        encoder.tree[up].right = static_cast<TreeLink>(r);
    else
        encoder.tree[up].left = static_cast<TreeLink>(r);
    encoder.parent[p] = NO_NODE;
}

// Where one insertion's descent ended up.
struct Descent {
    Index best_pos;
    std::int32_t best_len;
    int visits;
};

// Of equally long matches the node met first wins, so only a longer one
// replaces the best so far.
void keep_longer(Descent& descent, const StringOrder& found, Index p) {
    const bool longer = found.length > descent.best_len;
    descent.best_len = longer ? found.length : descent.best_len;
    descent.best_pos = longer ? p : descent.best_pos;
}

// For trees whose descents turn at random: both children's records are
// loaded before the direction is known, and the direction picks one of them
// without a branch, so a turn costs no misprediction.
inline __attribute__((always_inline)) Descent descend_unpredictable(LzssEncoder& encoder, const InsertKey& key, Index p,
                                                                    std::uint64_t node, Index r) {
    Descent descent{static_cast<Index>(encoder.best_pos), 0, 0};
    for (;;) {
        ++descent.visits;
        const std::uint64_t left = load_node(encoder, child_of(node, 0));
        const std::uint64_t right = load_node(encoder, child_of(node, 1));
        // Mostly the first four bytes differ already: the record alone
        // decides, and no full match is possible.
        const std::uint32_t prefix = prefix_of(node);
        StringOrder found;
        if (__builtin_expect(key.prefix != prefix, 1)) {
            found = {1 + std::countl_zero(key.prefix ^ prefix) / 8, key.prefix > prefix};
        } else {
            found = compare_key(key, &encoder.ring[p]);
            if (found.length == MAX_MATCH) {
                // The newest of two equal strings takes the older one's place.
                keep_longer(descent, found, p);
                replace_node(encoder, p, r);
                return descent;
            }
        }
        keep_longer(descent, found, p);
        const Index next = child_of(node, found.greater);
        if (next == NO_LINK) {
            attach_leaf(encoder, p, found.greater, r);
            return descent;
        }
        p = next;
        node = found.greater ? right : left;
    }
}

// For trees whose last descent was long, mostly chains: the processor
// predicts the turns and runs ahead along the links, which a branch-free
// descent, waiting for each comparison, cannot.
inline __attribute__((always_inline)) Descent descend_predictable(LzssEncoder& encoder, const InsertKey& key, Index p,
                                                                  Index r) {
    Descent descent{static_cast<Index>(encoder.best_pos), 0, 0};
    for (;;) {
        ++descent.visits;
        const StringOrder found = compare_key(key, &encoder.ring[p]);
        keep_longer(descent, found, p);
        if (found.length == MAX_MATCH) {
            replace_node(encoder, p, r);
            return descent;
        }
        const Index next = found.greater ? encoder.tree[p].right : encoder.tree[p].left;
        if (next == NO_LINK) {
            attach_leaf(encoder, p, found.greater, r);
            return descent;
        }
        p = next;
    }
}

// Whether the string at r equals the string at r - 1, the root: then the
// descent would stop at the root with a full match. True when the 19 bytes
// from r - 1 are all the same. The last of them was stored just before, one
// byte wide: it is read on its own, since a wider load across it would wait
// for the store to complete instead of taking the byte from it.
inline __attribute__((always_inline)) bool continues_run(const LzssEncoder& encoder, Index r, Index root) {
    if (r == 0 || root != r - 1 || encoder.run_root != static_cast<std::int32_t>(root)) return false;
    const unsigned char* bytes = &encoder.ring[r - 1];
    const std::uint64_t repeated = 0x0101010101010101ull * bytes[0];
    std::uint64_t a, b, c;
    std::memcpy(&a, bytes, 8);
    std::memcpy(&b, bytes + 8, 8);
    std::memcpy(&c, bytes + 10, 8);
    return ((a ^ repeated) | (b ^ repeated) | (c ^ repeated)) == 0 && bytes[MAX_MATCH] == bytes[0];
}

// How many nodes the descent to the string at p's key would visit, counted
// up to limit + 1; the tree is left as it is.
int count_visits(const LzssEncoder& encoder, const InsertKey& key, Index p, int limit) {
    int visits = 1;
    for (; visits <= limit; ++visits) {
        const StringOrder found = compare_key(key, &encoder.ring[p]);
        if (found.length == MAX_MATCH) break;
        const Index next = found.greater ? encoder.tree[p].right : encoder.tree[p].left;
        if (next == NO_LINK) break;
        p = next;
    }
    return visits;
}

// Births are numbered from the search trees' shapes whenever a tree turns
// deep, so before the clock runs out every index is dropped and the clock
// starts again: trees that are still deep are indexed anew by their next
// long descent.
void restart_clock_when_due(LzssEncoder& encoder) {
    if (encoder.index.clock < encoder.clock_end) return;
    for (int t = 0; t < ROOT_SLOTS; ++t) {
        if (!encoder.indexed[t]) continue;
        encoder.indexed[t] = 0;
        index_drop(encoder.index, t);
    }
    encoder.index.clock = 0;
}

// Tree t turns deep: its index is built from its strings in order, numbered
// in the order a preorder walk meets them, so that each node is older than
// the nodes below it, as in the tree.
__attribute__((noinline)) void index_tree(LzssEncoder& encoder, Index t) {
    restart_clock_when_due(encoder);
    IndexNode* nodes = encoder.index.node;
    std::uint16_t in_order[RING_SIZE];
    std::uint16_t pending[RING_SIZE];
    int count = 0;
    int waiting = 0;
    IndexBirth clock = encoder.index.clock;
    Index v = encoder.tree[ROOT_BASE + t].right;
    while (v != NO_LINK || waiting > 0) {
        for (; v != NO_LINK; v = encoder.tree[v].left) {
            nodes[v].birth = clock++;
            pending[waiting++] = static_cast<std::uint16_t>(v);
        }
        v = pending[--waiting];
        in_order[count++] = static_cast<std::uint16_t>(v);
        v = encoder.tree[v].right;
    }
    encoder.index.clock = clock;
    index_build(encoder.index, static_cast<int>(t), in_order, count);
    encoder.indexed[t] = 1;
    encoder.until_check[t] = encoder.check_every[t];
    encoder.check_every[t] = static_cast<std::uint16_t>(std::min<int>(2 * encoder.check_every[t], LAST_CHECK));
}

// The insertion into a deep tree: the index says where the descent would end
// and what it would find, and the tree changes at that place only.
// A string of tree t other than r, to search for r's place from.
bool usable_finger(const LzssEncoder& encoder, Index t, Index r, Index finger) {
    return finger != r && encoder.parent[finger] != NO_NODE && encoder.ring[finger] == t;
}

// Where to search for r's place from, or NO_NODE: the finger the last
// insertion left, when it was meant for r; else of the two strings last
// inserted into tree t (in sorted records, one of them is r's neighbour,
// when the records give the tree two kinds of strings by turns) the one
// sharing more bytes with r.
Index choose_finger(const LzssEncoder& encoder, Index t, Index r, const StringKey& key) {
    const Index after_neighbour = static_cast<Index>(encoder.finger);
    if (static_cast<Index>(encoder.finger_for) == r && usable_finger(encoder, t, r, after_neighbour))
        return after_neighbour;
    const Index last = encoder.last_inserted[t][0];
    const Index before_last = encoder.last_inserted[t][1];
    if (!usable_finger(encoder, t, r, before_last)) return usable_finger(encoder, t, r, last) ? last : NO_NODE;
    if (!usable_finger(encoder, t, r, last)) return before_last;
    const bool closer = compare_key(key, &encoder.ring[before_last]).length > compare_key(key, &encoder.ring[last]).length;
    return closer ? before_last : last;
}

// Where r goes in deep tree t and what it matches. From a finger the place
// comes cheaply, and the match with it unless a coded match of three bytes
// or more is found: then its position, the oldest string at that length,
// is searched from the root. A match that is not coded needs no position.
IndexMatch find_indexed(const LzssEncoder& encoder, Index t, Index r, const StringKey& key, bool coded) {
    const Index finger = choose_finger(encoder, t, r, key);
    if (finger != NO_NODE) {
        const IndexMatch near =
            index_place_near(encoder.index, encoder.ring, key, static_cast<int>(finger));
        if (!coded || near.equal || near.length < MIN_MATCH) return near;
    }
    const int wanted = coded ? MIN_MATCH : KEY_LENGTH + 1;
    return index_find(encoder.index, encoder.ring, static_cast<int>(t), key, wanted);
}

void insert_indexed(LzssEncoder& encoder, Index t, Index r, const StringKey& key, bool coded) {
    const IndexMatch match = find_indexed(encoder, t, r, key, coded);
    const Index found = static_cast<Index>(match.position);
    if (match.equal) {
        replace_node(encoder, found, r);
        index_replace(encoder.index, static_cast<int>(t), static_cast<int>(found), static_cast<int>(r));
    } else {
        // The free link between the two neighbours: the predecessor's right
        // one, or else the successor's left one.
        const Index before = match.predecessor;
        if (before != NO_ENTRY && encoder.tree[before].right == NO_NODE)
            attach_leaf(encoder, before, 1, r);
        else
            attach_leaf(encoder, match.successor, 0, r);
        index_insert(encoder.index, static_cast<int>(t), static_cast<int>(r), match);
    }
    encoder.best_pos = match.position;
    encoder.best_len = match.length;
    encoder.match_searched = coded;
    // The string one byte after r's neighbour (or after the equal string r
    // took the place of) mostly lies next to the string one byte after r:
    // the finger for the next insertion.
    const Index near = match.equal ? found : match.predecessor != NO_ENTRY ? match.predecessor : match.successor;
    encoder.finger = static_cast<std::int32_t>((near + 1) & RING_MASK);
    encoder.finger_for = static_cast<std::int32_t>((r + 1) & RING_MASK);
    encoder.last_inserted[t][1] = encoder.last_inserted[t][0];
    encoder.last_inserted[t][0] = static_cast<TreeLink>(r);
}

// Now and then a deep tree is measured: when the descent to the new string
// would be short again, the tree drops its index.
bool stays_deep(LzssEncoder& encoder, Index t, const InsertKey& key, Index root) {
    restart_clock_when_due(encoder);
    if (!encoder.indexed[t]) return false;
    if (--encoder.until_check[t] != 0) return true;
    encoder.until_check[t] = encoder.check_every[t];
    if (count_visits(encoder, key, root, SHALLOW_DESCENT) > SHALLOW_DESCENT) return true;
    encoder.indexed[t] = 0;
    index_drop(encoder.index, static_cast<int>(t));
    return false;
}

// The insertion of the string at r into tree t, made twice: for trees
// without an index, inlined into the main loop with not a word of the index,
// and for trees with one, out of line. coded: the match found is the one
// coded next. Of the strings a coded match spans, only the last one's match
// is coded; the others need only their places.
template <bool Indexed>
inline __attribute__((always_inline)) void insert_into(LzssEncoder& encoder, Index t, Index r, RollingKey& rolling,
                                                       bool coded) {
    const Index slot = ROOT_BASE + t;
    const Index root = encoder.tree[slot].right;
    if (continues_run(encoder, r, root)) {
        replace_node(encoder, root, r);
        if constexpr (Indexed)
            index_replace(encoder.index, static_cast<int>(t), static_cast<int>(root), static_cast<int>(r));
        encoder.run_root = static_cast<std::int32_t>(r);
        encoder.best_pos = static_cast<std::int32_t>(root);
        encoder.best_len = MAX_MATCH;
        return;
    }
    const InsertKey key = insert_key(key_for(encoder, rolling, r));
    const std::uint64_t leaf = make_node(key.prefix, NO_LINK, NO_LINK);
    store_node(encoder, r, leaf);
    if (root == NO_LINK) {
        encoder.tree[slot].right = static_cast<TreeLink>(r);
        encoder.parent[r] = static_cast<TreeLink>(slot);
        encoder.best_len = 0;
        encoder.run_root = NO_NODE;
        return;
    }
    if constexpr (Indexed) {
        if (stays_deep(encoder, t, key, root)) {
            insert_indexed(encoder, t, r, key, coded);
            encoder.run_root = NO_NODE;
            return;
        }
    }
    const bool was_long = encoder.long_descents[t] != 0;
    const Descent descent = was_long ? descend_predictable(encoder, key, root, r)
                                     : descend_unpredictable(encoder, key, root, load_node(encoder, root), r);
    // Written only when it changes: a store every insertion cost random bytes
    // about 2%.
    const bool is_long = descent.visits > LONG_DESCENT;
    if (is_long != was_long) encoder.long_descents[t] = is_long;
    if (descent.visits > DEEP_DESCENT) index_tree(encoder, t);
    encoder.run_root =
        descent.visits == 1 && descent.best_len == MAX_MATCH ? static_cast<std::int32_t>(r) : NO_NODE;
    encoder.best_pos = static_cast<std::int32_t>(descent.best_pos);
    encoder.best_len = descent.best_len;
}

__attribute__((noinline)) void insert_into_indexed(LzssEncoder& encoder, Index t, Index r, RollingKey& rolling,
                                                   bool coded) {
    insert_into<true>(encoder, t, r, rolling, coded);
}

inline __attribute__((always_inline)) void insert_string(LzssEncoder& encoder, Index r, RollingKey& rolling,
                                                         bool coded) {
    const Index t = encoder.ring[r];
    if (encoder.indexed[t]) [[unlikely]]
        insert_into_indexed(encoder, t, r, rolling, coded);
    else
        insert_into<false>(encoder, t, r, rolling, coded);
}

// The removal from a deep tree's index; the predecessor that took p's place
// (heir) takes its age too. The index goes with the tree's last string.
__attribute__((noinline)) void unindex(LzssEncoder& encoder, Index t, Index p, Index heir) {
    index_remove(encoder.index, static_cast<int>(t), static_cast<int>(p), static_cast<int>(heir));
    if (index_empty(encoder.index, static_cast<int>(t))) encoder.indexed[t] = 0;
}

// Takes p, whose parent is up, out of its tree. Made twice, as insert_into.
template <bool Indexed>
inline __attribute__((always_inline)) void unlink_string(LzssEncoder& encoder, Index p, Index up) {
    const Index left = encoder.tree[p].left;
    const Index right = encoder.tree[p].right;
    // Which of the cases holds is as good as random in most data, so the
    // common ones share one path without branches: with fewer than two
    // children the replacement is the only child (or NO_NODE), and the two
    // links it would take over go to the scratch entry instead.
    const bool both = (left != NO_LINK) & (right != NO_LINK);
    Index q = both ? left : left ^ right ^ NO_LINK;
    const Index left_right = encoder.tree[left].right;
    if (both & (left_right != NO_LINK)) {
        // The predecessor lies deeper: the rightmost node of the left
        // subtree, which a deep tree's index knows without the walk.
        if constexpr (Indexed) {
            q = index_predecessor(encoder.index, static_cast<int>(p));
        } else {
            q = left_right;
            while (encoder.tree[q].right != NO_NODE) q = encoder.tree[q].right;
        }
        const Index q_parent = encoder.parent[q];
        const Index q_left = encoder.tree[q].left;
        encoder.tree[q_parent].right = static_cast<TreeLink>(q_left);
        encoder.parent[q_left] = static_cast<TreeLink>(q_parent);
        encoder.tree[q].left = static_cast<TreeLink>(left);
        encoder.parent[left] = static_cast<TreeLink>(q);
    }
    encoder.tree[both ? q : NO_LINK].right = static_cast<TreeLink>(right);
    encoder.parent[both ? right : NO_LINK] = static_cast<TreeLink>(q);
    encoder.parent[q] = static_cast<TreeLink>(up);
    set_child(encoder, up, encoder.tree[up].right == p, q);
    encoder.parent[p] = NO_NODE;
    if constexpr (Indexed) unindex(encoder, encoder.ring[p], p, both ? q : NO_ENTRY);
}

__attribute__((noinline)) void unlink_indexed(LzssEncoder& encoder, Index p, Index up) {
    unlink_string<true>(encoder, p, up);
}

inline __attribute__((always_inline)) void remove_string(LzssEncoder& encoder, Index p) {
    const Index up = encoder.parent[p];
    if (up == NO_LINK) return;
    if (encoder.indexed[encoder.ring[p]]) [[unlikely]]
        unlink_indexed(encoder, p, up);
    else
        unlink_string<false>(encoder, p, up);
}

}  // namespace

void LzssEncoderDeleter::operator()(LzssEncoder* encoder) const { delete encoder; }

LzssEncoderPtr make_lzss_encoder() { return LzssEncoderPtr(new LzssEncoder); }

void reset_tables(LzssEncoder& encoder) {
    encoder.output_count = 0;
    for (Index i = ROOT_BASE; i < ROOT_BASE + ROOT_SLOTS; ++i) encoder.tree[i].right = NO_NODE;
    encoder.tree[NO_LINK] = {0, NO_NODE, NO_NODE};
    for (std::int32_t i = 0; i < RING_SIZE; ++i) encoder.parent[i] = NO_NODE;
    std::memset(encoder.ring, 0, sizeof encoder.ring);
    std::memset(encoder.indexed, 0, sizeof encoder.indexed);
    std::memset(encoder.long_descents, 0, sizeof encoder.long_descents);
    std::fill(std::begin(encoder.check_every), std::end(encoder.check_every), FIRST_CHECK);
    index_reset(encoder.index);
    encoder.run_root = NO_NODE;
    encoder.finger_for = NO_NODE;
    for (auto& last : encoder.last_inserted) last[0] = last[1] = NO_NODE;
}

namespace {

// For the insertions outside the main loop, which has its own copy inlined.
__attribute__((noinline)) void insert_out_of_line(LzssEncoder& encoder, Index r, bool coded) {
    RollingKey rolling{{}, NO_NODE};
    insert_string(encoder, r, rolling, coded);
}

}  // namespace

void tree_insert(LzssEncoder& encoder, std::int32_t r) {
    encoder.match_searched = true;
    insert_out_of_line(encoder, static_cast<Index>(r), true);
}

void tree_remove(LzssEncoder& encoder, std::int32_t p) { remove_string(encoder, static_cast<Index>(p)); }

namespace {

// Hands the trees to a test's or fuzzer's check. The main loop is made twice,
// with and without these calls, so that a plain encoding does not test for a
// check twice a byte.
template <bool Stepped>
inline __attribute__((always_inline)) void after_step(LzssEncoder& encoder, TreeStep step, Index position) {
    if constexpr (Stepped) {
        encoder.after_step(encoder.step_context, encoder, step, static_cast<std::int32_t>(position));
        encoder.match_searched = true;
    }
}

template <bool Stepped>
std::int32_t encode_stream(LzssEncoder& encoder) {
    reset_tables(encoder);
    CodeGroup group;
    start_group(group);
    Index write_pos = 0;
    Index coding_pos = RING_START;

    std::int32_t lookahead_len = 0;
    while (lookahead_len < MAX_MATCH) {
        int c = encoder.source(encoder.source_context);
        if (c < 0) break;
        encoder.ring[RING_START + lookahead_len++] = static_cast<unsigned char>(c);
    }
    if (lookahead_len == 0) return 0;

    for (std::int32_t i = 1; i <= MAX_MATCH; ++i) {
        insert_out_of_line(encoder, RING_START - i, false);
        after_step<Stepped>(encoder, TreeStep::Insert, static_cast<Index>(RING_START - i));
    }
    insert_out_of_line(encoder, RING_START, true);
    after_step<Stepped>(encoder, TreeStep::Insert, RING_START);
    RollingKey rolling{{}, NO_NODE};

    while (lookahead_len > 0) {
        if (encoder.best_len > lookahead_len) encoder.best_len = lookahead_len;
        code_item(encoder, group, coding_pos);

        std::int32_t last_len = encoder.best_len;
        std::int32_t i = 0;
        for (; i < last_len; ++i) {
            int c = encoder.source(encoder.source_context);
            if (c < 0) break;
            remove_string(encoder, write_pos);
            after_step<Stepped>(encoder, TreeStep::Remove, write_pos);
            encoder.ring[write_pos] = static_cast<unsigned char>(c);
            if (write_pos < GUARD_SIZE) encoder.ring[RING_SIZE + write_pos] = static_cast<unsigned char>(c);
            write_pos = (write_pos + 1) & RING_MASK;
            coding_pos = (coding_pos + 1) & RING_MASK;
            insert_string(encoder, coding_pos, rolling, i + 1 == last_len);
            after_step<Stepped>(encoder, TreeStep::Insert, coding_pos);
        }
        for (; i < last_len; ++i) {
            tree_remove(encoder, static_cast<std::int32_t>(write_pos));
            after_step<Stepped>(encoder, TreeStep::Remove, write_pos);
            write_pos = (write_pos + 1) & RING_MASK;
            coding_pos = (coding_pos + 1) & RING_MASK;
            if (--lookahead_len == 0) continue;
            insert_out_of_line(encoder, coding_pos, i + 1 == last_len);
            after_step<Stepped>(encoder, TreeStep::Insert, coding_pos);
        }
    }
    if (group.count > 1) flush_group(encoder, group);
    return encoder.output_count;
}

}  // namespace

std::int32_t encode(LzssEncoder& encoder, ByteSource source, void* source_context, ByteSink sink,
                    void* sink_context) {
    encoder.source = source;
    encoder.source_context = source_context;
    encoder.sink = sink;
    encoder.sink_context = sink_context;
    return encoder.after_step != nullptr ? encode_stream<true>(encoder) : encode_stream<false>(encoder);
}

}  // namespace hc
