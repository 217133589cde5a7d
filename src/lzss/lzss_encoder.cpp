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
// Of equally long matches the one met first on the descent is kept.
//
// The shortcuts and the rules they keep:
// - deep[c]: whether the last full descent of tree c visited more than
//   DEEP_DESCENT nodes. Shallow trees turn at random: a descent loads both
//   children before it knows the direction and picks one without a branch.
//   Deep trees are mostly chains of sorted strings, walked the ordinary way,
//   which the processor predicts.
// - fingers[c] (deep trees only): the latest FINGERS insertions, newest
//   first, each with its successor, the string that followed it in the
//   tree's order when it went in (bounded: there was one). The rule: no
//   string of the tree lies between a finger's string and its successor.
//   Each insertion into a deep tree becomes the successor of every finger
//   it falls between; a tree turning deep starts without fingers, and an
//   insertion that replaced an equal string leaves them as they are.
//   Removals do not touch fingers: a finger is used only while its node
//   still holds its string, and a node that gained a right subtree (it took
//   the place of its removed successor) finds its successor as the leftmost
//   node of that subtree. A new string between a finger and its successor
//   hangs right below the finger's node or left below the successor, and no
//   node on its way down can match more than the closer of the two: the
//   descent stops at the first node that matches that much.
// - run_root: the position that, by the last insertion, took the root's
//   place after a one-node descent with a full match; else NO_NODE. While it
//   is still the root, at r - 1, and the 19 bytes from r - 1 are one value,
//   the string at r equals the root's: it takes the root's place with no
//   descent at all (the run shortcut).

#include "lzss/lzss_encoder.h"

#include "lzss/lzss_encoder_internal.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace hc {
namespace {

// Indices as wide as a pointer, so that no sign extension sits between one
// load of a descent and the next.
using Index = std::size_t;

constexpr Index ROOT_BASE = RING_SIZE + 1;  // tree[ROOT_BASE + c].right: tree of byte c
constexpr Index NO_LINK = NO_NODE;
constexpr Index RING_MASK = RING_SIZE - 1;
// A descent that visited more nodes than this marks its tree as deep.
constexpr int DEEP_DESCENT = 32;

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

// Eight bytes as one big-endian number, so that comparing two such numbers
// orders them as their bytes are ordered one by one.
std::uint64_t load_big_endian(const unsigned char* bytes) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t value;
        std::memcpy(&value, bytes, sizeof value);
        return __builtin_bswap64(value);
    } else {
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
        return value;
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
// descent: bytes 1-8, bytes 9-16 and byte 17; bytes 1-4 once more on their own.
struct InsertKey {
    std::uint64_t first;
    std::uint64_t second;
    unsigned char last;
    std::uint32_t prefix;
};

InsertKey key_at(const unsigned char* bytes) {
    const std::uint64_t first = load_big_endian(bytes + 1);
    return {first, load_big_endian(bytes + 9), bytes[MAX_MATCH - 1], static_cast<std::uint32_t>(first >> 32)};
}

StringKey string_key(const InsertKey& key) { return {key.first, key.second, key.last}; }

StringKey string_at(const unsigned char* bytes) {
    return {load_big_endian(bytes + 1), load_big_endian(bytes + 9), bytes[MAX_MATCH - 1]};
}

// How many of the 18 bytes agree (byte 0 is shared: 1 to 18), and 1 when the
// key orders after the node's string at the first difference.
struct Comparison {
    std::int32_t length;
    unsigned greater;
};

inline __attribute__((always_inline)) Comparison compare_with(const InsertKey& key, const unsigned char* other) {
    std::uint64_t word = load_big_endian(other + 1);
    if (key.first != word)
        return {1 + std::countl_zero(key.first ^ word) / 8, key.first > word};
    word = load_big_endian(other + 9);
    if (key.second != word)
        return {9 + std::countl_zero(key.second ^ word) / 8, key.second > word};
    unsigned char last = other[MAX_MATCH - 1];
    if (key.last != last) return {MAX_MATCH - 1, key.last > last};
    return {MAX_MATCH, 0};
}

// The same between two keys.
Comparison compare_keys(const StringKey& key, const StringKey& other) {
    if (key.first != other.first)
        return {1 + std::countl_zero(key.first ^ other.first) / 8, key.first > other.first};
    if (key.second != other.second)
        return {9 + std::countl_zero(key.second ^ other.second) / 8, key.second > other.second};
    if (key.last != other.last) return {MAX_MATCH - 1, key.last > other.last};
    return {MAX_MATCH, 0};
}

bool same_key(const StringKey& a, const StringKey& b) {
    return a.first == b.first && a.second == b.second && a.last == b.last;
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

// Where one insertion's descent ended up. Cut short: it stopped before
// placing the new string, which the caller then places.
struct Descent {
    Index best_pos;
    std::int32_t best_len;
    int visits;
    bool cut_short;
};

// Of equally long matches the node met first wins, so only a longer one
// replaces the best so far.
void keep_longer(Descent& descent, const Comparison& found, Index p) {
    const bool longer = found.length > descent.best_len;
    descent.best_len = longer ? found.length : descent.best_len;
    descent.best_pos = longer ? p : descent.best_pos;
}

// For trees whose descents turn at random: both children's records are
// loaded before the direction is known, and the direction picks one of them
// without a branch, so a turn costs no misprediction.
inline __attribute__((always_inline)) Descent descend_unpredictable(LzssEncoder& encoder, const InsertKey& key, Index p,
                                                                    std::uint64_t node, Index r) {
    Descent descent{static_cast<Index>(encoder.best_pos), 0, 0, false};
    for (;;) {
        ++descent.visits;
        const std::uint64_t left = load_node(encoder, child_of(node, 0));
        const std::uint64_t right = load_node(encoder, child_of(node, 1));
        // Mostly the first four bytes differ already: the record alone
        // decides, and no full match is possible.
        const std::uint32_t prefix = prefix_of(node);
        Comparison found;
        if (__builtin_expect(key.prefix != prefix, 1)) {
            found = {1 + std::countl_zero(key.prefix ^ prefix) / 8, key.prefix > prefix};
        } else {
            found = compare_with(key, &encoder.ring[p]);
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

// For deep trees, mostly long chains: the processor predicts the direction
// and runs ahead along the links; the full strings are compared from the ring.
// Also notes the last node where the descent turned left: the new string's
// successor in the tree's order. Stops short at the first node that matches
// stop_length bytes, when no node can match more.
inline __attribute__((always_inline)) Descent descend_predictable(LzssEncoder& encoder, const InsertKey& key, Index p,
                                                                  Index r, std::int32_t stop_length,
                                                                  Index& successor) {
    Descent descent{static_cast<Index>(encoder.best_pos), 0, 0, false};
    successor = NO_LINK;
    for (;;) {
        ++descent.visits;
        const Comparison found = compare_with(key, &encoder.ring[p]);
        keep_longer(descent, found, p);
        if (found.length == MAX_MATCH) {
            replace_node(encoder, p, r);
            return descent;
        }
        if (found.length >= stop_length) {
            descent.cut_short = true;
            return descent;
        }
        if (!found.greater) successor = p;
        const Index next = found.greater ? encoder.tree[p].right : encoder.tree[p].left;
        if (next == NO_LINK) {
            attach_leaf(encoder, p, found.greater, r);
            return descent;
        }
        p = next;
    }
}

// Where a new string goes when a finger's node is its predecessor: below that
// node on the right, or below the successor on the left; and the successor's
// string when one is known.
struct FingerHold {
    Index parent;
    unsigned greater;
    bool bounded;
    StringKey successor;
};

// Whether a finger of tree t holds the new string: its node still holds the
// finger's string, and the new string falls between it and its successor.
bool finger_holds(const LzssEncoder& encoder, Index t, const Finger& finger, const StringKey& wanted,
                  FingerHold& hold) {
    const Index node = finger.node;
    if (encoder.parent[node] == NO_NODE || encoder.ring[node] != t) return false;
    if (!same_key(string_at(&encoder.ring[node]), finger.string)) return false;
    if (!compare_keys(wanted, finger.string).greater) return false;
    Index below = encoder.tree[node].right;
    if (below == NO_LINK) {
        // The node has no right child: the new string hangs there, as long
        // as it comes before the successor noted for the finger.
        if (finger.bounded && compare_keys(wanted, finger.successor).greater) return false;
        hold = {node, 1, finger.bounded, finger.successor};
        return true;
    }
    // The node gained a right subtree: its successor is the leftmost there.
    while (encoder.tree[below].left != NO_NODE) below = encoder.tree[below].left;
    const StringKey successor = string_at(&encoder.ring[below]);
    if (compare_keys(wanted, successor).greater) return false;
    hold = {below, 0, true, successor};
    return true;
}

// The descent to a string whose neighbours a finger gave: it stops at the
// first node that matches as much as the closer neighbour, and the string
// hangs where the finger said.
inline __attribute__((always_inline)) Descent descend_to_finger(LzssEncoder& encoder, const InsertKey& key, Index p,
                                                                Index r, const Finger& finger, const FingerHold& hold) {
    const StringKey wanted = string_key(key);
    std::int32_t most = compare_keys(wanted, finger.string).length;
    if (hold.bounded) most = std::max(most, compare_keys(wanted, hold.successor).length);
    Index successor;
    const Descent descent = descend_predictable(encoder, key, p, r, most, successor);
    if (descent.cut_short) attach_leaf(encoder, hold.parent, hold.greater, r);
    return descent;
}

// After a new string went into deep tree t: successor of the fingers it
// falls after, and the newest finger itself.
void keep_fingers(LzssEncoder& encoder, Index t, const InsertKey& key, Index r, bool bounded,
                  const StringKey& successor) {
    const StringKey added = string_key(key);
    Finger* fingers = encoder.fingers[t];
    const int count = encoder.finger_count[t];
    for (int i = 0; i < count; ++i) {
        if (!compare_keys(added, fingers[i].string).greater) continue;
        if (fingers[i].bounded && compare_keys(added, fingers[i].successor).greater) continue;
        fingers[i].successor = added;
        fingers[i].bounded = true;
    }
    for (int i = std::min(count, FINGERS - 1); i > 0; --i) fingers[i] = fingers[i - 1];
    fingers[0] = {added, successor, static_cast<TreeLink>(r), bounded};
    encoder.finger_count[t] = static_cast<unsigned char>(std::min(count + 1, FINGERS));
}

// An insertion into a deep tree, by a finger when one holds. A descent cut
// short by a finger says nothing about the tree's depth: the tree stays deep.
// Kept out of line: it is long, and its descents are long too.
__attribute__((noinline)) Descent insert_deep(LzssEncoder& encoder, Index t, const InsertKey& key,
                                                          Index root, Index r) {
    const StringKey wanted = string_key(key);
    for (int i = 0; i < encoder.finger_count[t]; ++i) {
        FingerHold hold;
        if (!finger_holds(encoder, t, encoder.fingers[t][i], wanted, hold)) continue;
        const Finger finger = encoder.fingers[t][i];
        const Descent descent = descend_to_finger(encoder, key, root, r, finger, hold);
        if (descent.best_len < MAX_MATCH) keep_fingers(encoder, t, key, r, hold.bounded, hold.successor);
        return descent;
    }
    Index successor;
    const Descent descent = descend_predictable(encoder, key, root, r, MAX_MATCH + 1, successor);
    encoder.deep[t] = descent.visits > DEEP_DESCENT;
    // A string that replaced an equal one leaves the set of strings as it was.
    if (descent.best_len < MAX_MATCH) {
        const bool bounded = successor != NO_LINK;
        keep_fingers(encoder, t, key, r, bounded, bounded ? string_at(&encoder.ring[successor]) : StringKey{});
    }
    return descent;
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

// The insertion itself; encode has it inlined into its main loop.
inline __attribute__((always_inline)) void insert_string(LzssEncoder& encoder, Index r) {
    const unsigned char* bytes = &encoder.ring[r];
    const Index slot = ROOT_BASE + bytes[0];
    const Index root = encoder.tree[slot].right;
    if (continues_run(encoder, r, root)) {
        replace_node(encoder, root, r);
        encoder.run_root = static_cast<std::int32_t>(r);
        encoder.best_pos = static_cast<std::int32_t>(root);
        encoder.best_len = MAX_MATCH;
        return;
    }
    const Index t = bytes[0];
    const InsertKey key = key_at(bytes);
    const std::uint64_t leaf = make_node(key.prefix, NO_LINK, NO_LINK);
    store_node(encoder, r, leaf);
    if (root == NO_LINK) {
        encoder.tree[slot].right = static_cast<TreeLink>(r);
        encoder.parent[r] = static_cast<TreeLink>(slot);
        encoder.best_len = 0;
        encoder.run_root = NO_NODE;
        encoder.finger_count[t] = 0;
        return;
    }
    Descent descent;
    if (encoder.deep[t]) {
        descent = insert_deep(encoder, t, key, root, r);
    } else {
        descent = descend_unpredictable(encoder, key, root, load_node(encoder, root), r);
        // Shallow trees keep no fingers: a tree turning deep starts without.
        if (descent.visits > DEEP_DESCENT) {
            encoder.deep[t] = 1;
            encoder.finger_count[t] = 0;
        }
    }
    encoder.run_root =
        descent.visits == 1 && descent.best_len == MAX_MATCH ? static_cast<std::int32_t>(r) : NO_NODE;
    encoder.best_pos = static_cast<std::int32_t>(descent.best_pos);
    encoder.best_len = descent.best_len;
}

inline __attribute__((always_inline)) void remove_string(LzssEncoder& encoder, Index p) {
    const Index up = encoder.parent[p];
    if (up == NO_LINK) return;
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
        // The predecessor lies deeper: the rightmost node of the left subtree.
        q = left_right;
        while (encoder.tree[q].right != NO_NODE) q = encoder.tree[q].right;
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
    std::memset(encoder.deep, 0, sizeof encoder.deep);
    std::memset(encoder.finger_count, 0, sizeof encoder.finger_count);
    encoder.run_root = NO_NODE;
}

// Hands the trees to a test's or fuzzer's check, when one is set.
inline __attribute__((always_inline)) void after_step(const LzssEncoder& encoder, TreeStep step, Index position) {
    if (encoder.after_step != nullptr) [[unlikely]]
        encoder.after_step(encoder.step_context, encoder, step, static_cast<std::int32_t>(position));
}

void tree_insert(LzssEncoder& encoder, std::int32_t r) { insert_string(encoder, static_cast<Index>(r)); }

void tree_remove(LzssEncoder& encoder, std::int32_t p) { remove_string(encoder, static_cast<Index>(p)); }

std::int32_t encode(LzssEncoder& encoder, ByteSource source, void* source_context, ByteSink sink,
                    void* sink_context) {
    encoder.source = source;
    encoder.source_context = source_context;
    encoder.sink = sink;
    encoder.sink_context = sink_context;
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
        tree_insert(encoder, RING_START - i);
        after_step(encoder, TreeStep::Insert, static_cast<Index>(RING_START - i));
    }
    tree_insert(encoder, RING_START);
    after_step(encoder, TreeStep::Insert, RING_START);

    while (lookahead_len > 0) {
        if (encoder.best_len > lookahead_len) encoder.best_len = lookahead_len;
        code_item(encoder, group, coding_pos);

        std::int32_t last_len = encoder.best_len;
        std::int32_t i = 0;
        for (; i < last_len; ++i) {
            int c = encoder.source(encoder.source_context);
            if (c < 0) break;
            remove_string(encoder, write_pos);
            after_step(encoder, TreeStep::Remove, write_pos);
            encoder.ring[write_pos] = static_cast<unsigned char>(c);
            if (write_pos < GUARD_SIZE) encoder.ring[RING_SIZE + write_pos] = static_cast<unsigned char>(c);
            write_pos = (write_pos + 1) & RING_MASK;
            coding_pos = (coding_pos + 1) & RING_MASK;
            insert_string(encoder, coding_pos);
            after_step(encoder, TreeStep::Insert, coding_pos);
        }
        for (; i < last_len; ++i) {
            tree_remove(encoder, static_cast<std::int32_t>(write_pos));
            after_step(encoder, TreeStep::Remove, write_pos);
            write_pos = (write_pos + 1) & RING_MASK;
            coding_pos = (coding_pos + 1) & RING_MASK;
            if (--lookahead_len == 0) continue;
            tree_insert(encoder, static_cast<std::int32_t>(coding_pos));
            after_step(encoder, TreeStep::Insert, coding_pos);
        }
    }
    if (group.count > 1) flush_group(encoder, group);
    return encoder.output_count;
}

}  // namespace hc
