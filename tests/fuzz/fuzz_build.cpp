// A whole build from an arbitrary conf.txt, in a scratch folder holding a few
// small files, first as a dry run (--check with a map), then for real.
// Besides the sanitizers' findings, a dry run that changes any file, a build
// that changes any file but its destination or leaves a file behind, and a
// dry run whose exit status differs from the build's are failures.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "engine/hack_build.h"
#include "scratch_folder.h"

namespace hc {
void report_error(const char*) {}
void finish_reporting() {}
}  // namespace hc

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string>& fixed_files() {
    static const std::map<std::string, std::string> files = {
        {"src.bin", std::string(32, '\xEE')},
        {"a.bin", "abcabcabcabc"},
        {"b.bin", std::string(300, 'b') + "tail"},
        {"e.bin", ""},
    };
    return files;
}

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(),
                                                                 static_cast<std::streamsize>(bytes.size()));
}

constexpr const char* MAP = "fuzz-map.txt";

// The files that differ from the fixed ones and the script, or were added.
int changed_files(const std::string& script) {
    int changed = 0;
    for (const auto& entry : fs::directory_iterator(".")) {
        std::string name = entry.path().filename().string();
        auto fixed = fixed_files().find(name);
        const std::string* before = name == "conf.txt" ? &script
                                    : fixed != fixed_files().end() ? &fixed->second : nullptr;
        // Sizes first: a destination may be a sparse file of gigabytes.
        bool same = before != nullptr && fs::file_size(entry.path()) == before->size() &&
                    read_all(name) == *before;
        if (!same) ++changed;
    }
    return changed;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hc_fuzz::enter_scratch_folder("hackcomp-fuzz-build-");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string script(reinterpret_cast<const char*>(data), size);
    // Names stay inside the scratch folder.
    if (script.find('/') != std::string::npos || script.find('\\') != std::string::npos) return -1;
    for (const auto& entry : fs::directory_iterator("."))
        fs::remove_all(entry.path());
    for (const auto& [name, bytes] : fixed_files()) write_all(name, bytes);
    write_all("conf.txt", script);

    hc::BuildOptions check;
    check.DryRun = true;
    check.Located = true;
    check.PlainMessages = false;
    check.Summary = true;
    check.MapFile = MAP;
    check.WriteLocated = [](const char*, std::size_t) {};
    int checked = hc::run_build(check);
    if (!fs::remove(MAP)) std::abort();  // the map was not written
    if (changed_files(script) != 0) std::abort();

    // Warnings or not, the build is the same.
    hc::BuildOptions real;
    real.Located = size % 2 == 0;
    real.WriteLocated = check.WriteLocated;
    int built = hc::run_build(real);
    if (built != checked) std::abort();
    if (changed_files(script) > 1) std::abort();  // something besides the destination changed or appeared
    return 0;
}
