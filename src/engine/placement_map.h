// The placement map: where each D put its data, and what O wrote into the
// archive table, as an aligned text table.
#pragma once

#include <string>

namespace hc {

struct HackBuild;

std::string placement_map_text(const HackBuild& build);

// Writes the map to the file the options name ("-": standard output); a
// failure is told on standard error and gives false.
bool write_placement_map(const HackBuild& build);

}  // namespace hc
