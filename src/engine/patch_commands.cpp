// O: a big-endian number of 1 to 4 bytes. P: bytes given as hexadecimal digits.
#include <algorithm>
#include <vector>

#include "engine/hack_build.h"
#include "engine/offset_expr.h"

namespace hc {
namespace {

constexpr std::int32_t MAX_NUMBER_BYTES = 4;
constexpr std::int64_t LAST_POSITION = 0x7FFFFFFF;
// A hex patch is written in pieces no larger than one write takes.
constexpr std::size_t MAX_PIECE = 1 << 30;

// A patch whose last byte would lie past the last position writes nothing.
bool ends_in_range(HackBuild& build, std::int32_t position, std::uint64_t count, ScriptPlace at) {
    if (count <= static_cast<std::uint64_t>(LAST_POSITION - position + 1)) return true;
    report_at(build, "Offset out of range", at);
    return false;
}

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string hex_digits_of(const std::string& token) {
    std::string digits;
    for (char c : token)
        if (is_hex_digit(c)) digits.push_back(c);
    return digits;
}

}  // namespace

std::int32_t hex_value(const char* text) {
    std::uint32_t value = 0;
    for (; *text != '\0'; ++text) {
        char c = *text;
        value *= 16;
        if (c >= '0' && c <= '9') value += static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') value += static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') value += static_cast<std::uint32_t>(c - 'A' + 10);
    }
    return static_cast<std::int32_t>(value);
}

namespace {

// An O whose position is an archive-table entry (A id, nothing added) goes
// into the placement map with the value it wrote.
void note_entry(HackBuild& build, bool entry, std::int32_t id, std::int32_t position,
                std::int32_t count, std::uint32_t value) {
    if (!entry) return;
    std::uint32_t written = count >= 4 ? value : value & ((1u << (8 * count)) - 1);
    build.Entries.push_back(EntryRow{id, position, count, written,
                                     build.Expression.Type == 'D' ? build.Expression.DataName : ""});
}

}  // namespace

Outcome patch_number(HackBuild& build) {
    std::int32_t position = read_offset(build);
    ScriptPlace at = build.Expression.Start;
    if (seek_destination(build, position) == Outcome::Stop) return Outcome::Stop;
    bool entry = build.Expression.Type == 'A' && !build.Expression.Relative &&
                 !build.Options.MapFile.empty();
    std::int32_t id = build.Expression.Id;
    std::int32_t count = 0;
    if (!read_decimal(build.Script, count)) {
        if (!script_failed(build)) report(build, "Length of offset patching expected");
        return Outcome::Stop;
    }
    if (count > MAX_NUMBER_BYTES) {
        report(build, "Length of offset patching out of range");
        return Outcome::Stop;
    }
    std::uint32_t value = static_cast<std::uint32_t>(read_offset(build));
    if (script_failed(build)) return Outcome::Stop;
    if (count <= 0) return Outcome::GoOn;
    if (!ends_in_range(build, position, static_cast<std::uint64_t>(count), at)) return Outcome::Stop;
    note_entry(build, entry, id, position, count, value);
    for (std::int32_t i = 0; i < count; ++i)
        build.Scratch[static_cast<std::size_t>(i)] =
            static_cast<unsigned char>(value >> (8 * (count - 1 - i)));
    return write_destination(build, build.Scratch.data(), count);
}

Outcome patch_hex(HackBuild& build) {
    std::int32_t position = read_offset(build);
    ScriptPlace at = build.Expression.Start;
    if (seek_destination(build, position) == Outcome::Stop) return Outcome::Stop;
    std::string digits = hex_digits_of(read_script_token(build));
    if (script_failed(build)) return Outcome::Stop;
    std::vector<unsigned char> bytes;
    bytes.reserve(digits.size() / 2 + 1);
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(hex_value(digits.substr(i, 2).c_str())));
    if (bytes.empty()) return Outcome::GoOn;
    if (!ends_in_range(build, position, bytes.size(), at)) return Outcome::Stop;
    for (std::size_t done = 0; done < bytes.size(); done += MAX_PIECE) {
        std::size_t piece = std::min(MAX_PIECE, bytes.size() - done);
        if (write_destination(build, bytes.data() + done, static_cast<std::int32_t>(piece)) == Outcome::Stop)
            return Outcome::Stop;
    }
    return Outcome::GoOn;
}

}  // namespace hc
