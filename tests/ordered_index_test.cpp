// The ordered index against a plain model: a list of strings with their
// births, searched by brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lzss/ordered_index.h"

namespace hc {
namespace {

constexpr int RING = INDEX_POSITIONS;
constexpr int FULL = 18;

struct Model {
    std::vector<unsigned char> ring = std::vector<unsigned char>(RING + FULL - 1);
    std::vector<int> members;  // in the tree's order
    std::vector<IndexBirth> birth = std::vector<IndexBirth>(RING);

    // Matching bytes of two strings (byte 0 counts as shared), and whether a
    // orders after b.
    std::pair<int, bool> compare(int a, int b) const {
        int i = 1;
        while (i < FULL && ring[a + i] == ring[b + i]) ++i;
        return {i, i < FULL && ring[a + i] > ring[b + i]};
    }
    bool before(int a, int b) const { return compare(a, b).first < FULL && !compare(a, b).second; }
    std::size_t place_of(int r) const {
        std::size_t i = 0;
        while (i < members.size() && before(members[i], r)) ++i;
        return i;
    }
};

// Links, order, balance and oldest births, from the root down.
void expect_sound(const OrderedIndex& index, const Model& model, int t) {
    std::vector<int> order;
    std::vector<int> pending;
    int v = index.root[t];
    if (v != NO_ENTRY) {
        ASSERT_EQ(index.node[v].up, NO_ENTRY);
    }
    // In-order walk, checking each entry against its children.
    while (v != NO_ENTRY || !pending.empty()) {
        while (v != NO_ENTRY) {
            const IndexNode& e = index.node[v];
            IndexBirth oldest = index.node[v].birth;
            for (int child : {int{e.left}, int{e.right}}) {
                if (child == NO_ENTRY) continue;
                ASSERT_EQ(index.node[child].up, v);
                ASSERT_LE(index.node[child].weight, e.weight);
                oldest = std::min(oldest, index.node[child].oldest);
            }
            ASSERT_EQ(index.node[v].oldest, oldest) << "entry " << v;
            ASSERT_EQ(index.node[v].birth, model.birth[static_cast<std::size_t>(v)]) << "entry " << v;
            pending.push_back(v);
            v = e.left;
        }
        v = pending.back();
        pending.pop_back();
        order.push_back(v);
        v = index.node[v].right;
    }
    ASSERT_EQ(order, model.members);
}

// Random strings over a small alphabet with long runs and counters, so that
// long shared prefixes and equal strings are common.
void fill_ring(Model& model, std::mt19937& rng) {
    const int alphabet = 1 + static_cast<int>(rng() % 3);
    std::uint32_t counter = static_cast<std::uint32_t>(rng());
    for (int i = 0; i < RING; ++i) {
        const int kind = static_cast<int>(rng() % 8);
        model.ring[static_cast<std::size_t>(i)] =
            kind == 0 ? static_cast<unsigned char>(counter++ >> (8 * (rng() % 2))) : static_cast<unsigned char>(rng() % alphabet);
    }
    for (int i = 0; i < FULL - 1; ++i) model.ring[static_cast<std::size_t>(RING + i)] = model.ring[static_cast<std::size_t>(i)];
}

TEST(OrderedIndex, AnswersAsTheModelDoesThroughInsertionsRemovalsAndRebuilds) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        auto index = std::make_unique<OrderedIndex>();
        index_reset(*index);
        Model model;
        fill_ring(model, rng);
        const int t = static_cast<int>(seed % 3);
        std::vector<bool> in(RING, false);
        for (int step = 0; step < 6000; ++step) {
            const int action = static_cast<int>(rng() % 16);
            const int r = static_cast<int>(rng() % RING);
            if (action < 9 && !in[static_cast<std::size_t>(r)]) {
                // Insertion: the longest match, the oldest string at that length.
                int best_len = 0;
                IndexBirth best_birth = 0;
                int best_pos = -1;
                for (int m : model.members) {
                    const int length = model.compare(r, m).first;
                    const IndexBirth birth = model.birth[static_cast<std::size_t>(m)];
                    if (length > best_len || (length == best_len && birth < best_birth)) {
                        best_len = length;
                        best_birth = birth;
                        best_pos = m;
                    }
                }
                if (model.members.empty()) {
                    ASSERT_TRUE(index_empty(*index, t));
                    IndexMatch none{0, 0, NO_ENTRY, NO_ENTRY, false};
                    index_insert(*index, t, r, none);
                    model.members.push_back(r);
                    model.birth[static_cast<std::size_t>(r)] = index->node[r].birth;
                    in[static_cast<std::size_t>(r)] = true;
                    continue;
                }
                // Half the seeds ask for every position; the others, as the
                // encoder does, only for matches long enough to be coded.
                const int wanted = seed % 2 == 0 ? 1 : 3;
                // The place found from any string of the tree is the same.
                const int finger = model.members[rng() % model.members.size()];
                const IndexMatch near = index_place_near(*index, model.ring.data(), string_key(model.ring.data() + r), finger);
                ASSERT_EQ(near.equal, best_len == FULL) << "seed " << seed << " step " << step;
                ASSERT_EQ(near.length, best_len) << "seed " << seed << " step " << step;
                if (near.equal) {
                    ASSERT_EQ(near.position, best_pos) << "seed " << seed << " step " << step;
                } else {
                    const std::size_t place = model.place_of(r);
                    ASSERT_EQ(near.predecessor, place > 0 ? model.members[place - 1] : NO_ENTRY);
                    ASSERT_EQ(near.successor, place < model.members.size() ? model.members[place] : NO_ENTRY);
                }
                const IndexMatch match = index_find(*index, model.ring.data(), t, string_key(model.ring.data() + r), wanted);
                ASSERT_EQ(match.length, best_len) << "seed " << seed << " step " << step;
                if (best_len >= wanted) {
                    ASSERT_EQ(match.position, best_pos) << "seed " << seed << " step " << step;
                }
                ASSERT_EQ(match.equal, best_len == FULL);
                if (match.equal) {
                    index_replace(*index, t, best_pos, r);
                    std::replace(model.members.begin(), model.members.end(), best_pos, r);
                    model.birth[static_cast<std::size_t>(r)] = model.birth[static_cast<std::size_t>(best_pos)];
                    in[static_cast<std::size_t>(best_pos)] = false;
                } else {
                    const std::size_t place = model.place_of(r);
                    ASSERT_EQ(match.predecessor, place > 0 ? model.members[place - 1] : NO_ENTRY);
                    ASSERT_EQ(match.successor, place < model.members.size() ? model.members[place] : NO_ENTRY);
                    index_insert(*index, t, r, match);
                    model.members.insert(model.members.begin() + static_cast<std::ptrdiff_t>(place), r);
                    model.birth[static_cast<std::size_t>(r)] = index->node[r].birth;
                }
                in[static_cast<std::size_t>(r)] = true;
            } else if (action < 15 && !model.members.empty()) {
                // Removal of a member; with two children in the search tree
                // (both neighbours younger) its predecessor takes its age.
                const std::size_t at = rng() % model.members.size();
                const int p = model.members[at];
                const int predecessor = at > 0 ? model.members[at - 1] : NO_ENTRY;
                ASSERT_EQ(index_predecessor(*index, p), predecessor);
                const IndexBirth age = model.birth[static_cast<std::size_t>(p)];
                const bool left = at > 0 && model.birth[static_cast<std::size_t>(predecessor)] > age;
                const bool right = at + 1 < model.members.size() &&
                                   model.birth[static_cast<std::size_t>(model.members[at + 1])] > age;
                const int heir = left && right ? predecessor : NO_ENTRY;
                index_remove(*index, t, p, heir);
                if (heir != NO_ENTRY) model.birth[static_cast<std::size_t>(heir)] = age;
                model.members.erase(model.members.begin() + static_cast<std::ptrdiff_t>(at));
                in[static_cast<std::size_t>(p)] = false;
            } else if (action == 15) {
                // A rebuild from the order and the births as they are.
                std::vector<std::uint16_t> order;
                for (int m : model.members) {
                    order.push_back(static_cast<std::uint16_t>(m));
                    index->node[m].birth = model.birth[static_cast<std::size_t>(m)];
                }
                index_build(*index, t, order.data(), static_cast<int>(order.size()));
            }
            ASSERT_NO_FATAL_FAILURE(expect_sound(*index, model, t)) << "seed " << seed << " step " << step;
        }
    }
}

}  // namespace
}  // namespace hc
