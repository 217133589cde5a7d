#include "engine/offset_expr.h"

#include "engine/hack_build.h"

namespace hc {
namespace {

// Offset arithmetic wraps modulo 2^32.
std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t archive_entry(std::int32_t table, std::int32_t id) {
    return wrapping_add(table, static_cast<std::int32_t>(static_cast<std::uint32_t>(id) * 4u));
}

}  // namespace

std::int32_t read_offset(HackBuild& build) {
    ScriptReader& script = build.Script;
    bool relative = false;
    int type = next_nonblank(script);
    for (; type == '+'; type = next_nonblank(script)) relative = true;

    std::int32_t value = 0;
    switch (type) {
        case -1:
            report(build, "Offset type expected");
            return 0;
        case 'A': {
            std::int32_t id = 0;
            if (!read_decimal(script, id)) {
                report(build, "Archive id expected");
                return 0;
            }
            value = archive_entry(build.ArchiveTableOffset, id);
            break;
        }
        case 'D': {
            std::string name = read_token(script);
            auto found = build.DataTable.find(name);
            if (found == build.DataTable.end()) {
                report(build, "Data not found \"" + name + "\"");
                return 0;
            }
            value = found->second;
            break;
        }
        case 'N':
            value = build.NextFree;
            break;
        case 'P':
            if (!read_hex(script, value)) {
                report(build, "Hex adress expected");
                return 0;
            }
            break;
        default:
            // Not a type: taken as 0, so only a relative number can move it.
            break;
    }
    std::int32_t distance = 0;
    if (relative && read_hex(script, distance)) value = wrapping_add(value, distance);
    return value;
}

}  // namespace hc
