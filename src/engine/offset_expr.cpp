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

void warn_not_a_type(HackBuild& build, int type) {
    std::string shown = type >= 0x20 && type != 0x7F ? std::string(1, static_cast<char>(type))
                                                     : "byte " + std::to_string(type);
    warn(build, "\"" + shown + "\" is not an offset type and counts as 0; use A, D, N or P",
         build.Script.Mark);
}

}  // namespace

std::int32_t read_offset(HackBuild& build) {
    ScriptReader& script = build.Script;
    ExpressionShape& shape = build.Expression;
    bool relative = false;
    int type = next_nonblank(script);
    shape.Start = script.Mark;
    for (; type == '+'; type = next_nonblank(script)) relative = true;
    shape.Type = type;
    shape.Relative = relative;
    if (!shape.DataName.empty()) shape.DataName.clear();

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
            shape.Id = id;
            value = archive_entry(build.ArchiveTableOffset, id);
            break;
        }
        case 'D': {
            std::string name = read_script_token(build);
            if (build.Options.MapFile.size() != 0) shape.DataName = name;
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
            if (warnings_wanted(build)) warn_not_a_type(build, type);
            break;
    }
    std::int32_t distance = 0;
    if (relative && read_hex(script, distance)) value = wrapping_add(value, distance);
    return value;
}

}  // namespace hc
