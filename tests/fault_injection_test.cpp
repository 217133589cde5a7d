// Walks a fault over every platform call of a few representative builds: for
// each, the build must report the fault's own message, exit with 1 and write
// nothing after it.
#include <gtest/gtest.h>

#include "corpus.h"
#include "platform/faults.h"
#include "support.h"

namespace hc::test {
namespace {

using faults::Kind;
using faults::Target;

struct Build {
    const char* name;
    std::string script;
    std::string stop_message;  // the message of a build that stops by itself
};

const std::map<std::string, std::string>& build_files() {
    static const std::map<std::string, std::string> files = {
        {"src.bin", std::string(64, '\xEE')},
        {"z.bin", bench::make_corpus(bench::CorpusKind::Text, 150000)},
        {"a.bin", bench::make_corpus(bench::CorpusKind::TileGraphics, 20000)},
        {"r.bin", bench::make_corpus(bench::CorpusKind::RandomBytes, 100000)},
    };
    return files;
}

const Build BUILDS[] = {
    {"every mode and patch",
     "40 8 src.bin out.bin\n"
     "D z.bin N Z\nO A0 4 Dz.bin\n"
     "D a.bin N A\nO A1 4 Da.bin\n"
     "D r.bin N R\nO A2 4 Dr.bin\n"
     "P P0 \"CA FE\"\n",
     ""},
    {"a build that stops",
     "40 8 src.bin out.bin\nD a.bin N Z\nP P0 01\nD missing.bin N Z\nP P1 02\n",
     "Can't open \"missing.bin\""},
};

std::string expected_message(const faults::Record& fault) {
    switch (fault.FiredKind) {
        case Kind::Open:
            if (fault.FiredTarget == Target::Script) return "Can't open \"conf.txt\"";
            if (fault.FiredTarget == Target::Destination) return "Can't open hack";
            return "Can't open \"" + fault.FiredName + "\"";
        case Kind::Copy: return "Can't open hack";  // no older destination to fall back on
        case Kind::Read:
            if (fault.FiredTarget == Target::Script) return "Can't read \"conf.txt\"";
            return "Can't read \"" + fault.FiredName + "\"";
        case Kind::Seek:
        case Kind::Write: return "Can't write hack";
        case Kind::Close:
            // A data file is only read: failing to close it loses nothing.
            return fault.FiredTarget == Target::Destination ? "Can't write hack" : "";
    }
    return "?";
}

const char* kind_name(Kind kind) {
    static const char* names[] = {"open", "copy", "seek", "read", "write", "close"};
    return names[static_cast<int>(kind)];
}

TEST(FaultInjection, EveryFailingCallIsReportedAndStopsTheWrites) {
    int walked = 0;
    for (const Build& build : BUILDS) {
        faults::arm(Kind::Open, 0);
        BuildResult clean = run_build_in_folder(build.script, build_files());
        ASSERT_EQ(clean.messages, build.stop_message) << build.name;
        const faults::Record calls = faults::record();
        for (int k = 0; k < faults::KIND_COUNT; ++k) {
            Kind kind = static_cast<Kind>(k);
            for (bool short_write : {false, true}) {
                if (short_write && kind != Kind::Write) continue;
                for (int nth = 1; nth <= calls.Calls[static_cast<std::size_t>(k)]; ++nth) {
                    faults::arm(kind, nth, short_write);
                    BuildResult result = run_build_in_folder(build.script, build_files());
                    const faults::Record& fault = faults::record();
                    std::string where = std::string(build.name) + ": " + kind_name(kind) + " call " +
                                        std::to_string(nth) + (short_write ? " (short)" : "") +
                                        " on \"" + fault.FiredName + "\"";
                    ASSERT_TRUE(fault.Fired) << where;
                    std::string message = expected_message(fault);
                    bool harmless = message.empty();
                    // A build that stopped closes its destination after its message.
                    bool closing_after_stop = fault.FiredKind == Kind::Close && !build.stop_message.empty();
                    if (harmless || closing_after_stop) message = build.stop_message + message;
                    EXPECT_EQ(result.messages, message) << where;
                    EXPECT_EQ(result.status, message.empty() ? 0 : 1) << where;
                    if (!harmless) {
                        EXPECT_EQ(fault.WritesAfterFault, 0) << where;
                    } else {
                        EXPECT_EQ(result.destination, clean.destination) << where;
                    }
                    ++walked;
                }
            }
        }
    }
    std::printf("faults injected: %d\n", walked);
}

}  // namespace
}  // namespace hc::test
