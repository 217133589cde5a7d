// Walks a fault over every platform call of --pack and --unpack: each failing
// call ends the command with one line on standard error and status 1, and the
// older output stays as it was, with no temporary file left beside it. Only
// the input's close may fail without harm: everything was read by then.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "corpus.h"
#include "engine/codec_commands.h"
#include "platform/faults.h"
#include "support.h"

namespace hc::test {
namespace {

using faults::Kind;

const std::string& text_data() {
    static const std::string data = bench::make_corpus(bench::CorpusKind::Text, 150000, 4);
    return data;
}

const std::string& tile_data() {
    static const std::string data = bench::make_corpus(bench::CorpusKind::TileGraphics, 20000, 5);
    return data;
}

PackRequest pack(const char* input, char mode) {
    PackRequest request;
    request.Input = input;
    request.Output = "out.bin";
    request.Mode = mode;
    return request;
}

UnpackRequest unpack(const char* input, char mode) {
    UnpackRequest request;
    request.Input = input;
    request.Output = "out.bin";
    request.Mode = mode;
    return request;
}

struct Command {
    const char* name;
    std::function<int()> run;
};

std::map<std::string, std::string> command_files() {
    // Streams made by the commands themselves, fault-free, once.
    static std::map<std::string, std::string> files;
    if (!files.empty()) return files;
    ScratchFolder folder;
    write_file("text.bin", text_data());
    write_file("tile.bin", tile_data());
    faults::arm(Kind::Open, 0);
    EXPECT_EQ(pack_file(pack("text.bin", 'Z')), 0);
    std::filesystem::rename("out.bin", "text.lz");
    EXPECT_EQ(pack_file(pack("tile.bin", 'A')), 0);
    std::filesystem::rename("out.bin", "tile.lza");
    for (const char* name : {"text.bin", "tile.bin", "text.lz", "tile.lza"}) files[name] = read_file(name);
    files["out.bin"] = "older output";
    return files;
}

std::set<std::string> listing() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) names.insert(entry.path().filename().string());
    return names;
}

TEST(CodecFaults, EveryFailingCallLeavesTheOlderOutput) {
    const Command commands[] = {
        {"pack mode Z", [] { return pack_file(pack("text.bin", 'Z')); }},
        {"pack mode A", [] { return pack_file(pack("tile.bin", 'A')); }},
        {"unpack mode Z", [] { return unpack_file(unpack("text.lz", 'Z')); }},
        {"unpack mode A", [] { return unpack_file(unpack("tile.lza", 'A')); }},
    };
    const std::map<std::string, std::string> files = command_files();
    std::set<std::string> names;
    for (const auto& [name, bytes] : files) names.insert(name);
    int walked = 0;
    for (const Command& command : commands) {
        faults::Record calls;
        {
            ScratchFolder folder;
            for (const auto& [name, bytes] : files) write_file(name, bytes);
            faults::arm(Kind::Open, 0);
            ASSERT_EQ(command.run(), 0) << command.name;
            calls = faults::record();
        }
        for (int k = 0; k < faults::KIND_COUNT; ++k) {
            Kind kind = static_cast<Kind>(k);
            for (int nth = 1; nth <= calls.Calls[static_cast<std::size_t>(k)]; ++nth) {
                SCOPED_TRACE(std::string(command.name) + ", call " + std::to_string(nth) + " of kind " +
                             std::to_string(k));
                ScratchFolder folder;
                for (const auto& [name, bytes] : files) write_file(name, bytes);
                faults::arm(kind, nth, true);
                testing::internal::CaptureStderr();
                int status = command.run();
                std::string error = testing::internal::GetCapturedStderr();
                ASSERT_TRUE(faults::record().Fired);
                ++walked;
                EXPECT_EQ(listing(), names);
                if (kind == Kind::Close && faults::record().FiredTarget == faults::Target::Data) {
                    EXPECT_EQ(status, 0);
                    EXPECT_EQ(error, "");
                    continue;
                }
                EXPECT_EQ(status, 1);
                EXPECT_EQ(error.rfind("hackcomp: Can't ", 0), 0u) << error;
                EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
                EXPECT_EQ(read_file("out.bin"), "older output");
            }
        }
    }
    EXPECT_GT(walked, 20);
}

}  // namespace
}  // namespace hc::test
