// Decoder throughput in MB/s of output, per kind of data, fed the whole
// stream at once and in 64 KiB pieces as a file would come, into a sink that
// only counts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "corpus.h"
#include "lzss/lzss_decoder.h"
#include "lzss/lzss_encoder.h"
#include "memory_bytes.h"

namespace {

constexpr std::size_t CORPUS_SIZE = 1 << 22;

std::string encode_corpus(const std::string& input) {
    hc::LzssEncoderPtr encoder = hc::make_lzss_encoder();
    hc::test::MemoryBytes memory;
    memory.input = &input;
    hc::encode(*encoder, hc::test::memory_source, &memory, hc::test::memory_sink, &memory);
    return memory.output;
}

bool count_block(void* context, const unsigned char* bytes, std::int32_t count) {
    benchmark::DoNotOptimize(bytes);
    *static_cast<std::int64_t*>(context) += count;
    return true;
}

void decode(benchmark::State& state, hc::bench::CorpusKind kind, std::size_t piece) {
    std::string input = hc::bench::make_corpus(kind, CORPUS_SIZE);
    std::string stream = encode_corpus(input);
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.data());
    auto decoder = std::make_unique<hc::LzssDecoder>();
    std::int64_t written = 0;
    decoder->sink = count_block;
    decoder->sink_context = &written;
    for (auto _ : state) {
        written = 0;
        hc::start_decoding(*decoder, INT64_MAX);
        for (std::size_t at = 0; at < stream.size();) {
            auto size = static_cast<std::int32_t>(std::min(piece, stream.size() - at));
            std::int32_t consumed = 0;
            hc::decode_bytes(*decoder, bytes + at, size, consumed);
            at += static_cast<std::size_t>(consumed);
        }
        hc::flush_decoded(*decoder);
        if (written != static_cast<std::int64_t>(input.size())) state.SkipWithError("wrong output size");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
    state.counters["ratio"] = static_cast<double>(stream.size()) / static_cast<double>(input.size());
}

int register_benchmarks() {
    for (hc::bench::CorpusKind kind : hc::bench::corpus_kinds()) {
        std::string name = hc::bench::corpus_name(kind);
        benchmark::RegisterBenchmark(("decode/" + name).c_str(), decode, kind, std::size_t{1} << 40)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decode_64k_pieces/" + name).c_str(), decode, kind, std::size_t{1} << 16)
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}

const int registered = register_benchmarks();

}  // namespace

BENCHMARK_MAIN();
