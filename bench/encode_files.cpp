// How long the encoder alone takes for a set of files held in memory: the
// floor under a whole build's time for the same compressed data.
//     hackcomp_encode_files FILE...
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "lzss/lzss_encoder.h"
#include "memory_bytes.h"

int main(int argc, char** argv) {
    std::vector<std::string> inputs;
    std::size_t total = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        total += inputs.back().size();
    }
    auto encoder = hc::make_lzss_encoder();
    auto start = std::chrono::steady_clock::now();
    std::size_t stream = 0;
    for (const std::string& input : inputs) {
        hc::test::MemoryBytes memory;
        memory.input = &input;
        memory.keep_output = false;
        stream += static_cast<std::size_t>(
            hc::encode(*encoder, hc::test::memory_source, &memory, hc::test::memory_sink, &memory));
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("encoder alone: %zu files, %.1f MB in, %.1f MB out, %.2f s, %.1f MB/s\n", inputs.size(),
                static_cast<double>(total) / 1048576.0, static_cast<double>(stream) / 1048576.0, seconds,
                static_cast<double>(total) / 1048576.0 / seconds);
    return 0;
}
