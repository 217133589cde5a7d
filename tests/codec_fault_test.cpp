// Walks a failing system call over --pack and --unpack, through the POSIX
// body's table of calls: the Nth call of a kind fails with EIO. Each fault
// must either leave the command's result exactly as a clean run leaves it
// (a failing stat of the same-file check, the input's close) or end it with
// one line on standard error and status 1, the older output untouched and
// no temporary file left beside it.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>

#include "corpus.h"
#include "engine/codec_commands.h"
#include "platform/posix_calls.h"
#include "support.h"

namespace hc::test {
namespace {

enum Kind { OPEN, FSTAT, STAT, READ, WRITE, LSEEK, RENAME, CLOSE, KIND_COUNT };
const char* const KIND_NAMES[KIND_COUNT] = {"open", "fstat", "stat", "read", "write", "lseek", "rename", "close"};

struct Walk {
    int calls[KIND_COUNT] = {};
    int failing_kind = -1;
    int failing_nth = 0;
    bool fired = false;
};
Walk walk;

// Counts a call; true when it is the one to fail (errno is then EIO).
bool fails(Kind kind) {
    if (++walk.calls[kind] != walk.failing_nth || kind != walk.failing_kind) return false;
    walk.fired = true;
    errno = EIO;
    return true;
}

const PosixCalls& real() { return system_posix_calls(); }

// Puts the counting calls in the table for the life of the object.
class CountedCalls {
  public:
    CountedCalls(int kind, int nth) {
        walk = Walk{};
        walk.failing_kind = kind;
        walk.failing_nth = nth;
        PosixCalls& calls = posix_calls();
        calls.open = [](const char* n, int f, mode_t m) { return fails(OPEN) ? -1 : real().open(n, f, m); };
        calls.fstat = [](int fd, struct stat* i) { return fails(FSTAT) ? -1 : real().fstat(fd, i); };
        calls.stat = [](const char* n, struct stat* i) { return fails(STAT) ? -1 : real().stat(n, i); };
        calls.read = [](int fd, void* b, size_t c) -> ssize_t { return fails(READ) ? -1 : real().read(fd, b, c); };
        calls.write = [](int fd, const void* d, size_t c) -> ssize_t {
            return fails(WRITE) ? -1 : real().write(fd, d, c);
        };
        calls.lseek = [](int fd, off_t o, int w) -> off_t { return fails(LSEEK) ? -1 : real().lseek(fd, o, w); };
        calls.rename = [](const char* a, const char* b) { return fails(RENAME) ? -1 : real().rename(a, b); };
        calls.close = [](int fd) {
            bool failing = fails(CLOSE);
            int closed = real().close(fd);  // a failing close still releases the descriptor
            return failing ? -1 : closed;
        };
    }
    ~CountedCalls() { posix_calls() = system_posix_calls(); }
    CountedCalls(const CountedCalls&) = delete;
    CountedCalls& operator=(const CountedCalls&) = delete;
};

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

std::set<std::string> listing() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) names.insert(entry.path().filename().string());
    return names;
}

// The inputs, and streams the commands make of them without faults.
const std::map<std::string, std::string>& command_files() {
    static std::map<std::string, std::string> files;
    if (!files.empty()) return files;
    ScratchFolder folder;
    write_file("text.bin", bench::make_corpus(bench::CorpusKind::Text, 150000, 4));
    write_file("tile.bin", bench::make_corpus(bench::CorpusKind::TileGraphics, 20000, 5));
    EXPECT_EQ(pack_file(pack("text.bin", 'Z')), 0);
    std::filesystem::rename("out.bin", "text.lz");
    EXPECT_EQ(pack_file(pack("tile.bin", 'A')), 0);
    std::filesystem::rename("out.bin", "tile.lza");
    for (const char* name : {"text.bin", "tile.bin", "text.lz", "tile.lza"}) files[name] = read_file(name);
    files["out.bin"] = "older output";
    return files;
}

struct Outcome {
    int status;
    std::string error;
    std::string output;
    std::set<std::string> names;
};

Outcome run_in_folder(const std::function<int()>& command, int kind, int nth) {
    ScratchFolder folder;
    for (const auto& [name, bytes] : command_files()) write_file(name, bytes);
    Outcome run;
    testing::internal::CaptureStderr();
    {
        CountedCalls counted(kind, nth);
        run.status = command();
    }
    run.error = testing::internal::GetCapturedStderr();
    run.output = read_file("out.bin");
    run.names = listing();
    return run;
}

TEST(CodecFaults, EveryFailingCallFinishesCleanlyOrLeavesTheOlderOutput) {
    const std::pair<const char*, std::function<int()>> commands[] = {
        {"pack mode Z", [] { return pack_file(pack("text.bin", 'Z')); }},
        {"pack mode A", [] { return pack_file(pack("tile.bin", 'A')); }},
        {"unpack mode Z", [] { return unpack_file(unpack("text.lz", 'Z')); }},
        {"unpack mode A", [] { return unpack_file(unpack("tile.lza", 'A')); }},
    };
    std::set<std::string> before;
    for (const auto& [name, bytes] : command_files()) before.insert(name);
    for (const auto& [name, command] : commands) {
        const Outcome clean = run_in_folder(command, -1, 0);
        ASSERT_EQ(clean.status, 0) << name << ": " << clean.error;
        const Walk counted = walk;
        int failures = 0;
        for (int kind = 0; kind < KIND_COUNT; ++kind) {
            for (int nth = 1; nth <= counted.calls[kind]; ++nth) {
                SCOPED_TRACE(std::string(name) + ": " + KIND_NAMES[kind] + " call " + std::to_string(nth) + " fails");
                const Outcome run = run_in_folder(command, kind, nth);
                ASSERT_TRUE(walk.fired);
                if (run.status == 0) {
                    EXPECT_EQ(run.error, "");
                    EXPECT_TRUE(run.output == clean.output);
                    EXPECT_EQ(run.names, clean.names);
                    continue;
                }
                ++failures;
                EXPECT_EQ(run.status, 1);
                EXPECT_EQ(run.error.rfind("hackcomp: Can't ", 0), 0u) << run.error;
                EXPECT_EQ(std::count(run.error.begin(), run.error.end(), '\n'), 1) << run.error;
                EXPECT_EQ(run.output, "older output");
                EXPECT_EQ(run.names, before);
            }
        }
        // Reads and writes of the data can never fail unnoticed.
        EXPECT_GE(failures, counted.calls[READ] + counted.calls[WRITE]) << name;
    }
}

}  // namespace
}  // namespace hc::test
