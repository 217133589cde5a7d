// Offset expressions: [+...] A id | D name | N | P address [relative].
// They read the script and the build state, so they live with the engine.
#pragma once

#include <cstdint>

namespace hc {

struct HackBuild;

// Reads one offset expression from the script and returns its value. A
// malformed expression reports its message and yields 0; the build goes on.
std::int32_t read_offset(HackBuild& build);

}  // namespace hc
