// A deterministic corpus of the kinds of data a build places: the same bytes
// on every machine and every run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace hc::bench {

enum class CorpusKind { Text, BinaryTables, TileGraphics, RandomBytes, LongRuns };

const std::vector<CorpusKind>& corpus_kinds();
const char* corpus_name(CorpusKind kind);
std::string make_corpus(CorpusKind kind, std::size_t size, unsigned seed = 1);

}  // namespace hc::bench
