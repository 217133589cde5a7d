// Test-only companions of the encoder: a plain, step-by-step transcription of
// the encoding algorithm to compare against, and a decoder of the stream.
#pragma once

#include <memory>
#include <string>

namespace hc::test {

inline constexpr int TREE_NODES = 4096;
inline constexpr int TREE_ROOTS = 256;
inline constexpr int NO_LINK = TREE_NODES;

// The search trees' links, laid out alike for any encoder: per ring position
// in a tree its parent (a position, or 4097 + its first byte at a root) and
// children, NO_LINK where missing; NO_LINK thrice for a position in no tree;
// and the root of each first byte's tree.
struct TreeLinks {
    int parent[TREE_NODES];
    int left[TREE_NODES];
    int right[TREE_NODES];
    int root[TREE_ROOTS];
};

// Where two layouts first differ, or an empty string.
std::string first_difference(const TreeLinks& expected, const TreeLinks& actual);

struct Reference;

// The reference's trees on their own, for white-box tests that drive them
// one insertion or removal at a time beside the product's.
class ReferenceTrees {
public:
    ReferenceTrees();  // empty trees over a ring of zero bytes
    ~ReferenceTrees();
    // The window and, after it, a copy of its first 17 bytes.
    unsigned char* ring();
    void insert(int position);
    void remove(int position);
    // The longest match the last insertion found, the first met of equals.
    int match_position() const;
    int match_length() const;
    void links(TreeLinks& out) const;
    // One node's entries in the layout of TreeLinks, and one tree's root.
    int parent(int position) const;
    int left(int position) const;
    int right(int position) const;
    int root(int first_byte) const;

private:
    std::unique_ptr<Reference> reference_;
};

std::string reference_encode(const std::string& input);

// The same, fed and drained through one-byte callbacks like the product's.
void reference_encode_with(int (*source)(void*), void* source_context, int (*sink)(void*, int),
                           void* sink_context);

// Decodes a whole stream; the stream carries no length, so it ends where its
// bytes end, also in the middle of a group.
std::string decode_stream(const std::string& stream);

}  // namespace hc::test
