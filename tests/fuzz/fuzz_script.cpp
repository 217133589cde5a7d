// The script reader over arbitrary bytes: every operation in turn until the
// script has ended, checking what each may return.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "scratch_folder.h"
#include "script/script_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hc_fuzz::enter_scratch_folder("hackcomp-fuzz-script-");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream("conf.txt", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    auto reader = std::make_unique<hc::ScriptReader>();
    if (!hc::open_script(*reader, "conf.txt")) std::abort();
    std::size_t steps = 0;
    for (;;) {
        int c = hc::next_nonblank(*reader);
        if (c < -1 || c > 255 || c == ' ' || c == '\t' || c == '\n' || c == '\r') std::abort();
        if (c == -1) break;
        std::string token = hc::read_token(*reader);
        if (token.find('\0') != std::string::npos || token.size() > size) std::abort();
        std::int32_t value = 7;
        if (!hc::read_decimal(*reader, value) && value != 7) std::abort();
        value = 7;
        if (!hc::read_hex(*reader, value) && value != 7) std::abort();
        hc::skip_white_space(*reader);
        if (++steps > size + 1) std::abort();  // every round consumes at least one byte
    }
    if (hc::next_nonblank(*reader) != -1 || !hc::read_token(*reader).empty()) std::abort();
    hc::close_file(reader->File);
    return 0;
}
