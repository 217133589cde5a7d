#include "lzss/lzss_encoder.h"

#include <bit>
#include <cstring>

namespace hc {
namespace {

constexpr std::int32_t ROOT_BASE = RING_SIZE + 1;  // right[ROOT_BASE + c]: tree of byte c
constexpr std::int32_t RING_MASK = RING_SIZE - 1;

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

void flush_group(LzssEncoder& encoder, CodeGroup& group) {
    for (std::int32_t i = 0; i < group.count; ++i) encoder.sink(encoder.sink_context, group.bytes[i]);
    encoder.output_count += group.count;
}

void reset_tables(LzssEncoder& encoder) {
    encoder.output_count = 0;
    for (std::int32_t i = ROOT_BASE; i < ROOT_BASE + ROOT_SLOTS; ++i) encoder.right[i] = NO_NODE;
    for (std::int32_t i = 0; i < RING_SIZE; ++i) encoder.parent[i] = NO_NODE;
    std::memset(encoder.ring, 0, sizeof encoder.ring);
}

void code_item(LzssEncoder& encoder, CodeGroup& group, std::int32_t coding_pos) {
    if (encoder.best_len < MIN_MATCH) {
        encoder.best_len = 1;
        group.bytes[0] = static_cast<unsigned char>(group.bytes[0] | group.flag_mask);
        group.bytes[group.count++] = encoder.ring[coding_pos];
    } else {
        std::int32_t p = (encoder.best_pos - RING_START) & RING_MASK;
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

// Bytes 1 to 17 of the string being inserted, loaded once for the whole
// descent: bytes 1-8, bytes 9-16 and byte 17.
struct InsertKey {
    std::uint64_t first;
    std::uint64_t second;
    unsigned char last;
};

InsertKey key_at(const unsigned char* bytes) {
    return {load_big_endian(bytes + 1), load_big_endian(bytes + 9), bytes[MAX_MATCH - 1]};
}

// How many of the 18 bytes agree (byte 0 is shared: 1 to 18), and whether
// the key orders after the node's string at the first difference.
struct Comparison {
    std::int32_t length;
    bool greater;
};

Comparison compare_with(const InsertKey& key, const unsigned char* other) {
    std::uint64_t word = load_big_endian(other + 1);
    if (key.first != word)
        return {1 + std::countl_zero(key.first ^ word) / 8, key.first > word};
    word = load_big_endian(other + 9);
    if (key.second != word)
        return {9 + std::countl_zero(key.second ^ word) / 8, key.second > word};
    unsigned char last = other[MAX_MATCH - 1];
    if (key.last != last) return {MAX_MATCH - 1, key.last > last};
    return {MAX_MATCH, false};
}

// Replaces node p by node r in p's place in its tree.
void replace_node(LzssEncoder& encoder, std::int32_t p, std::int32_t new_node) {
    const TreeLink r = static_cast<TreeLink>(new_node);
    encoder.parent[r] = encoder.parent[p];
    encoder.left[r] = encoder.left[p];
    encoder.right[r] = encoder.right[p];
    encoder.parent[encoder.left[p]] = r;
    encoder.parent[encoder.right[p]] = r;
    TreeLink up = encoder.parent[p];
    if (encoder.right[up] == p)
        encoder.right[up] = r;
    else
        encoder.left[up] = r;
    encoder.parent[p] = NO_NODE;
}

}  // namespace

void tree_insert(LzssEncoder& encoder, std::int32_t r) {
    const InsertKey key = key_at(&encoder.ring[r]);
    bool go_right = true;
    std::int32_t p = ROOT_BASE + encoder.ring[r];
    std::int32_t best_pos = encoder.best_pos;
    std::int32_t best_len = 0;
    encoder.left[r] = encoder.right[r] = NO_NODE;
    for (;;) {
        TreeLink* child = go_right ? &encoder.right[p] : &encoder.left[p];
        if (*child == NO_NODE) {
            *child = static_cast<TreeLink>(r);
            encoder.parent[r] = static_cast<TreeLink>(p);
            break;
        }
        p = *child;
        Comparison found = compare_with(key, &encoder.ring[p]);
        go_right = found.greater;
        // Of equally long matches the node met first wins.
        if (found.length > best_len) {
            best_pos = p;
            best_len = found.length;
            if (best_len == MAX_MATCH) {
                // The newest of two equal strings takes the older one's place.
                replace_node(encoder, p, r);
                break;
            }
        }
    }
    encoder.best_pos = best_pos;
    encoder.best_len = best_len;
}

void tree_remove(LzssEncoder& encoder, std::int32_t p) {
    if (encoder.parent[p] == NO_NODE) return;
    TreeLink q;
    if (encoder.right[p] == NO_NODE) {
        q = encoder.left[p];
    } else if (encoder.left[p] == NO_NODE) {
        q = encoder.right[p];
    } else {
        q = encoder.left[p];
        if (encoder.right[q] != NO_NODE) {
            do q = encoder.right[q];
            while (encoder.right[q] != NO_NODE);
            encoder.right[encoder.parent[q]] = encoder.left[q];
            encoder.parent[encoder.left[q]] = encoder.parent[q];
            encoder.left[q] = encoder.left[p];
            encoder.parent[encoder.left[p]] = q;
        }
        encoder.right[q] = encoder.right[p];
        encoder.parent[encoder.right[p]] = q;
    }
    encoder.parent[q] = encoder.parent[p];
    TreeLink up = encoder.parent[p];
    if (encoder.right[up] == p)
        encoder.right[up] = q;
    else
        encoder.left[up] = q;
    encoder.parent[p] = NO_NODE;
}

std::int32_t encode(LzssEncoder& encoder) {
    reset_tables(encoder);
    CodeGroup group;
    start_group(group);
    std::int32_t write_pos = 0;
    std::int32_t coding_pos = RING_START;

    std::int32_t lookahead_len = 0;
    while (lookahead_len < MAX_MATCH) {
        int c = encoder.source(encoder.source_context);
        if (c < 0) break;
        encoder.ring[RING_START + lookahead_len++] = static_cast<unsigned char>(c);
    }
    if (lookahead_len == 0) return 0;

    for (std::int32_t i = 1; i <= MAX_MATCH; ++i) tree_insert(encoder, RING_START - i);
    tree_insert(encoder, RING_START);

    while (lookahead_len > 0) {
        if (encoder.best_len > lookahead_len) encoder.best_len = lookahead_len;
        code_item(encoder, group, coding_pos);

        std::int32_t last_len = encoder.best_len;
        std::int32_t i = 0;
        for (; i < last_len; ++i) {
            int c = encoder.source(encoder.source_context);
            if (c < 0) break;
            tree_remove(encoder, write_pos);
            encoder.ring[write_pos] = static_cast<unsigned char>(c);
            if (write_pos < GUARD_SIZE) encoder.ring[RING_SIZE + write_pos] = static_cast<unsigned char>(c);
            write_pos = (write_pos + 1) & RING_MASK;
            coding_pos = (coding_pos + 1) & RING_MASK;
            tree_insert(encoder, coding_pos);
        }
        for (; i < last_len; ++i) {
            tree_remove(encoder, write_pos);
            write_pos = (write_pos + 1) & RING_MASK;
            coding_pos = (coding_pos + 1) & RING_MASK;
            if (--lookahead_len != 0) tree_insert(encoder, coding_pos);
        }
    }
    if (group.count > 1) flush_group(encoder, group);
    return encoder.output_count;
}

}  // namespace hc
