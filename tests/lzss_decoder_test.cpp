#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "corpus.h"
#include "lzss/lzss_decoder.h"
#include "lzss/lzss_encoder.h"
#include "memory_bytes.h"
#include "support.h"

namespace hc::test {
namespace {

struct Decoded {
    std::string output;
    DecodeStop stop = DecodeStop::NeedInput;
    bool cut_item = false;
    std::size_t taken = 0;  // stream bytes consumed
};

bool append_block(void* context, const unsigned char* bytes, std::int32_t count) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes),
                                               static_cast<std::size_t>(count));
    return true;
}

// Feeds the stream in pieces of piece bytes (the last may be shorter).
Decoded decode_in_pieces(const std::string& stream, std::size_t piece, std::int64_t limit = INT64_MAX) {
    auto decoder = std::make_unique<LzssDecoder>();
    Decoded result;
    decoder->sink = append_block;
    decoder->sink_context = &result.output;
    start_decoding(*decoder, limit);
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.data());
    while (result.taken < stream.size()) {
        std::size_t size = std::min(piece, stream.size() - result.taken);
        std::int32_t consumed = 0;
        result.stop = decode_bytes(*decoder, bytes + result.taken, static_cast<std::int32_t>(size), consumed);
        result.taken += static_cast<std::size_t>(consumed);
        if (result.stop != DecodeStop::NeedInput) break;
    }
    EXPECT_TRUE(flush_decoded(*decoder));
    result.cut_item = ends_inside_item(*decoder);
    return result;
}

std::string encode_string(const std::string& input) {
    static LzssEncoderPtr encoder = make_lzss_encoder();
    MemoryBytes memory;
    memory.input = &input;
    encode(*encoder, memory_source, &memory, memory_sink, &memory);
    return memory.output;
}

// Streams written by hand, for the corners of the format an encoder seldom
// or never produces.
struct Vector {
    const char* what;
    const char* stream;
    std::string output;
};

const Vector VECTORS[] = {
    {"empty stream", "", ""},
    {"overlapping match", "07 61 62 63 00 60", "abcabcabcabc"},
    {"match into the zeros before the start", "00 EE 2F", std::string(5, '\0')},
    {"match mixing zeros and output", "01 41 FE 0F", std::string("A\0\0A", 4)},
    {"longest match, distance one", "01 78 00 F0", std::string(19, 'x')},
    {"group cut after its flag byte", "FF 61 62 63 64 65 66 67 68 FF", "abcdefgh"},
    {"last group short, its missing items flagged as matches", "01 7A", "z"},
};

TEST(LzssDecoder, KnownStreams) {
    for (const Vector& v : VECTORS) {
        std::string stream = bytes_of(v.stream);
        for (std::size_t piece : {std::size_t{1}, std::size_t{64}}) {
            Decoded result = decode_in_pieces(stream, piece);
            EXPECT_EQ(hex_of(result.output), hex_of(v.output)) << v.what << ", pieces of " << piece;
            EXPECT_FALSE(result.cut_item) << v.what;
        }
    }
}

// Inputs of every kind the corpus holds and of sizes around the window and
// the decoder's own block, fed whole, in odd pieces and byte by byte: the
// pieces split groups and match items anywhere.
TEST(LzssDecoder, GivesBackWhatTheEncoderWasGiven) {
    const std::size_t sizes[] = {1, 17, 18, 4096, 4113, 70000, 200000};
    unsigned seed = 7;
    for (std::size_t size : sizes) {
        for (bench::CorpusKind kind : bench::corpus_kinds()) {
            std::string input = bench::make_corpus(kind, size, seed++);
            std::string stream = encode_string(input);
            for (std::size_t piece : {stream.size(), std::size_t{1}, std::size_t{4099}}) {
                if (piece == 0) continue;
                Decoded result = decode_in_pieces(stream, piece);
                ASSERT_EQ(result.output.size(), input.size()) << bench::corpus_name(kind) << ", " << size;
                ASSERT_TRUE(result.output == input) << bench::corpus_name(kind) << ", " << size << ", pieces of " << piece;
                EXPECT_EQ(result.stop, DecodeStop::NeedInput);
                EXPECT_FALSE(result.cut_item);
            }
        }
    }
}

// A match of the window index that the next byte takes reads the byte
// written 4096 bytes before, which that index still holds.
TEST(LzssDecoder, MatchAtItsOwnIndexReachesAWholeWindowBack) {
    std::string stream;
    std::string output;
    for (int i = 0; i < RING_SIZE; ++i) {
        if (i % 8 == 0) stream.push_back('\xFF');
        char byte = static_cast<char>(i * 7 + i / 256);
        stream.push_back(byte);
        output.push_back(byte);
    }
    stream += bytes_of("00 00 00");  // P = 0, length 3, written at index 0 itself
    output += output.substr(0, 3);
    EXPECT_EQ(hex_of(decode_in_pieces(stream, stream.size()).output), hex_of(output));
}

// The limit ends the output exactly, inside a match too, and leaves the rest
// of the stream unread.
TEST(LzssDecoder, StopsAtTheLimit) {
    std::string input = bench::make_corpus(bench::CorpusKind::Text, 100000, 3);
    std::string stream = encode_string(input);
    for (std::int64_t limit : {0, 1, 5, 143, 144, 145, 65536, 70001, 90000}) {
        for (std::size_t piece : {stream.size(), std::size_t{3}}) {
            Decoded result = decode_in_pieces(stream, piece, limit);
            ASSERT_EQ(result.output, input.substr(0, static_cast<std::size_t>(limit))) << "limit " << limit;
            EXPECT_EQ(result.stop, DecodeStop::LimitReached) << "limit " << limit;
            EXPECT_LT(result.taken, stream.size()) << "limit " << limit;
        }
    }
    Decoded exact = decode_in_pieces(stream, stream.size(), static_cast<std::int64_t>(input.size()));
    EXPECT_EQ(exact.output, input);
}

TEST(LzssDecoder, ReportsAStreamCutInsideAMatchItem) {
    std::string stream = bytes_of("07 61 62 63 00 60");
    for (std::size_t piece : {std::size_t{1}, std::size_t{8}}) {
        Decoded cut = decode_in_pieces(stream.substr(0, 5), piece);
        EXPECT_TRUE(cut.cut_item);
        EXPECT_EQ(cut.output, "abc");
    }
}

struct FailingSink {
    int calls = 0;
};

bool fail_second_block(void* context, const unsigned char*, std::int32_t) {
    return ++static_cast<FailingSink*>(context)->calls < 2;
}

TEST(LzssDecoder, StopsWhenTheSinkFails) {
    std::string stream = encode_string(bench::make_corpus(bench::CorpusKind::RandomBytes, 8 * DECODE_BLOCK, 5));
    auto decoder = std::make_unique<LzssDecoder>();
    FailingSink sink;
    decoder->sink = fail_second_block;
    decoder->sink_context = &sink;
    start_decoding(*decoder, INT64_MAX);
    std::int32_t consumed = 0;
    DecodeStop stop = decode_bytes(*decoder, reinterpret_cast<const unsigned char*>(stream.data()),
                                   static_cast<std::int32_t>(stream.size()), consumed);
    EXPECT_EQ(stop, DecodeStop::SinkFailed);
    EXPECT_EQ(sink.calls, 2);
    EXPECT_LT(static_cast<std::size_t>(consumed), stream.size() / 2);
}

}  // namespace
}  // namespace hc::test
