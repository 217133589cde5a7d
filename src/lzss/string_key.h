// The comparison of two 18-byte strings that the search trees and their
// ordered index share. Byte 0 is common to every string of a tree, so a key
// holds bytes 1 to 17: two big-endian words and a byte, compared as numbers.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace hc {

inline constexpr int KEY_LENGTH = 18;

// Eight bytes as one big-endian number, so that comparing two such numbers
// orders them as their bytes are ordered one by one.
inline std::uint64_t load_big_endian(const unsigned char* bytes) {
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

struct StringKey {
    std::uint64_t first;   // bytes 1-8
    std::uint64_t second;  // bytes 9-16
    unsigned char last;    // byte 17
};

inline StringKey string_key(const unsigned char* bytes) {
    return {load_big_endian(bytes + 1), load_big_endian(bytes + 9), bytes[KEY_LENGTH - 1]};
}

// How many of the 18 bytes agree (1 to 18), and 1 when the key orders after
// the other string at the first difference.
struct StringOrder {
    std::int32_t length;
    unsigned greater;
};

inline __attribute__((always_inline)) StringOrder compare_key(const StringKey& key, const unsigned char* other) {
    std::uint64_t word = load_big_endian(other + 1);
    if (key.first != word) return {1 + std::countl_zero(key.first ^ word) / 8, key.first > word};
    word = load_big_endian(other + 9);
    if (key.second != word) return {9 + std::countl_zero(key.second ^ word) / 8, key.second > word};
    const unsigned char last = other[KEY_LENGTH - 1];
    if (key.last != last) return {KEY_LENGTH - 1, key.last > last};
    return {KEY_LENGTH, 0};
}

}  // namespace hc
