// A scratch folder of its own for a fuzzer that works on files: made fresh
// under the temporary folder with a random name (created, never reused, so two
// fuzzers or two runs on one machine never share it), made the current folder,
// and removed at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace hc_fuzz {

inline std::filesystem::path& scratch_folder() {
    static std::filesystem::path folder;
    return folder;
}

inline void enter_scratch_folder(const std::string& prefix) {
    namespace fs = std::filesystem;
    std::random_device entropy;
    std::uniform_int_distribution<unsigned long long> pick;
    fs::path folder;
    // create_directory reports false for a name that exists: then draw again.
    do {
        folder = fs::temp_directory_path() / (prefix + std::to_string(pick(entropy)));
    } while (!fs::create_directory(folder));
    fs::current_path(folder);
    scratch_folder() = folder;
    std::atexit([] {
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(scratch_folder(), ignored);
    });
}

}  // namespace hc_fuzz
