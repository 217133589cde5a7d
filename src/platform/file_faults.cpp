// Fault injection in front of the POSIX body, which this build compiles into
// the namespace hc_system.
#include <map>

#include "platform/faults.h"
#include "platform/platform.h"

namespace hc_system {
using hc::CopyResult;
using hc::FileHandle;
bool copy_file(const char* source, const char* destination);
FileHandle open_for_write(const char* name);
FileHandle open_for_read(const char* name);
bool set_position(FileHandle file, std::int32_t position);
std::int32_t read_bytes(FileHandle file, void* buffer, std::int32_t count);
bool write_bytes(FileHandle file, const void* data, std::int32_t count);
CopyResult copy_bytes(FileHandle from, FileHandle to, std::int64_t limit);
bool close_file(FileHandle file);
}  // namespace hc_system

namespace hc::faults {
namespace {

struct Plan {
    Kind kind = Kind::Open;
    int nth = 0;
    bool short_write = false;
};

Plan plan;
Record state;
std::map<FileHandle, std::pair<Target, std::string>> open_files;

Target target_of_name(const char* name, bool for_write) {
    if (for_write) return Target::Destination;
    return std::string(name) == "conf.txt" ? Target::Script : Target::Data;
}

// Counts one call; true when this call is the one to fail.
bool fails_now(Kind kind, Target target, const std::string& name) {
    int count = ++state.Calls[static_cast<std::size_t>(kind)];
    if (state.Fired || plan.nth == 0 || plan.kind != kind || count != plan.nth) return false;
    state.Fired = true;
    state.FiredKind = kind;
    state.FiredTarget = target;
    state.FiredName = name;
    return true;
}

bool fails_on(Kind kind, FileHandle file) {
    auto found = open_files.find(file);
    if (found == open_files.end()) return fails_now(kind, Target::None, "");
    return fails_now(kind, found->second.first, found->second.second);
}

FileHandle open_with(const char* name, bool for_write) {
    Target target = target_of_name(name, for_write);
    if (fails_now(Kind::Open, target, name)) return INVALID_FILE;
    FileHandle file = for_write ? hc_system::open_for_write(name) : hc_system::open_for_read(name);
    if (file != INVALID_FILE) open_files[file] = {target, name};
    return file;
}

void note_write() {
    if (state.Fired) ++state.WritesAfterFault;
}

}  // namespace

void arm(Kind kind, int nth, bool short_write) {
    plan = {kind, nth, short_write};
    state = {};
    open_files.clear();
}

const Record& record() { return state; }

}  // namespace hc::faults

namespace hc {

using faults::Kind;

bool copy_file(const char* source, const char* destination) {
    if (faults::fails_now(Kind::Copy, faults::Target::Destination, destination)) return false;
    faults::note_write();
    return hc_system::copy_file(source, destination);
}

FileHandle open_for_write(const char* name) { return faults::open_with(name, true); }

FileHandle open_for_read(const char* name) { return faults::open_with(name, false); }

bool set_position(FileHandle file, std::int32_t position) {
    if (faults::fails_on(Kind::Seek, file)) return false;
    return hc_system::set_position(file, position);
}

std::int32_t read_bytes(FileHandle file, void* buffer, std::int32_t count) {
    if (faults::fails_on(Kind::Read, file)) return -1;
    return hc_system::read_bytes(file, buffer, count);
}

bool write_bytes(FileHandle file, const void* data, std::int32_t count) {
    if (faults::fails_on(Kind::Write, file)) {
        if (faults::plan.short_write && count > 1) hc_system::write_bytes(file, data, count / 2);
        return false;
    }
    faults::note_write();
    return hc_system::write_bytes(file, data, count);
}

CopyResult copy_bytes(FileHandle from, FileHandle to, std::int64_t limit) {
    CopyResult failed;
    if (faults::fails_on(Kind::Read, from)) {
        failed.ReadFailed = true;
        return failed;
    }
    if (faults::fails_on(Kind::Write, to)) {
        failed.WriteFailed = true;
        return failed;
    }
    faults::note_write();
    return hc_system::copy_bytes(from, to, limit);
}

bool close_file(FileHandle file) {
    bool fails = faults::fails_on(Kind::Close, file);
    faults::open_files.erase(file);
    bool closed = hc_system::close_file(file);
    return closed && !fails;
}

}  // namespace hc
