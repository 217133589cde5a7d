// A test-only platform body that makes a chosen call fail, in front of the
// real POSIX body. It proves that every failing system call is reported and
// that nothing is written after it.
#pragma once

#include <array>
#include <string>

namespace hc::faults {

enum class Kind { Open, Copy, Seek, Read, Write, Close };
inline constexpr int KIND_COUNT = 6;

enum class Target { None, Script, Destination, Data };

struct Record {
    std::array<int, KIND_COUNT> Calls{};  // calls of each kind so far
    bool Fired = false;
    Kind FiredKind = Kind::Open;
    Target FiredTarget = Target::None;
    std::string FiredName;
    int WritesAfterFault = 0;  // writes that reached a file after the fault
};

// Fails the nth (from 1) call of kind from now on; a short write first
// writes half of its bytes. nth 0 fails nothing.
void arm(Kind kind, int nth, bool short_write = false);
const Record& record();

}  // namespace hc::faults
