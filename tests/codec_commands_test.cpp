#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "corpus.h"
#include "engine/codec_commands.h"
#include "support.h"

namespace hc::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> folder_listing() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) names.insert(entry.path().filename().string());
    return names;
}

PackRequest pack_request(const std::string& input, const std::string& output, char mode) {
    PackRequest request;
    request.Input = input;
    request.Output = output;
    request.Mode = mode;
    return request;
}

// What `D data.bin P0 MODE` places in an empty destination: exactly the
// packed form, nothing before or after it.
BuildResult placed_by_a_build(const std::string& data, char mode) {
    return run_build_in_folder(std::string("0 0 src.bin out.bin D data.bin P0 ") + mode,
                               {{"src.bin", ""}, {"data.bin", data}});
}

TEST(CodecCommands, PackPlacesWhatABuildPlacesAndUnpackGivesItBack) {
    const std::size_t sizes[] = {0, 1, 17, 18, 4113, 70000};
    unsigned seed = 11;
    for (std::size_t size : sizes) {
        for (bench::CorpusKind kind : {bench::CorpusKind::Text, bench::CorpusKind::TileGraphics}) {
            std::string data = bench::make_corpus(kind, size, seed++);
            for (char mode : {'Z', 'A'}) {
                SCOPED_TRACE(std::to_string(size) + " bytes of " + bench::corpus_name(kind) + ", mode " + mode);
                BuildResult build = placed_by_a_build(data, mode);
                ASSERT_EQ(build.status, 0) << build.messages;
                ScratchFolder folder;
                write_file("data.bin", data);
                ASSERT_EQ(pack_file(pack_request("data.bin", "packed.bin", mode)), 0);
                ASSERT_TRUE(read_file("packed.bin") == build.destination);
                UnpackRequest unpack;
                unpack.Input = "packed.bin";
                unpack.Output = "back.bin";
                unpack.Mode = mode;
                ASSERT_EQ(unpack_file(unpack), 0);
                ASSERT_TRUE(read_file("back.bin") == data);
                EXPECT_EQ(folder_listing(), (std::set<std::string>{"data.bin", "packed.bin", "back.bin"}));
            }
        }
    }
}

TEST(CodecCommands, PackInModeARefusesAStreamTooLongForItsHeader) {
    std::string data = bench::make_corpus(bench::CorpusKind::RandomBytes, 70000, 3);
    EXPECT_EQ(placed_by_a_build(data, 'A').messages, "Data too long \"data.bin\"");
    ScratchFolder folder;
    write_file("data.bin", data);
    write_file("packed.bin", "older output");
    testing::internal::CaptureStderr();
    EXPECT_EQ(pack_file(pack_request("data.bin", "packed.bin", 'A')), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "hackcomp: Data too long \"data.bin\"\n");
    EXPECT_EQ(read_file("packed.bin"), "older output");
    EXPECT_EQ(folder_listing(), (std::set<std::string>{"data.bin", "packed.bin"}));
}

// An archive holding a stream in mode Z between other bytes, a stream in
// mode A, and a stream in mode Z that runs to the end of the file.
struct Archive {
    std::string bytes;
    std::string first, second, third;  // the data of each stream
    std::int64_t first_at, first_length, second_at, third_at;
};

std::string pack_string(const std::string& data, char mode) { return placed_by_a_build(data, mode).destination; }

Archive make_archive() {
    Archive archive;
    archive.first = bench::make_corpus(bench::CorpusKind::Text, 30000, 21);
    archive.second = bench::make_corpus(bench::CorpusKind::BinaryTables, 9000, 22);
    archive.third = bench::make_corpus(bench::CorpusKind::LongRuns, 5000, 23);
    std::string first = pack_string(archive.first, 'Z');
    archive.bytes = std::string(0x123, '\x5A');
    archive.first_at = static_cast<std::int64_t>(archive.bytes.size());
    archive.first_length = static_cast<std::int64_t>(first.size());
    archive.bytes += first + std::string(77, '\xC3');
    archive.second_at = static_cast<std::int64_t>(archive.bytes.size());
    archive.bytes += pack_string(archive.second, 'A') + "trailer";
    archive.third_at = static_cast<std::int64_t>(archive.bytes.size());
    archive.bytes += pack_string(archive.third, 'Z');
    return archive;
}

TEST(CodecCommands, UnpacksFromInsideAnArchiveWithEachWayToEndTheStream) {
    const Archive archive = make_archive();
    auto request = [](std::int64_t at, char mode, std::int64_t length, std::int64_t size) {
        UnpackRequest unpack;
        unpack.Input = "archive.bin";
        unpack.Output = "out.bin";
        unpack.At = at;
        unpack.Mode = mode;
        unpack.Length = length;
        unpack.Size = size;
        return unpack;
    };
    const auto first_size = static_cast<std::int64_t>(archive.first.size());
    struct Row {
        const char* what;
        UnpackRequest unpack;
        std::string expected;
    } rows[] = {
        {"mode Z ending after --length", request(archive.first_at, 'Z', archive.first_length, NOT_GIVEN),
         archive.first},
        {"mode Z ending once --size bytes are decoded", request(archive.first_at, 'Z', NOT_GIVEN, first_size),
         archive.first},
        {"--size short of the stream's end", request(archive.first_at, 'Z', NOT_GIVEN, 1000),
         archive.first.substr(0, 1000)},
        {"both: --size reached first", request(archive.first_at, 'Z', archive.first_length, 20000),
         archive.first.substr(0, 20000)},
        {"mode Z ending at the end of the file", request(archive.third_at, 'Z', NOT_GIVEN, NOT_GIVEN),
         archive.third},
        {"mode A ending after its length", request(archive.second_at, 'A', NOT_GIVEN, NOT_GIVEN),
         archive.second},
        {"mode A with --size", request(archive.second_at, 'A', NOT_GIVEN, 5000), archive.second.substr(0, 5000)},
        {"empty stream at the very end", request(static_cast<std::int64_t>(archive.bytes.size()), 'Z', NOT_GIVEN,
                                                 NOT_GIVEN),
         ""},
    };
    for (const Row& row : rows) {
        ScratchFolder folder;
        write_file("archive.bin", archive.bytes);
        ASSERT_EQ(unpack_file(row.unpack), 0) << row.what;
        EXPECT_TRUE(read_file("out.bin") == row.expected) << row.what;
    }
}

// Each bad input: one line on standard error, status 1, the older output
// untouched and no other file left behind.
TEST(CodecCommands, BadInputLeavesNoOutput) {
    const std::string stream = pack_string("abcabcabcabc and more text", 'Z');
    const std::string headed = pack_string("abcabcabcabc and more text", 'A');
    struct Row {
        const char* what;
        std::string archive;
        std::function<void(UnpackRequest&)> set;
        std::string message;
    } rows[] = {
        {"missing input", "", [](UnpackRequest& u) { u.Input = "missing.bin"; }, "Can't open \"missing.bin\""},
        {"offset past the end", stream, [&](UnpackRequest& u) { u.At = static_cast<std::int64_t>(stream.size()) + 1; },
         "Offset past the end of \"archive.bin\""},
        {"mode A header cut", std::string(1, '\0'), [](UnpackRequest& u) { u.Mode = 'A'; },
         "Length header past the end of \"archive.bin\""},
        {"mode A length below 2", std::string("\x00\x01", 2) + stream, [](UnpackRequest& u) { u.Mode = 'A'; },
         "Stream length below 2 in \"archive.bin\""},
        {"mode A length past the end", headed.substr(0, headed.size() - 1), [](UnpackRequest& u) { u.Mode = 'A'; },
         "Stream past the end of \"archive.bin\""},
        {"--length past the end", stream,
         [&](UnpackRequest& u) { u.Length = static_cast<std::int64_t>(stream.size()) + 1; },
         "Stream past the end of \"archive.bin\""},
        {"stream ending inside an item", bytes_of("07 61 62 63 00"), [](UnpackRequest&) {},
         "Stream ends inside an item in \"archive.bin\""},
        {"unreachable --size", stream, [](UnpackRequest& u) { u.Size = 27; },
         "Stream ends before --size bytes in \"archive.bin\""},
        {"output is the input", stream, [](UnpackRequest& u) { u.Output = "./archive.bin"; },
         "Output is the input file \"./archive.bin\""},
    };
    for (const Row& row : rows) {
        ScratchFolder folder;
        write_file("archive.bin", row.archive);
        write_file("out.bin", "older output");
        UnpackRequest unpack;
        unpack.Input = "archive.bin";
        unpack.Output = "out.bin";
        row.set(unpack);
        testing::internal::CaptureStderr();
        int status = unpack_file(unpack);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "hackcomp: " + row.message + "\n") << row.what;
        EXPECT_EQ(status, 1) << row.what;
        EXPECT_EQ(read_file("out.bin"), "older output") << row.what;
        EXPECT_EQ(read_file("archive.bin"), row.archive) << row.what;
        EXPECT_EQ(folder_listing(), (std::set<std::string>{"archive.bin", "out.bin"})) << row.what;
    }
}

}  // namespace
}  // namespace hc::test
