// A deterministic corpus of the kinds of data a build places: the same bytes
// on every machine and every run. Besides free-form kinds, structured records
// whose sorted or repeated strings exercise the encoder's shortcuts: counters
// of 1 to 4 bytes in either byte order, zero-padded records, item records and
// records behind a marker byte.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace hc::bench {

enum class CorpusKind {
    Text,
    BinaryTables,
    TileGraphics,
    RandomBytes,
    LongRuns,
    Counter8,
    Counter16Little,
    Counter16Big,
    Counter24Little,
    Counter24Big,
    Counter32Little,
    Counter32Big,
    PaddedCounters,  // 13 zero bytes and a 3-byte big-endian counter
    ItemRecords,     // "ITEM", a 16-bit id, a flag byte, 9 zero bytes
    MarkedCounters,  // a marker byte and a falling 32-bit counter
};

const std::vector<CorpusKind>& corpus_kinds();
const char* corpus_name(CorpusKind kind);
// The record kinds, whose sorted strings make deep trees: the plain
// reference crawls through them, so tests keep them small.
bool is_structured(CorpusKind kind);
std::string make_corpus(CorpusKind kind, std::size_t size, unsigned seed = 1);

}  // namespace hc::bench
