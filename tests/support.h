// Helpers shared by the in-process tests.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace hc::test {

// Messages the engine reported through report_error, in order.
std::vector<std::string>& reported_messages();

// When set, the sink reads this file at each message and keeps its bytes, to
// show what the destination held at the moment the message was shown.
std::string& file_to_snapshot();
std::vector<std::string>& snapshots_at_messages();

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// A fresh folder that is the current folder while the object lives.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

struct BuildResult {
    int status = 0;
    std::string messages;  // run together, as the console shows them
    std::string destination;
    std::vector<std::string> leftovers;  // files the build made besides the destination
};

// Writes conf.txt and the files into a fresh folder, makes the symbolic links
// (name -> target), runs the build there and returns what it did to the file
// named destination.
BuildResult run_build_in_folder(const std::string& script,
                                const std::map<std::string, std::string>& files,
                                const std::string& destination = "out.bin",
                                const std::map<std::string, std::string>& symlinks = {});

// "0A 0b ff" -> the three bytes.
std::string bytes_of(const std::string& hex);
// The bytes as spaced hexadecimal, for readable failures.
std::string hex_of(const std::string& bytes);

}  // namespace hc::test
