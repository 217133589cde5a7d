// Walks a fault over every system call the POSIX body makes in a few
// representative builds: the Nth call of a kind fails, or falls short. Each
// fault must either leave the build exactly as a clean run leaves it (a short
// read, a kernel copy the filesystem refuses) or stop it with the fault's own
// message, exit status 1, nothing written after the fault and no file left
// behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <map>
#include <set>

#include "corpus.h"
#include "engine/hack_build.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "support.h"

namespace hc::test {
namespace {

enum class Kind {
    Open, Fcntl, Fstat, Stat, Lstat, Readlink, Read, Write, Lseek, CopyRange, Ftruncate, Fchmod, Fchown,
    Linkat, Rename, Unlink, Close,
};
constexpr int KIND_COUNT = 17;
const char* const KIND_NAMES[KIND_COUNT] = {
    "open",  "fcntl",     "fstat",  "stat",   "lstat",  "readlink", "read",   "write", "lseek",
    "copy_file_range", "ftruncate", "fchmod", "fchown", "linkat", "rename", "unlink", "close",
};

// How the chosen call goes wrong.
enum class Mode {
    Fail,          // fails with EIO
    Short,         // moves half of what it was asked (at least one byte)
    Full,          // writes half, then every later write to that file fails with ENOSPC
    CrossDevice,   // copy_file_range: EXDEV, as between two filesystems
    NotSupported,  // copy_file_range: ENOSYS, as on an older kernel; open: EOPNOTSUPP, as for O_TMPFILE
    Denied,        // open: EACCES, as in a folder the user may not write
    Missing,       // linkat: ENOENT, as without /proc
};
const char* const MODE_NAMES[] = {"fails", "falls short", "fills the disk", "EXDEV", "ENOSYS", "EACCES", "ENOENT"};

std::vector<Mode> modes_of(Kind kind) {
    switch (kind) {
        case Kind::Read: return {Mode::Fail, Mode::Short};
        case Kind::Write: return {Mode::Fail, Mode::Short, Mode::Full};
        case Kind::CopyRange: return {Mode::Fail, Mode::Short, Mode::Full, Mode::CrossDevice, Mode::NotSupported};
        case Kind::Open: return {Mode::Fail, Mode::NotSupported, Mode::Denied};
        case Kind::Linkat: return {Mode::Fail, Mode::Missing};
        default: return {Mode::Fail};
    }
}

// Which file a call works on.
enum class Target { None, Script, Source, Temporary, Destination, Data };

struct Plan {
    Kind kind = Kind::Open;
    Mode mode = Mode::Fail;
    int nth = 0;  // 0: nothing fails
    std::string source;
};

struct Record {
    std::array<int, KIND_COUNT> Calls{};
    bool Fired = false;
    Target FiredTarget = Target::None;
    std::string FiredName;
    std::size_t MessagesBeforeFault = 0;
    int WritesAfterFault = 0;
    int FullFile = -1;
    bool Missed = false;  // the fault came where it could do nothing
    bool DuringCopy = false;
};

Plan plan;
Record state;
std::map<int, std::pair<Target, std::string>> open_files;

Target target_of(const std::string& name) {
    if (name == "conf.txt") return Target::Script;
    if (name == plan.source) return Target::Source;
    if (name.find(".hackcomp-") != std::string::npos) return Target::Temporary;
    if (name == "out.bin" || name == "./target.bin" || name == "target.bin") return Target::Destination;
    return Target::Data;
}

// Counts one call; true when this call is the one to go wrong.
bool fires(Kind kind, Target target, const std::string& name) {
    int count = ++state.Calls[static_cast<std::size_t>(kind)];
    if (state.Fired || plan.nth == 0 || plan.kind != kind || count != plan.nth) return false;
    state.Fired = true;
    state.FiredTarget = target;
    state.FiredName = name;
    state.MessagesBeforeFault = reported_messages().size();
    for (const auto& [fd, file] : open_files)
        if (file.first == Target::Source) state.DuringCopy = true;  // the source is open only then
    return true;
}

bool fires_on(Kind kind, int fd) {
    auto found = open_files.find(fd);
    if (found == open_files.end()) return fires(kind, Target::None, "");
    return fires(kind, found->second.first, found->second.second);
}

bool writes_to_output(int fd) {
    auto found = open_files.find(fd);
    return found != open_files.end() &&
           (found->second.first == Target::Destination || found->second.first == Target::Temporary);
}

void note_written(int fd, ssize_t count) {
    if (state.Fired && count > 0 && writes_to_output(fd)) ++state.WritesAfterFault;
}

template <typename Result>
Result fail_with(int error) {
    errno = error;
    return static_cast<Result>(-1);
}

const PosixCalls& real() { return system_posix_calls(); }

int error_of(Mode mode) {
    switch (mode) {
        case Mode::NotSupported: return EOPNOTSUPP;
        case Mode::Denied: return EACCES;
        case Mode::Missing: return ENOENT;
        default: return EIO;
    }
}

int fake_open(const char* name, int flags, mode_t mode) {
    // An unnamed file is opened by its folder's name.
    Target target = (flags & O_TMPFILE) == O_TMPFILE ? Target::Temporary : target_of(name);
    if (fires(Kind::Open, target, name)) return fail_with<int>(error_of(plan.mode));
    int fd = real().open(name, flags, mode);
    if (fd >= 0) open_files[fd] = {target, name};
    return fd;
}

int fake_fcntl(int fd, int command, int argument) {
    if (fires_on(Kind::Fcntl, fd)) return fail_with<int>(EIO);
    return real().fcntl(fd, command, argument);
}

int fake_lstat(const char* name, struct stat* info) {
    if (fires(Kind::Lstat, target_of(name), name)) return fail_with<int>(EIO);
    return real().lstat(name, info);
}

ssize_t fake_readlink(const char* name, char* buffer, size_t size) {
    if (fires(Kind::Readlink, target_of(name), name)) return fail_with<ssize_t>(EIO);
    return real().readlink(name, buffer, size);
}

int fake_ftruncate(int fd, off_t size) {
    if (fires_on(Kind::Ftruncate, fd)) return fail_with<int>(EIO);
    return real().ftruncate(fd, size);
}

int fake_fchown(int fd, uid_t owner, gid_t group) {
    if (fires_on(Kind::Fchown, fd)) return fail_with<int>(EPERM);
    return real().fchown(fd, owner, group);
}

int fake_linkat(int old_folder, const char* old_name, int new_folder, const char* new_name, int flags) {
    if (fires(Kind::Linkat, Target::Temporary, new_name)) return fail_with<int>(error_of(plan.mode));
    return real().linkat(old_folder, old_name, new_folder, new_name, flags);
}

int fake_fstat(int fd, struct stat* info) {
    if (fires_on(Kind::Fstat, fd)) return fail_with<int>(EIO);
    return real().fstat(fd, info);
}

int fake_stat(const char* name, struct stat* info) {
    if (fires(Kind::Stat, target_of(name), name)) return fail_with<int>(EIO);
    return real().stat(name, info);
}

// Half of what the call could move: of the bytes asked for, and for an input
// of the bytes left in it, so that the result really falls short.
std::size_t half_of(int in, std::size_t count) {
    struct stat info;
    off_t position = real().lseek(in, 0, SEEK_CUR);
    if (in >= 0 && real().fstat(in, &info) == 0 && S_ISREG(info.st_mode) && position >= 0 &&
        info.st_size - position < static_cast<off_t>(count))
        count = static_cast<std::size_t>(info.st_size - position);
    return count / 2;
}

ssize_t fake_read(int fd, void* buffer, size_t count) {
    if (fires_on(Kind::Read, fd)) {
        if (plan.mode == Mode::Fail) return fail_with<ssize_t>(EIO);
        count = std::max<std::size_t>(1, half_of(fd, count));
    }
    return real().read(fd, buffer, count);
}

ssize_t fake_write(int fd, const void* data, size_t count) {
    if (fd == state.FullFile) return fail_with<ssize_t>(ENOSPC);
    if (fires_on(Kind::Write, fd)) {
        if (plan.mode == Mode::Fail) return fail_with<ssize_t>(EIO);
        if (plan.mode == Mode::Full) state.FullFile = fd;
        std::size_t part = half_of(-1, count);
        if (part == 0) return plan.mode == Mode::Full ? fail_with<ssize_t>(ENOSPC) : real().write(fd, data, count);
        return real().write(fd, data, part);
    }
    ssize_t written = real().write(fd, data, count);
    note_written(fd, written);
    return written;
}

off_t fake_lseek(int fd, off_t offset, int whence) {
    if (fires_on(Kind::Lseek, fd)) return fail_with<off_t>(EIO);
    return real().lseek(fd, offset, whence);
}

ssize_t fake_copy_file_range(int in, off_t* in_offset, int out, off_t* out_offset, size_t count,
                             unsigned flags) {
    if (out == state.FullFile) return fail_with<ssize_t>(ENOSPC);
    if (fires_on(Kind::CopyRange, out)) {
        switch (plan.mode) {
            case Mode::Fail: return fail_with<ssize_t>(EIO);
            case Mode::CrossDevice: return fail_with<ssize_t>(EXDEV);
            case Mode::NotSupported: return fail_with<ssize_t>(ENOSYS);
            case Mode::Full: state.FullFile = out; break;
            default: break;
        }
        std::size_t part = half_of(in, count);
        // At the end of the input there is nothing left for a full disk to refuse.
        if (part == 0 && plan.mode == Mode::Full) {
            state.Missed = true;
            state.FullFile = -1;
        }
        return real().copy_file_range(in, in_offset, out, out_offset, std::max<std::size_t>(part, 1), flags);
    }
    ssize_t moved = real().copy_file_range(in, in_offset, out, out_offset, count, flags);
    note_written(out, moved);
    return moved;
}

int fake_fchmod(int fd, mode_t mode) {
    if (fires_on(Kind::Fchmod, fd)) return fail_with<int>(EIO);
    return real().fchmod(fd, mode);
}

int fake_rename(const char* from, const char* to) {
    if (fires(Kind::Rename, target_of(from), from)) return fail_with<int>(EIO);
    return real().rename(from, to);
}

int fake_unlink(const char* name) {
    if (fires(Kind::Unlink, target_of(name), name)) return fail_with<int>(EIO);
    return real().unlink(name);
}

int fake_close(int fd) {
    bool fails = fires_on(Kind::Close, fd);
    open_files.erase(fd);
    if (fd == state.FullFile) state.FullFile = -1;
    int closed = real().close(fd);  // a failing close still releases the descriptor
    return fails ? fail_with<int>(EIO) : closed;
}

// Swaps the fakes into the table for one test and puts the system's back.
class FakeCalls {
  public:
    FakeCalls() {
        posix_calls() = {fake_open,   fake_fcntl,     fake_fstat,  fake_stat,   fake_lstat,  fake_readlink,
                         fake_read,   fake_write,     fake_lseek,  fake_copy_file_range, fake_ftruncate,
                         fake_fchmod, fake_fchown,    fake_linkat, fake_rename, fake_unlink, fake_close};
    }
    ~FakeCalls() { posix_calls() = system_posix_calls(); }
};

void arm(Kind kind, Mode mode, int nth, const std::string& source) {
    plan = {kind, mode, nth, source};
    state = {};
    open_files.clear();
}

struct Build {
    const char* name;
    std::string script;
    std::string source;
    std::string older_destination;  // "" for none
    std::string link_target;        // "": out.bin is a file; else a symbolic link to this name
};

std::map<std::string, std::string> files_of(const Build& build, bool with_source = true) {
    std::map<std::string, std::string> files = {
        {"src.bin", std::string(64, '\xEE')},
        {"z.bin", bench::make_corpus(bench::CorpusKind::Text, 150000)},
        {"a.bin", bench::make_corpus(bench::CorpusKind::TileGraphics, 20000)},
        {"r.bin", bench::make_corpus(bench::CorpusKind::RandomBytes, 100000)},
    };
    std::string destination = build.link_target.empty() ? "out.bin" : build.link_target;
    if (!build.older_destination.empty()) files[destination] = build.older_destination;
    if (!with_source) files.erase(build.source);
    return files;
}

const Build BUILDS[] = {
    {"every mode and patch",
     "40 8 src.bin out.bin\n"
     "D z.bin N Z\nO A0 4 Dz.bin\n"
     "D a.bin N A\nO A1 4 Da.bin\n"
     "D r.bin N R\nO A2 4 Dr.bin\n"
     "P P0 \"CA FE\"\n",
     "src.bin", "", ""},
    {"a build that stops", "40 8 src.bin out.bin\nD a.bin N Z\nP P0 01\nD missing.bin N Z\nP P1 02\n",
     "src.bin", "", ""},
    {"an older destination", "40 8 src.bin out.bin\nD a.bin N R\nP P0 01\n", "src.bin",
     std::string(100000, 'o'), ""},
    {"a destination through a symbolic link", "40 8 src.bin out.bin\nP P0 01\n", "src.bin", "older",
     "target.bin"},
};

std::map<std::string, std::string> links_of(const Build& build) {
    if (build.link_target.empty()) return {};
    return {{"out.bin", build.link_target}};
}

BuildResult run(const Build& build, bool with_source = true) {
    return run_build_in_folder(build.script, files_of(build, with_source), "out.bin", links_of(build));
}

enum class Outcome {
    AsClean,          // the build goes on as if nothing had happened
    AsWithoutSource,  // as when the source cannot be opened at all
    Stops,            // with the message, nothing written after the fault
};

struct Expected {
    Outcome outcome = Outcome::AsClean;
    std::string message;
};

Expected stops(const std::string& message) { return {Outcome::Stops, message}; }

Expected expected_of(Kind kind, Mode mode, Target target, const std::string& name, bool older,
                     bool during_copy) {
    if (mode == Mode::Short) return {};  // a short count is not a failure
    if (kind == Kind::CopyRange && mode != Mode::Full) return {};  // the block copy takes over and tells
    if (kind == Kind::Stat) return {};    // only asks whether two names are one file
    if (kind == Kind::Fchown) return {};  // only root may give a copy its old owner
    bool opening = kind == Kind::Open || kind == Kind::Fstat || kind == Kind::Fcntl;
    switch (target) {
        case Target::Script:
            if (kind == Kind::Read) return stops("Can't read \"conf.txt\"");
            if (kind == Kind::Close) return {};
            return stops("Can't open \"conf.txt\"");
        case Target::Source:
            if (kind == Kind::Close) return {};  // only read
            if (opening) return {Outcome::AsWithoutSource, ""};
            return stops("Can't write hack");  // read, but not copied
        case Target::Temporary:
            if (kind == Kind::Open && mode == Mode::NotSupported) return {};  // a named file takes over
            if (kind == Kind::Linkat && mode == Mode::Missing) return {};     // so it does without /proc
            if (kind == Kind::Open && mode == Mode::Denied)
                return older ? Expected{} : stops("Can't open hack");  // copied into the destination itself
            return stops("Can't write hack");
        case Target::Destination:
            // The copy opens an older destination only to learn that it may write it.
            if (kind == Kind::Close && during_copy) return {};
            // Links that cannot be followed, or a file that cannot be looked at, are not replaced.
            if (opening || kind == Kind::Lstat || kind == Kind::Readlink) return stops("Can't open hack");
            return stops("Can't write hack");
        case Target::Data:
            if (kind == Kind::Read || kind == Kind::Lseek) return stops("Can't read \"" + name + "\"");
            if (kind == Kind::Close) return {};  // only read: failing to close it loses nothing
            return stops("Can't open \"" + name + "\"");
        case Target::None: break;
    }
    return stops("?");
}

std::string joined(const std::vector<std::string>& messages, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count && i < messages.size(); ++i) text += messages[i];
    return text;
}

void expect_same(const BuildResult& result, const BuildResult& wanted, const std::string& where) {
    EXPECT_EQ(result.messages, wanted.messages) << where;
    EXPECT_EQ(result.status, wanted.status) << where;
    EXPECT_TRUE(result.destination == wanted.destination) << where;
}

TEST(FaultInjection, EveryFailingCallIsReportedAndStopsTheWrites) {
    FakeCalls fakes;
    std::array<int, KIND_COUNT> injected{};
    for (const Build& build : BUILDS) {
        const bool older = !build.older_destination.empty();
        arm(Kind::Open, Mode::Fail, 0, build.source);
        BuildResult without_source = run(build, false);
        arm(Kind::Open, Mode::Fail, 0, build.source);
        BuildResult clean = run(build);
        const std::vector<std::string> clean_messages = reported_messages();
        ASSERT_TRUE(clean.leftovers.empty()) << build.name;
        const Record calls = state;
        for (int k = 0; k < KIND_COUNT; ++k) {
            Kind kind = static_cast<Kind>(k);
            for (Mode mode : modes_of(kind)) {
                for (int nth = 1; nth <= calls.Calls[static_cast<std::size_t>(k)]; ++nth) {
                    arm(kind, mode, nth, build.source);
                    BuildResult result = run(build);
                    std::string where = std::string(build.name) + ": " + KIND_NAMES[k] + " call " +
                                        std::to_string(nth) + " " + MODE_NAMES[static_cast<int>(mode)] +
                                        " on \"" + state.FiredName + "\"";
                    ASSERT_TRUE(state.Fired) << where;
                    ++injected[static_cast<std::size_t>(k)];
                    EXPECT_TRUE(result.leftovers.empty()) << where << ": left " << result.leftovers.front();
                    Expected expected = state.Missed ? Expected{}
                                                     : expected_of(kind, mode, state.FiredTarget, state.FiredName, older,
                                                                   state.DuringCopy);
                    if (expected.outcome == Outcome::AsClean) {
                        expect_same(result, clean, where);
                    } else if (expected.outcome == Outcome::AsWithoutSource) {
                        expect_same(result, without_source, where);
                    } else {
                        EXPECT_EQ(result.messages, joined(clean_messages, state.MessagesBeforeFault) + expected.message)
                            << where;
                        EXPECT_EQ(result.status, 1) << where;
                        EXPECT_EQ(state.WritesAfterFault, 0) << where;
                        // A copy that fails leaves the older destination as it was.
                        if (older && state.DuringCopy) {
                            EXPECT_TRUE(result.destination == build.older_destination) << where;
                        }
                    }
                }
            }
        }
    }
    int walked = 0;
    for (int k = 0; k < KIND_COUNT; ++k) {
        walked += injected[static_cast<std::size_t>(k)];
        // unlink runs only after a failed copy, which no clean run has.
        Kind kind = static_cast<Kind>(k);
        if (kind != Kind::Unlink) {
            EXPECT_GT(injected[static_cast<std::size_t>(k)], 0) << KIND_NAMES[k];
        }
    }
    std::printf("faults injected: %d\n", walked);
}

// Where the filesystem cannot make an unnamed file, the copy has a name while
// it is made: a signal that ends the program then must remove it.
int signal_to_raise = 0;

TEST(FaultInjection, ASignalDuringANamedCopyRemovesIt) {
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        ScratchFolder folder;
        write_file("conf.txt", "0 0 src.bin out.bin P P1 AA");
        write_file("src.bin", std::string(100000, 's'));
        write_file("out.bin", "older");
        signal_to_raise = number;
        pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            prepare_process();
            posix_calls().open = [](const char* name, int flags, mode_t mode) {
                if ((flags & O_TMPFILE) == O_TMPFILE) return fail_with<int>(EOPNOTSUPP);
                return system_posix_calls().open(name, flags, mode);
            };
            posix_calls().copy_file_range = [](int, off_t*, int, off_t*, size_t, unsigned) -> ssize_t {
                raise(signal_to_raise);
                return fail_with<ssize_t>(EIO);
            };
            run_build();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << strsignal(number);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"conf.txt", "out.bin", "src.bin"})) << strsignal(number);
        EXPECT_EQ(read_file("out.bin"), "older") << strsignal(number);
    }
}

}  // namespace
}  // namespace hc::test
