// One-byte source and sink over memory, for feeding the encoders in tests,
// benchmarks and fuzzers.
#pragma once

#include <cstddef>
#include <string>

namespace hc::test {

struct MemoryBytes {
    const std::string* input = nullptr;
    std::size_t next = 0;
    std::string output;
    std::size_t written = 0;
    bool keep_output = true;  // false: only count what is written
    bool sink_fails = false;  // every write fails
};

inline int memory_source(void* context) {
    auto& memory = *static_cast<MemoryBytes*>(context);
    if (memory.next >= memory.input->size()) return -1;
    return static_cast<unsigned char>((*memory.input)[memory.next++]);
}

inline int memory_sink(void* context, int byte) {
    auto& memory = *static_cast<MemoryBytes*>(context);
    if (memory.sink_fails) return -1;
    ++memory.written;
    if (memory.keep_output) memory.output.push_back(static_cast<char>(byte));
    return 0;
}

}  // namespace hc::test
