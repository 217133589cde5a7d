#include "engine/placement_map.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/hack_build.h"

namespace hc {
namespace {

using Row = std::vector<std::string>;

std::string hex(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string mode_name(int mode) {
    if (mode == 'Z' || mode == 'A') return std::string(1, static_cast<char>(mode));
    return "raw";
}

// Columns padded to their widest cell, two spaces apart, no trailing blanks.
std::string aligned(const std::vector<Row>& rows) {
    std::vector<std::size_t> widths;
    for (const Row& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
    }
    return text;
}

}  // namespace

std::string placement_map_text(const HackBuild& build) {
    std::vector<Row> data{{"data", "mode", "position", "file size", "stored", "end", "NextFree after"}};
    for (const PlacementRow& p : build.Placements)
        data.push_back({p.Name, mode_name(p.Mode), hex(p.Position), std::to_string(p.FileSize),
                        std::to_string(p.Stored), hex(p.Position + p.Stored), hex(p.NextFreeAfter)});
    std::vector<Row> entries{{"entry", "position", "bytes", "value", "data"}};
    for (const EntryRow& e : build.Entries)
        entries.push_back({std::to_string(e.Id), hex(e.Position), std::to_string(e.Count),
                           hex(e.Value), e.DataName});
    return "Data placed (positions in hex, sizes in bytes)\n" + aligned(data) +
           "\nArchive table entries written by O (positions and values in hex)\n" + aligned(entries);
}

bool write_placement_map(const HackBuild& build) {
    std::string text = placement_map_text(build);
    const std::string& name = build.Options.MapFile;
    if (name == "-") {
        write_standard_output(text.data(), text.size());
        return true;
    }
    if (write_whole_file(name.c_str(), text.data(), text.size())) return true;
    std::string message = std::string(build.Options.ProgramName) + ": Can't write map \"" + name + "\"\n";
    write_standard_error(message.data(), message.size());
    return false;
}

}  // namespace hc
