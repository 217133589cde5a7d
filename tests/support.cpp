#include "support.h"

#include <atomic>
#include <random>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/hack_build.h"

namespace hc {

// The test programs' error sink: messages are kept for the assertions.
void report_error(const char* text) {
    test::reported_messages().emplace_back(text);
    if (!test::file_to_snapshot().empty())
        test::snapshots_at_messages().push_back(test::read_file(test::file_to_snapshot()));
}
void finish_reporting() {}

namespace test {

std::vector<std::string>& reported_messages() {
    static std::vector<std::string> messages;
    return messages;
}

std::string& file_to_snapshot() {
    static std::string name;
    return name;
}

std::vector<std::string>& snapshots_at_messages() {
    static std::vector<std::string> snapshots;
    return snapshots;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScratchFolder::ScratchFolder() : previous_(std::filesystem::current_path()) {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("hackcomp-test-" + std::to_string(std::random_device{}()) + "-" +
             std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
}

ScratchFolder::~ScratchFolder() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

BuildResult run_build_in_folder(const std::string& script,
                                const std::map<std::string, std::string>& files,
                                const std::string& destination,
                                const std::map<std::string, std::string>& symlinks) {
    ScratchFolder folder;
    write_file("conf.txt", script);
    for (const auto& [name, bytes] : files) write_file(name, bytes);
    for (const auto& [name, target] : symlinks) std::filesystem::create_symlink(target, name);
    reported_messages().clear();
    snapshots_at_messages().clear();
    BuildResult result;
    result.status = run_build();
    for (const std::string& message : reported_messages()) result.messages += message;
    result.destination = read_file(destination);
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        std::string name = entry.path().filename().string();
        if (name != "conf.txt" && name != destination && files.count(name) == 0 && symlinks.count(name) == 0)
            result.leftovers.push_back(name);
    }
    return result;
}

std::string bytes_of(const std::string& hex) {
    std::string bytes;
    std::istringstream in(hex);
    std::string pair;
    while (in >> pair) bytes.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
    return bytes;
}

std::string hex_of(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty()) text.push_back(' ');
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

}  // namespace test
}  // namespace hc
