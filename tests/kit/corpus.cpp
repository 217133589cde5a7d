#include "corpus.h"

#include <cstdint>
#include <random>
#include <string_view>

namespace hc::bench {
namespace {

std::string text(std::mt19937& rng, std::size_t size) {
    static const std::string_view words[] = {"the ", "hero ", "takes ", "a ", "sword ", "from ", "old ",
                                  "castle ", "and ", "walks ", "north", ". ", "\n", "Princess ",
                                  "says: ", "\"Thank you!\" ", "gold ", "100 ", "potion "};
    std::string data;
    while (data.size() < size) data += words[rng() % 19];
    data.resize(size);
    return data;
}

// Rows of little-endian records with slowly changing fields.
std::string binary_tables(std::mt19937& rng, std::size_t size) {
    std::string data;
    std::uint32_t id = 0;
    while (data.size() < size) {
        std::uint32_t fields[4] = {id++, static_cast<std::uint32_t>(100 + rng() % 50),
                                   static_cast<std::uint32_t>(rng() % 4 == 0 ? rng() : 0), 0xFFFF};
        for (std::uint32_t field : fields)
            for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>(field >> (8 * i)));
    }
    data.resize(size);
    return data;
}

// 8x8 tiles of 4-bit pixels: flat areas, stripes and a few noisy tiles.
std::string tile_graphics(std::mt19937& rng, std::size_t size) {
    std::string data;
    while (data.size() < size) {
        int style = static_cast<int>(rng() % 4);
        unsigned char colour = static_cast<unsigned char>(rng() & 0x0F);
        for (int row = 0; row < 8; ++row) {
            for (int pair = 0; pair < 4; ++pair) {
                unsigned char a = colour;
                unsigned char b = colour;
                if (style == 1) b = static_cast<unsigned char>((colour + row) & 0x0F);
                if (style == 2) a = b = static_cast<unsigned char>(rng() & 0x0F);
                data.push_back(static_cast<char>((a << 4) | b));
            }
        }
    }
    data.resize(size);
    return data;
}

std::string random_bytes(std::mt19937& rng, std::size_t size) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(rng() & 0xFF);
    return data;
}

std::string long_runs(std::mt19937& rng, std::size_t size) {
    std::string data;
    while (data.size() < size) data.append(50 + rng() % 2000, static_cast<char>(rng() % 3));
    data.resize(size);
    return data;
}

void put_number(std::string& data, std::uint32_t value, int width, bool big_endian) {
    for (int i = 0; i < width; ++i) {
        const int shift = 8 * (big_endian ? width - 1 - i : i);
        data.push_back(static_cast<char>(value >> shift));
    }
}

// Consecutive numbers of one width, from a random start.
std::string counters(std::mt19937& rng, std::size_t size, int width, bool big_endian) {
    std::string data;
    for (std::uint32_t value = static_cast<std::uint32_t>(rng()); data.size() < size; ++value)
        put_number(data, value, width, big_endian);
    data.resize(size);
    return data;
}

std::string padded_counters(std::mt19937& rng, std::size_t size) {
    std::string data;
    for (std::uint32_t value = rng() & 0xFFFF; data.size() < size; ++value) {
        data.append(13, '\0');
        put_number(data, value, 3, true);
    }
    data.resize(size);
    return data;
}

// Mostly consecutive ids, now and then a jump; a flag of a few values.
std::string item_records(std::mt19937& rng, std::size_t size) {
    std::string data;
    std::uint32_t id = rng() & 0xFFFF;
    while (data.size() < size) {
        data += "ITEM";
        put_number(data, id, 2, false);
        data.push_back(static_cast<char>(rng() % 4));
        data.append(9, '\0');
        id += rng() % 8 == 0 ? 1 + static_cast<std::uint32_t>(rng() % 100) : 1;
    }
    data.resize(size);
    return data;
}

std::string marked_counters(std::mt19937& rng, std::size_t size) {
    std::string data;
    for (std::uint32_t value = static_cast<std::uint32_t>(rng()); data.size() < size; --value) {
        data.push_back('\xA5');
        put_number(data, value, 4, true);
    }
    data.resize(size);
    return data;
}

}  // namespace

const std::vector<CorpusKind>& corpus_kinds() {
    static const std::vector<CorpusKind> kinds = {CorpusKind::Text, CorpusKind::BinaryTables,
                                                  CorpusKind::TileGraphics, CorpusKind::RandomBytes,
                                                  CorpusKind::LongRuns, CorpusKind::Counter8,
                                                  CorpusKind::Counter16Little, CorpusKind::Counter16Big,
                                                  CorpusKind::Counter24Little, CorpusKind::Counter24Big,
                                                  CorpusKind::Counter32Little, CorpusKind::Counter32Big,
                                                  CorpusKind::PaddedCounters, CorpusKind::ItemRecords,
                                                  CorpusKind::MarkedCounters};
    return kinds;
}

bool is_structured(CorpusKind kind) { return kind >= CorpusKind::Counter8; }

const char* corpus_name(CorpusKind kind) {
    switch (kind) {
        case CorpusKind::Text: return "text";
        case CorpusKind::BinaryTables: return "binary_tables";
        case CorpusKind::TileGraphics: return "tile_graphics";
        case CorpusKind::RandomBytes: return "random_bytes";
        case CorpusKind::LongRuns: return "long_runs";
        case CorpusKind::Counter8: return "counter_8";
        case CorpusKind::Counter16Little: return "counter_16_le";
        case CorpusKind::Counter16Big: return "counter_16_be";
        case CorpusKind::Counter24Little: return "counter_24_le";
        case CorpusKind::Counter24Big: return "counter_24_be";
        case CorpusKind::Counter32Little: return "counter_32_le";
        case CorpusKind::Counter32Big: return "counter_32_be";
        case CorpusKind::PaddedCounters: return "padded_counters";
        case CorpusKind::ItemRecords: return "item_records";
        case CorpusKind::MarkedCounters: return "marked_counters";
    }
    return "?";
}

std::string make_corpus(CorpusKind kind, std::size_t size, unsigned seed) {
    std::mt19937 rng(seed * 7919u + static_cast<unsigned>(kind));
    switch (kind) {
        case CorpusKind::Text: return text(rng, size);
        case CorpusKind::BinaryTables: return binary_tables(rng, size);
        case CorpusKind::TileGraphics: return tile_graphics(rng, size);
        case CorpusKind::RandomBytes: return random_bytes(rng, size);
        case CorpusKind::LongRuns: return long_runs(rng, size);
        case CorpusKind::Counter8: return counters(rng, size, 1, false);
        case CorpusKind::Counter16Little: return counters(rng, size, 2, false);
        case CorpusKind::Counter16Big: return counters(rng, size, 2, true);
        case CorpusKind::Counter24Little: return counters(rng, size, 3, false);
        case CorpusKind::Counter24Big: return counters(rng, size, 3, true);
        case CorpusKind::Counter32Little: return counters(rng, size, 4, false);
        case CorpusKind::Counter32Big: return counters(rng, size, 4, true);
        case CorpusKind::PaddedCounters: return padded_counters(rng, size);
        case CorpusKind::ItemRecords: return item_records(rng, size);
        case CorpusKind::MarkedCounters: return marked_counters(rng, size);
    }
    return {};
}

}  // namespace hc::bench
