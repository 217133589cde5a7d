// Kept deliberately literal: one statement per step, no shortcuts, so that it
// can be checked against the algorithm's description line by line.
#include "lzss_reference.h"

#include <memory>
#include <vector>

#include "memory_bytes.h"

namespace hc::test {
namespace {

const int N = 4096;
const int F = 18;
const int LONGEST_LITERAL_RUN = 2;
const int NIL = N;

}  // namespace

struct Reference {
    // Bytes come and go one call at a time through the same callback contract
    // as the product's encoder, so that timings compare like with like.
    int (*source)(void*) = nullptr;
    void* source_context = nullptr;
    int (*sink)(void*, int) = nullptr;
    void* sink_context = nullptr;
    unsigned char text[N + F - 1];
    int found_pos = 0;
    int found_len = 0;
    int left_child[N + 1];
    int right_child[N + 257];
    int parent_of[N + 1];

    int get() { return source(source_context); }

    void put(unsigned char byte) {
        sink(sink_context, byte);
    }

    void insert_node(int r) {
        int i = 0;
        int p = 0;
        int cmp = 1;
        unsigned char* key = &text[r];
        p = N + 1 + key[0];
        right_child[r] = left_child[r] = NIL;
        found_len = 0;
        for (;;) {
            if (cmp >= 0) {
                if (right_child[p] != NIL) {
                    p = right_child[p];
                } else {
                    right_child[p] = r;
                    parent_of[r] = p;
                    return;
                }
            } else {
                if (left_child[p] != NIL) {
                    p = left_child[p];
                } else {
                    left_child[p] = r;
                    parent_of[r] = p;
                    return;
                }
            }
            for (i = 1; i < F; i++) {
                cmp = key[i] - text[p + i];
                if (cmp != 0) break;
            }
            if (i > found_len) {
                found_pos = p;
                found_len = i;
                if (found_len >= F) break;
            }
        }
        parent_of[r] = parent_of[p];
        left_child[r] = left_child[p];
        right_child[r] = right_child[p];
        parent_of[left_child[p]] = r;
        parent_of[right_child[p]] = r;
        if (right_child[parent_of[p]] == p) {
            right_child[parent_of[p]] = r;
        } else {
            left_child[parent_of[p]] = r;
        }
        parent_of[p] = NIL;
    }

    void delete_node(int p) {
        int q = 0;
        if (parent_of[p] == NIL) return;
        if (right_child[p] == NIL) {
            q = left_child[p];
        } else if (left_child[p] == NIL) {
            q = right_child[p];
        } else {
            q = left_child[p];
            if (right_child[q] != NIL) {
                do {
                    q = right_child[q];
                } while (right_child[q] != NIL);
                right_child[parent_of[q]] = left_child[q];
                parent_of[left_child[q]] = parent_of[q];
                left_child[q] = left_child[p];
                parent_of[left_child[p]] = q;
            }
            right_child[q] = right_child[p];
            parent_of[right_child[p]] = q;
        }
        parent_of[q] = parent_of[p];
        if (right_child[parent_of[p]] == p) {
            right_child[parent_of[p]] = q;
        } else {
            left_child[parent_of[p]] = q;
        }
        parent_of[p] = NIL;
    }

    void encode() {
        int i = 0;
        int c = 0;
        int len = 0;
        int r = 0;
        int s = 0;
        int last_len = 0;
        int code_count = 0;
        unsigned char code_bytes[17];
        unsigned char mask = 0;

        for (i = N + 1; i <= N + 256; i++) right_child[i] = NIL;
        for (i = 0; i < N; i++) parent_of[i] = NIL;
        for (i = 0; i < N + F - 1; i++) text[i] = 0;
        code_bytes[0] = 0;
        code_count = mask = 1;
        s = 0;
        r = N - F;
        for (len = 0; len < F; len++) {
            c = get();
            if (c == -1) break;
            text[r + len] = static_cast<unsigned char>(c);
        }
        if (len == 0) return;
        for (i = 1; i <= F; i++) insert_node(r - i);
        insert_node(r);
        do {
            if (found_len > len) found_len = len;
            if (found_len <= LONGEST_LITERAL_RUN) {
                found_len = 1;
                code_bytes[0] |= mask;
                code_bytes[code_count++] = text[r];
            } else {
                int position = (found_pos - (N - F)) & (N - 1);
                code_bytes[code_count++] = static_cast<unsigned char>(position & 0xFF);
                code_bytes[code_count++] =
                    static_cast<unsigned char>(((position >> 8) & 0x0F) | ((found_len - (LONGEST_LITERAL_RUN + 1)) << 4));
            }
            mask = static_cast<unsigned char>(mask << 1);
            if (mask == 0) {
                for (i = 0; i < code_count; i++) put(code_bytes[i]);
                code_bytes[0] = 0;
                code_count = mask = 1;
            }
            last_len = found_len;
            for (i = 0; i < last_len; i++) {
                c = get();
                if (c == -1) break;
                delete_node(s);
                text[s] = static_cast<unsigned char>(c);
                if (s < F - 1) text[s + N] = static_cast<unsigned char>(c);
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                insert_node(r);
            }
            while (i++ < last_len) {
                delete_node(s);
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                if (--len) insert_node(r);
            }
        } while (len > 0);
        if (code_count > 1)
            for (i = 0; i < code_count; i++) put(code_bytes[i]);
    }
};

std::string first_difference(const TreeLinks& expected, const TreeLinks& actual) {
    for (int p = 0; p < TREE_NODES; ++p) {
        if (expected.parent[p] != actual.parent[p] || expected.left[p] != actual.left[p] ||
            expected.right[p] != actual.right[p])
            return "node " + std::to_string(p) + ": parent, left, right " + std::to_string(actual.parent[p]) + ", " +
                   std::to_string(actual.left[p]) + ", " + std::to_string(actual.right[p]) + " instead of " +
                   std::to_string(expected.parent[p]) + ", " + std::to_string(expected.left[p]) + ", " +
                   std::to_string(expected.right[p]);
    }
    for (int c = 0; c < TREE_ROOTS; ++c) {
        if (expected.root[c] != actual.root[c])
            return "root of byte " + std::to_string(c) + ": " + std::to_string(actual.root[c]) + " instead of " +
                   std::to_string(expected.root[c]);
    }
    return {};
}

ReferenceTrees::ReferenceTrees() : reference_(std::make_unique<Reference>()) {
    Reference& r = *reference_;
    for (int i = N + 1; i <= N + 256; i++) r.right_child[i] = NIL;
    for (int i = 0; i < N; i++) r.parent_of[i] = NIL;
    for (int i = 0; i < N + F - 1; i++) r.text[i] = 0;
}

ReferenceTrees::~ReferenceTrees() = default;

unsigned char* ReferenceTrees::ring() { return reference_->text; }

void ReferenceTrees::insert(int position) { reference_->insert_node(position); }

void ReferenceTrees::remove(int position) { reference_->delete_node(position); }

int ReferenceTrees::match_position() const { return reference_->found_pos; }

int ReferenceTrees::match_length() const { return reference_->found_len; }

int ReferenceTrees::parent(int position) const { return reference_->parent_of[position]; }

int ReferenceTrees::left(int position) const {
    return parent(position) != NIL ? reference_->left_child[position] : NIL;
}

int ReferenceTrees::right(int position) const {
    return parent(position) != NIL ? reference_->right_child[position] : NIL;
}

int ReferenceTrees::root(int first_byte) const { return reference_->right_child[N + 1 + first_byte]; }

void ReferenceTrees::links(TreeLinks& out) const {
    for (int p = 0; p < N; ++p) {
        out.parent[p] = parent(p);
        out.left[p] = left(p);
        out.right[p] = right(p);
    }
    for (int c = 0; c < 256; ++c) out.root[c] = root(c);
}

void reference_encode_with(int (*source)(void*), void* source_context, int (*sink)(void*, int),
                           void* sink_context) {
    auto reference = std::make_unique<Reference>();
    reference->source = source;
    reference->source_context = source_context;
    reference->sink = sink;
    reference->sink_context = sink_context;
    reference->encode();
}

std::string reference_encode(const std::string& input) {
    MemoryBytes memory;
    memory.input = &input;
    reference_encode_with(memory_source, &memory, memory_sink, &memory);
    return memory.output;
}

std::string decode_stream(const std::string& stream) {
    std::vector<unsigned char> window(N, 0);
    std::string output;
    std::size_t in = 0;
    int out_index = 0;
    auto put = [&](unsigned char byte) {
        output.push_back(static_cast<char>(byte));
        window[static_cast<std::size_t>(out_index)] = byte;
        out_index = (out_index + 1) & (N - 1);
    };
    while (in < stream.size()) {
        unsigned flags = static_cast<unsigned char>(stream[in++]);
        for (int item = 0; item < 8 && in < stream.size(); ++item, flags >>= 1) {
            if (flags & 1) {
                put(static_cast<unsigned char>(stream[in++]));
                continue;
            }
            if (in + 1 >= stream.size()) return output + "<cut match>";
            unsigned low = static_cast<unsigned char>(stream[in++]);
            unsigned high = static_cast<unsigned char>(stream[in++]);
            int position = static_cast<int>(low | ((high & 0x0F) << 8));
            int length = static_cast<int>(high >> 4) + 3;
            for (int j = 0; j < length; ++j) put(window[static_cast<std::size_t>((position + j) & (N - 1))]);
        }
    }
    return output;
}

}  // namespace hc::test
