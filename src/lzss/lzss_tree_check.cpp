// The trees' consistency check for tests and fuzzers: plain walks over the
// tables, written for clarity rather than speed.
#include <cstring>
#include <string>

#include "lzss/lzss_encoder_internal.h"

namespace hc {
namespace {

constexpr std::int32_t FIRST_ROOT = RING_SIZE + 1;

std::string at(std::int32_t p) { return "node " + std::to_string(p); }

// Orders the strings at a and b by bytes 1 to 17: negative, zero or positive.
int compare_strings(const LzssEncoder& encoder, std::int32_t a, std::int32_t b) {
    return std::memcmp(&encoder.ring[a + 1], &encoder.ring[b + 1], MAX_MATCH - 1);
}

std::uint32_t prefix_at(const LzssEncoder& encoder, std::int32_t p) {
    const unsigned char* bytes = &encoder.ring[p + 1];
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           bytes[3];
}

struct TreeWalk {
    const LzssEncoder& encoder;
    int first_byte;
    std::int32_t previous = NO_NODE;  // the last node met in order
    std::int32_t nodes = 0;
    std::string fault;

    // In order, without recursion: the trees can be chains 4096 nodes long.
    void walk(std::int32_t root) {
        std::int32_t p = root;
        std::int32_t came_from = encoder.parent[root];
        while (fault.empty() && p != encoder.parent[root]) {
            const TreeNode& node = encoder.tree[p];
            if (came_from == encoder.parent[p]) {
                check_node(p);
                if (node.left != NO_NODE) {
                    came_from = p;
                    p = node.left;
                    continue;
                }
                came_from = node.left;
            }
            if (came_from == node.left) {
                visit(p);
                if (node.right != NO_NODE) {
                    came_from = p;
                    p = node.right;
                    continue;
                }
            }
            came_from = p;
            p = encoder.parent[p];
        }
    }

    // Links and record, when the walk first reaches p from its parent.
    void check_node(std::int32_t p) {
        if (++nodes > RING_SIZE) {
            fault = "tree of byte " + std::to_string(first_byte) + " has a cycle";
            return;
        }
        const TreeNode& node = encoder.tree[p];
        if (node.left == p || node.right == p || (node.left == node.right && node.left != NO_NODE)) {
            fault = at(p) + " links to itself or twice to one child";
        } else if (node.left != NO_NODE && (node.left >= RING_SIZE || encoder.parent[node.left] != p)) {
            fault = at(p) + ": left child " + std::to_string(node.left) + " has another parent";
        } else if (node.right != NO_NODE && (node.right >= RING_SIZE || encoder.parent[node.right] != p)) {
            fault = at(p) + ": right child " + std::to_string(node.right) + " has another parent";
        } else if (encoder.ring[p] != first_byte) {
            fault = at(p) + " lies in the tree of byte " + std::to_string(first_byte) + " but begins with " +
                    std::to_string(encoder.ring[p]);
        } else if (node.prefix != prefix_at(encoder, p)) {
            fault = at(p) + ": its record's prefix is not its string's";
        }
    }

    // In order: each string must follow the one before.
    void visit(std::int32_t p) {
        if (previous != NO_NODE && compare_strings(encoder, previous, p) >= 0)
            fault = at(p) + " is out of order after " + at(previous);
        previous = p;
    }
};

}  // namespace

std::string check_tree(const LzssEncoder& encoder, int first_byte, std::int32_t* nodes) {
    const std::int32_t slot = FIRST_ROOT + first_byte;
    const std::int32_t root = encoder.tree[slot].right;
    if (nodes != nullptr) *nodes = 0;
    if (root == NO_NODE) return {};
    if (root >= RING_SIZE || encoder.parent[root] != slot)
        return "root of byte " + std::to_string(first_byte) + " does not point back to its slot";
    TreeWalk walk{encoder, first_byte, NO_NODE, 0, {}};
    walk.walk(root);
    if (!walk.fault.empty()) return walk.fault;
    if (nodes != nullptr) *nodes = walk.nodes;
    return {};
}

std::string check_trees(const LzssEncoder& encoder) {
    std::int32_t in_trees = 0;
    for (int c = 0; c < ROOT_SLOTS; ++c) {
        std::int32_t nodes = 0;
        std::string fault = check_tree(encoder, c, &nodes);
        if (!fault.empty()) return fault;
        in_trees += nodes;
    }
    // Every node with a parent must have been reached from a root.
    std::int32_t with_parent = 0;
    for (std::int32_t p = 0; p < RING_SIZE; ++p) with_parent += encoder.parent[p] != NO_NODE;
    if (with_parent != in_trees)
        return std::to_string(with_parent) + " nodes have a parent but " + std::to_string(in_trees) +
               " are in the trees";
    return {};
}

}  // namespace hc
