// The codec as a tool: a data file packed the way `D` places it, and a stream
// unpacked from anywhere in a file. Each writes one whole new output file or
// none: the output is written beside itself under a temporary name and put in
// place only when complete. A failure is one line on standard error.
#pragma once

#include <cstdint>
#include <string>

namespace hc {

inline constexpr std::int64_t NOT_GIVEN = -1;

struct PackRequest {
    std::string Program = "hackcomp";  // the name its messages start with
    std::string Input;
    std::string Output;
    int Mode = 'Z';  // 'Z': the stream; 'A': its 2-byte length, then the stream
};

struct UnpackRequest {
    std::string Program = "hackcomp";
    std::string Input;
    std::string Output;
    std::int64_t At = 0;  // where the stream (or its length in mode 'A') starts in Input
    int Mode = 'Z';
    std::int64_t Length = NOT_GIVEN;  // mode 'Z': the stream's length; else up to the end of Input
    std::int64_t Size = NOT_GIVEN;    // stop once this many bytes are decoded; they must be there
};

// Both return the exit status: 0 when the output is in place, 1 after a
// message ("PROGRAM: TEXT" on standard error).
int pack_file(const PackRequest& request);
int unpack_file(const UnpackRequest& request);

}  // namespace hc
