// What the destination holds at the moment each message is shown: the data
// is written in blocks, yet every byte written before a message must already
// be in the file, as if it had been written byte by byte.
#include <gtest/gtest.h>

#include "corpus.h"
#include "lzss_reference.h"
#include "support.h"

namespace hc::test {
namespace {

TEST(DataInsertion, DestinationIsCompleteAtEveryMessage) {
    const std::string big = bench::make_corpus(bench::CorpusKind::Text, 300000);
    const std::string raw = bench::make_corpus(bench::CorpusKind::RandomBytes, 200000);
    const std::string stream = reference_encode(big);
    file_to_snapshot() = "out.bin";
    BuildResult result = run_build_in_folder(
        "0 0 src.bin out.bin\n"
        "D big.bin P0 Z\n"
        "O P0 1 A x\n"          // goes on with 0: the stream's first byte becomes 00
        "D raw.bin N R\n"
        "D nope.bin N Z\n",     // stops
        {{"src.bin", "source"}, {"big.bin", big}, {"raw.bin", raw}});
    file_to_snapshot().clear();

    EXPECT_EQ(result.messages, "Archive id expectedCan't open \"nope.bin\"");
    ASSERT_EQ(snapshots_at_messages().size(), 2u);
    EXPECT_TRUE(snapshots_at_messages()[0] == stream) << "the whole stream is in the file at the first message";
    std::string patched = stream;
    patched[0] = '\0';
    std::size_t raw_at = stream.size() + stream.size() % 2;
    std::string expected = patched + std::string(raw_at - stream.size(), '\0') + raw;
    EXPECT_TRUE(snapshots_at_messages()[1] == expected) << "stream and raw data are in the file at the stop";
    EXPECT_TRUE(result.destination == expected);
}

}  // namespace
}  // namespace hc::test
