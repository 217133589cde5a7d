// Why an ordered index can stand in for a descent of a search tree.
//
// Give every node of a search tree an age: a node inserted as a leaf is
// younger than all others; a node that takes the place of another (an equal
// string replacing an older one, or the in-order predecessor replacing a
// removed node with two children) takes over that node's age. Then every
// node is older than the nodes below it, after every step:
// - a new leaf is the youngest, and has nothing below it;
// - a replacing equal string sits exactly where the old one sat;
// - the predecessor comes from the left subtree, so it was younger than the
//   removed node and older than nothing above it; with the removed node's age
//   it is older than all of the removed node's descendants; a single child
//   moving up keeps its age and is still younger than what is above it.
// Ages are distinct, so each tree is the Cartesian tree of its strings in
// order with their ages: its shape follows from those alone. Hence, for a new
// string X:
// - a node y lies on X's way down exactly when y is the oldest string between
//   y and X in the tree's order;
// - X's predecessor and successor both lie on the way, and no string shares
//   more leading bytes with X than the closer of the two: the longest match
//   has length L = max(match with predecessor, match with successor);
// - the strings that share L bytes with X form a contiguous range in order
//   around X; its oldest string z is the oldest between itself and X, so the
//   descent meets it, and meets it before any other string of the range,
//   since the way down meets strings from older to younger. z is the match
//   the descent reports: the first node met at the longest length;
// - at L = 18 the range is the one equal string, where the descent stops.
// A node has a left child exactly when it has a predecessor younger than
// itself, and that predecessor is the rightmost node of its left subtree: the
// node that takes its place on removal.
//
// The index keeps each tree's strings in a treap by position, ordered as the
// search tree orders them (bytes 1 to 17; byte 0 is the tree's), and each
// subtree's oldest birth, so that the predecessor, the successor, L and z each
// cost O(log n) comparisons. Only the order of births matters: an index built
// from a search tree may number its nodes in any order that puts a node before
// its children.
#include "lzss/ordered_index.h"
#include "lzss/string_key.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace hc {
namespace {

constexpr IndexBirth NO_BIRTH = std::numeric_limits<IndexBirth>::max();
constexpr int FULL_LENGTH = KEY_LENGTH;

std::uint16_t next_weight(OrderedIndex& index) {
    // xorshift32: any spread of weights keeps the treap balanced on average.
    std::uint32_t x = index.seed;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    index.seed = x;
    return static_cast<std::uint16_t>(x >> 16);
}

void pull(OrderedIndex& index, int v) {
    IndexNode* n = index.node;
    n[v].oldest = std::min({n[v].birth, n[n[v].left].oldest, n[n[v].right].oldest});
}

// Brings the oldest births from v up to date upwards after a change below or
// at v, as far as they change.
void pull_up(OrderedIndex& index, int v) {
    for (; v != NO_ENTRY; v = index.node[v].up) {
        const IndexBirth before = index.node[v].oldest;
        pull(index, v);
        if (index.node[v].oldest == before) return;
    }
}

// Puts child where old hung below up (or at the root when up is NO_ENTRY).
void relink(OrderedIndex& index, int t, int up, int old, int child) {
    if (up == NO_ENTRY)
        index.root[t] = static_cast<std::uint16_t>(child);
    else if (index.node[up].left == old)
        index.node[up].left = static_cast<std::uint16_t>(child);
    else
        index.node[up].right = static_cast<std::uint16_t>(child);
}

// Turns x above its parent, keeping the order.
void rotate_up(OrderedIndex& index, int t, int x) {
    IndexNode* l = index.node;
    const int p = l[x].up;
    const int g = l[p].up;
    if (l[p].left == x) {
        const int inner = l[x].right;
        l[p].left = static_cast<std::uint16_t>(inner);
        if (inner != NO_ENTRY) l[inner].up = static_cast<std::uint16_t>(p);
        l[x].right = static_cast<std::uint16_t>(p);
    } else {
        const int inner = l[x].left;
        l[p].right = static_cast<std::uint16_t>(inner);
        if (inner != NO_ENTRY) l[inner].up = static_cast<std::uint16_t>(p);
        l[x].left = static_cast<std::uint16_t>(p);
    }
    l[p].up = static_cast<std::uint16_t>(x);
    l[x].up = static_cast<std::uint16_t>(g);
    relink(index, t, g, p, x);
    pull(index, p);
    pull(index, x);
}

// The entry of v's subtree whose birth is the subtree's oldest.
int oldest_in(const OrderedIndex& index, int v) {
    const IndexNode* l = index.node;
    for (;;) {
        if (l[v].birth == l[v].oldest) return v;
        v = l[l[v].left].oldest == l[v].oldest ? l[v].left : l[v].right;
    }
}

}  // namespace

void index_reset(OrderedIndex& index) {
    for (std::uint16_t& root : index.root) root = NO_ENTRY;
    index.node[NO_ENTRY] = {NO_ENTRY, NO_ENTRY, NO_ENTRY, 0, NO_BIRTH, NO_BIRTH};
    index.clock = 0;
    index.seed = 0x9E3779B9u;
}

void index_build(OrderedIndex& index, int t, const std::uint16_t* in_order, int count) {
    // The right spine of the treap so far, bottom last; a node leaves it
    // complete, and its oldest birth is known then.
    IndexNode* l = index.node;
    std::uint16_t spine[INDEX_POSITIONS];
    int height = 0;
    for (int i = 0; i < count; ++i) {
        const int v = in_order[i];
        l[v].weight = next_weight(index);
        l[v].right = NO_ENTRY;
        int below = NO_ENTRY;
        while (height > 0 && l[spine[height - 1]].weight < l[v].weight) {
            below = spine[--height];
            pull(index, below);
        }
        l[v].left = static_cast<std::uint16_t>(below);
        if (below != NO_ENTRY) l[below].up = static_cast<std::uint16_t>(v);
        if (height > 0) {
            l[spine[height - 1]].right = static_cast<std::uint16_t>(v);
            l[v].up = spine[height - 1];
        } else {
            l[v].up = NO_ENTRY;
        }
        spine[height++] = static_cast<std::uint16_t>(v);
    }
    index.root[t] = height > 0 ? spine[0] : NO_ENTRY;
    while (height > 0) pull(index, spine[--height]);
}

void index_drop(OrderedIndex& index, int t) { index.root[t] = NO_ENTRY; }

bool index_empty(const OrderedIndex& index, int t) { return index.root[t] == NO_ENTRY; }

IndexMatch index_find(const OrderedIndex& index, const unsigned char* ring, int t, const StringKey& key, int wanted) {
    const IndexNode* l = index.node;
    // The way down to the new string's place, with each node's match length.
    std::uint16_t way[INDEX_POSITIONS];
    unsigned char way_length[INDEX_POSITIONS];
    int steps = 0;
    IndexMatch match{0, 0, NO_ENTRY, NO_ENTRY, false};
    int before = 0;
    int after = 0;
    for (int v = index.root[t]; v != NO_ENTRY;) {
        const StringOrder order = compare_key(key, ring + v);
        if (order.length == FULL_LENGTH) {
            match.position = v;
            match.length = FULL_LENGTH;
            match.equal = true;
            return match;
        }
        way[steps] = static_cast<std::uint16_t>(v);
        way_length[steps++] = static_cast<unsigned char>(order.length);
        if (order.greater) {
            match.predecessor = static_cast<std::uint16_t>(v);
            before = order.length;
            v = l[v].right;
        } else {
            match.successor = static_cast<std::uint16_t>(v);
            after = order.length;
            v = l[v].left;
        }
    }
    const int length = std::max(before, after);
    match.length = length;
    // A match too short to be used needs no position: the walks are skipped.
    if (length < wanted) {
        match.position = way[0];
        return match;
    }
    // The first node of the way inside the range of strings sharing length
    // bytes with the new string: the range lies within its subtree.
    int top = 0;
    while (way_length[top] < length) ++top;
    const int split = way[top];
    IndexBirth oldest = l[split].birth;
    int holder = split;  // the oldest's entry, or the subtree that holds it
    bool subtree = false;
    const auto consider = [&](IndexBirth birth, int where, bool whole) {
        if (birth < oldest) {
            oldest = birth;
            holder = where;
            subtree = whole;
        }
    };
    // Whether v shares length bytes with the new string; one of the walks
    // below starts along the way down, whose comparisons are known already.
    int known = top + 1;
    const auto in_range = [&](int v) {
        if (known < steps && way[known] == v) return way_length[known++] >= length;
        known = steps;
        return compare_key(key, ring + v).length >= length;
    };
    // Left of the split: a node in the range brings its right subtree along.
    // A walk ends early once nothing below is older than the oldest so far.
    for (int v = l[split].left; v != NO_ENTRY && l[v].oldest < oldest;) {
        if (in_range(v)) {
            consider(l[v].birth, v, false);
            consider(l[l[v].right].oldest, l[v].right, true);
            v = l[v].left;
        } else {
            v = l[v].right;
        }
    }
    known = top + 1;
    for (int v = l[split].right; v != NO_ENTRY && l[v].oldest < oldest;) {
        if (in_range(v)) {
            consider(l[v].birth, v, false);
            consider(l[l[v].left].oldest, l[v].left, true);
            v = l[v].right;
        } else {
            v = l[v].left;
        }
    }
    match.position = subtree ? oldest_in(index, holder) : holder;
    return match;
}

IndexMatch index_place_near(const OrderedIndex& index, const unsigned char* ring, const StringKey& key, int finger) {
    const IndexNode* l = index.node;
    IndexMatch match{0, 0, NO_ENTRY, NO_ENTRY, false};
    int before = 0;
    int after = 0;
    const auto equal_to = [&](int v) {
        match.position = v;
        match.length = FULL_LENGTH;
        match.equal = true;
        return match;
    };
    // Each string compared is the closest one yet on its side of the new
    // string.
    const auto neighbour = [&](int v, const StringOrder& order) {
        if (order.greater) {
            match.predecessor = static_cast<std::uint16_t>(v);
            before = order.length;
        } else {
            match.successor = static_cast<std::uint16_t>(v);
            after = order.length;
        }
    };
    const StringOrder from_finger = compare_key(key, ring + finger);
    if (from_finger.length == FULL_LENGTH) return equal_to(finger);
    neighbour(finger, from_finger);
    // The new string lies between near, the closest string known on the
    // finger's side, and the first ancestor of near on the other side, which
    // a climb from the finger finds: ancestors on the finger's side of it are
    // passed by, and one on the other side is compared, becoming near when
    // the new string lies beyond it.
    const unsigned greater = from_finger.greater;
    int near = finger;
    for (int v = finger, up = l[v].up; up != NO_ENTRY; v = up, up = l[v].up) {
        const unsigned from_left = l[up].left == v;
        if (from_left != greater) continue;
        const StringOrder order = compare_key(key, ring + up);
        if (order.length == FULL_LENGTH) return equal_to(up);
        neighbour(up, order);
        if (order.greater != greater) break;
        near = up;
    }
    // Everything between near and that ancestor is near's subtree on the new
    // string's side, where its place is found as from the root.
    for (int v = greater ? l[near].right : l[near].left; v != NO_ENTRY;) {
        const StringOrder order = compare_key(key, ring + v);
        if (order.length == FULL_LENGTH) return equal_to(v);
        neighbour(v, order);
        v = order.greater ? l[v].right : l[v].left;
    }
    match.length = std::max(before, after);
    return match;
}

void index_insert(OrderedIndex& index, int t, int r, const IndexMatch& match) {
    IndexNode* l = index.node;
    const IndexBirth birth = index.clock++;
    l[r] = {NO_ENTRY, NO_ENTRY, NO_ENTRY, next_weight(index), birth, birth};
    // The free link between the two neighbours is the predecessor's right one
    // or else the successor's left one.
    const int p = match.predecessor;
    if (p == NO_ENTRY && match.successor == NO_ENTRY) {
        index.root[t] = static_cast<std::uint16_t>(r);
        return;
    }
    if (p != NO_ENTRY && l[p].right == NO_ENTRY) {
        l[p].right = static_cast<std::uint16_t>(r);
        l[r].up = static_cast<std::uint16_t>(p);
    } else {
        l[match.successor].left = static_cast<std::uint16_t>(r);
        l[r].up = match.successor;
    }
    // The youngest birth changes no subtree's oldest; only the rotations
    // regroup subtrees.
    while (l[r].up != NO_ENTRY && l[l[r].up].weight < l[r].weight) rotate_up(index, t, r);
}

void index_replace(OrderedIndex& index, int t, int p, int r) {
    IndexNode* l = index.node;
    l[r] = l[p];
    if (l[r].left != NO_ENTRY) l[l[r].left].up = static_cast<std::uint16_t>(r);
    if (l[r].right != NO_ENTRY) l[l[r].right].up = static_cast<std::uint16_t>(r);
    relink(index, t, l[r].up, p, r);
}

std::uint16_t index_predecessor(const OrderedIndex& index, int p) {
    const IndexNode* l = index.node;
    int v = l[p].left;
    if (v != NO_ENTRY) {
        while (l[v].right != NO_ENTRY) v = l[v].right;
        return static_cast<std::uint16_t>(v);
    }
    v = p;
    while (l[v].up != NO_ENTRY && l[l[v].up].left == v) v = l[v].up;
    return l[v].up;
}

void index_remove(OrderedIndex& index, int t, int p, int heir) {
    IndexNode* l = index.node;
    if (heir != NO_ENTRY) {
        l[heir].birth = l[p].birth;
        pull_up(index, heir);
    }
    // Turn p down below its heavier child until it has at most one.
    while (l[p].left != NO_ENTRY && l[p].right != NO_ENTRY)
        rotate_up(index, t, l[l[p].left].weight > l[l[p].right].weight ? l[p].left : l[p].right);
    const int child = l[p].left != NO_ENTRY ? l[p].left : l[p].right;
    const int up = l[p].up;
    if (child != NO_ENTRY) l[child].up = static_cast<std::uint16_t>(up);
    relink(index, t, up, p, child);
    pull_up(index, up);
}

}  // namespace hc
