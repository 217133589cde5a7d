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

}  // namespace

const std::vector<CorpusKind>& corpus_kinds() {
    static const std::vector<CorpusKind> kinds = {CorpusKind::Text, CorpusKind::BinaryTables,
                                                  CorpusKind::TileGraphics, CorpusKind::RandomBytes,
                                                  CorpusKind::LongRuns};
    return kinds;
}

const char* corpus_name(CorpusKind kind) {
    switch (kind) {
        case CorpusKind::Text: return "text";
        case CorpusKind::BinaryTables: return "binary_tables";
        case CorpusKind::TileGraphics: return "tile_graphics";
        case CorpusKind::RandomBytes: return "random_bytes";
        case CorpusKind::LongRuns: return "long_runs";
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
    }
    return {};
}

}  // namespace hc::bench
