// Encoder throughput in MB/s of input, per kind of data, with the plain
// reference encoder beside the product's for comparison.
#include <benchmark/benchmark.h>

#include <memory>

#include "corpus.h"
#include "lzss/lzss_encoder.h"
#include "lzss_reference.h"
#include "memory_bytes.h"

namespace {

constexpr std::size_t CORPUS_SIZE = 1 << 20;

using hc::test::memory_sink;
using hc::test::memory_source;
using hc::test::MemoryBytes;

MemoryBytes counting(const std::string& input) {
    MemoryBytes memory;
    memory.input = &input;
    memory.keep_output = false;
    return memory;
}

void encode_product(benchmark::State& state, hc::bench::CorpusKind kind) {
    std::string input = hc::bench::make_corpus(kind, CORPUS_SIZE);
    auto encoder = hc::make_lzss_encoder();
    std::int32_t stream = 0;
    for (auto _ : state) {
        MemoryBytes memory = counting(input);
        stream = hc::encode(*encoder, memory_source, &memory, memory_sink, &memory);
        benchmark::DoNotOptimize(stream);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
    state.counters["ratio"] = static_cast<double>(stream) / static_cast<double>(input.size());
}

void encode_reference(benchmark::State& state, hc::bench::CorpusKind kind) {
    std::string input = hc::bench::make_corpus(kind, CORPUS_SIZE);
    for (auto _ : state) {
        MemoryBytes memory = counting(input);
        hc::test::reference_encode_with(memory_source, &memory, memory_sink, &memory);
        benchmark::DoNotOptimize(memory.written);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

int register_benchmarks() {
    for (hc::bench::CorpusKind kind : hc::bench::corpus_kinds()) {
        std::string name = hc::bench::corpus_name(kind);
        benchmark::RegisterBenchmark(("encode/" + name).c_str(), encode_product, kind)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("reference/" + name).c_str(), encode_reference, kind)
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}

const int registered = register_benchmarks();

}  // namespace

BENCHMARK_MAIN();
