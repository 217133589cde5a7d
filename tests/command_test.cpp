// Offset expressions and the patch commands, run through a whole build in a
// scratch folder: script text in, destination bytes and messages out.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/hack_build.h"
#include "support.h"

namespace hc::test {
namespace {

std::string big_endian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

// DataOffset 0x100 and the archive table at 0x400. a.bin (3 bytes) goes to
// NextFree, so NextFree becomes 0x104; "x y" to 0x40; a.bin again to 0x60.
// The expression is the value of a 4-byte number patch at position 0.
const std::string EXPRESSION_PRELUDE =
    "100 400 src.bin out.bin\n"
    "D a.bin N R\n"
    "D \"x y\" P40 R\n"
    "D a.bin P60 R\n"
    "O P0 4 ";

struct ExpressionCase {
    const char* expression;
    std::uint32_t value;
    const char* messages;
};

const ExpressionCase EXPRESSION_CASES[] = {
    {"N", 0x104, ""},
    {"+N 10", 0x114, ""},
    {"+N10", 0x114, ""},
    {"++N 10", 0x114, ""},
    {"+ + N 10", 0x114, ""},
    {"+\nN\n10", 0x114, ""},
    {"A3", 0x40C, ""},
    {"A 3", 0x40C, ""},
    {"A+3", 0x40C, ""},
    {"A-1", 0x3FC, ""},
    {"+A2 8", 0x410, ""},
    {"A1073741824", 0x400, ""},  // 4 x id wraps
    {"P1000", 0x1000, ""},
    {"P0x1000", 0x1000, ""},
    {"P-10", 0xFFFFFFF0, ""},
    {"+P7FFFFFFF 1", 0x80000000, ""},
    {"Da.bin", 0x100, ""},  // the first insertion under a name wins
    {"D a.bin", 0x100, ""},
    {"D \"a.bin\"", 0x100, ""},
    {"+D\"x y\"4", 0x44, ""},
    {"D A.bin", 0, "Data not found \"A.bin\""},
    {"D ./a.bin", 0, "Data not found \"./a.bin\""},
    {"Dn%s\"q", 0, "Data not found \"n%s\"q\""},
    {"D", 0, "Data not found \"\""},
    {"A x", 0, "Archive id expected"},
    {"+A x 10", 0, "Archive id expected"},
    {"P", 0, "Hex adress expected"},
    {"Pq", 0, "Hex adress expected"},
    {"+", 0, "Offset type expected"},
    {"", 0, "Offset type expected"},
    {"z", 0, ""},          // not a type: 0 without a message
    {"+z 10", 0x10, ""},   // ... and a relative number still counts
    {"+N q", 0x104, ""},   // a relative number that is not there changes nothing
};

TEST(OffsetExpression, ValueAndMessages) {
    const std::map<std::string, std::string> files = {
        {"src.bin", std::string(8, '\xEE')}, {"a.bin", "abc"}, {"x y", "xy"}};
    for (const ExpressionCase& c : EXPRESSION_CASES) {
        BuildResult result = run_build_in_folder(EXPRESSION_PRELUDE + c.expression + "\n", files);
        EXPECT_EQ(hex_of(result.destination.substr(0, 4)), hex_of(big_endian(c.value)))
            << c.expression;
        EXPECT_EQ(result.messages, c.messages) << c.expression;
        EXPECT_EQ(result.status, *c.messages ? 1 : 0) << c.expression;
    }
}

TEST(OffsetExpression, NameUsedBeforeItsInsertionIsNotFound) {
    BuildResult result = run_build_in_folder("100 400 src.bin out.bin O P0 4 Dlate.bin D late.bin N R",
                                             {{"src.bin", std::string(8, '\xEE')}, {"late.bin", "L"}});
    EXPECT_EQ(result.messages, "Data not found \"late.bin\"");
    EXPECT_EQ(hex_of(result.destination.substr(0, 4)), "00 00 00 00");
}

TEST(OffsetExpression, TwoErrorsRunTogetherAndTheBuildGoesOn) {
    BuildResult result = run_build_in_folder("0 0 src.bin out.bin O P0 1 A x O P1 1 +",
                                             {{"src.bin", std::string(4, '\xEE')}});
    EXPECT_EQ(result.messages, "Archive id expectedOffset type expected");
    EXPECT_EQ(hex_of(result.destination), "00 00 EE EE");
    EXPECT_EQ(result.status, 1);
}

// The source is 8 bytes of EE, so every written byte shows.
struct PatchCase {
    const char* script;
    const char* destination;
    const char* messages;
};

const PatchCase PATCH_CASES[] = {
    {"O P2 1 P12345678", "EE EE 78 EE EE EE EE EE", ""},
    {"O P2 2 P12345678", "EE EE 56 78 EE EE EE EE", ""},
    {"O P2 3 P12345678", "EE EE 34 56 78 EE EE EE", ""},
    {"O P2 4 P12345678", "EE EE 12 34 56 78 EE EE", ""},
    {"O P2 0 P12345678", "EE EE EE EE EE EE EE EE", ""},
    {"O P2 -1 Pq", "EE EE EE EE EE EE EE EE", "Hex adress expected"},
    {"O P2 2 P-1", "EE EE FF FF EE EE EE EE", ""},
    {"O P2 4 P-1", "EE EE FF FF FF FF EE EE", ""},
    {"O P2 4 1234", "EE EE 00 00 00 00 EE EE", ""},
    {"O P2 4 P4D2", "EE EE 00 00 04 D2 EE EE", ""},
    {"O +Q 2 1 P7", "EE EE 07 EE EE EE EE EE", ""},
    {"O Dnope 1 P7", "07 EE EE EE EE EE EE EE", "Data not found \"nope\""},
    {"O P2 Dtitle.bin P P0 11", "EE EE EE EE EE EE EE EE", "Length of offset patching expected"},
    {"O P2 5 P1 P P0 11", "EE EE EE EE EE EE EE EE", "Length of offset patching out of range"},
    {"O P2 2147483647 P1", "EE EE EE EE EE EE EE EE", "Length of offset patching out of range"},
    {"O P-4 4 P1 P P0 11", "EE EE EE EE EE EE EE EE", "Offset out of range"},
    {"O +P7FFFFFFF 1 1 P1", "EE EE EE EE EE EE EE EE", "Offset out of range"},
    {"P P2 0x1F", "EE EE 01 0F EE EE EE EE", ""},
    {"P P2 ABC", "EE EE AB 0C EE EE EE EE", ""},
    {"P P2 \"aB c\"", "EE EE AB 0C EE EE EE EE", ""},
    {"P P2 12 34", "EE EE 12 EE EE EE EE EE", ""},
    {"P P2 \"12 34\"", "EE EE 12 34 EE EE EE EE", ""},
    {"P P2 \"1-2.g\xC3" "3x4\"", "EE EE 12 34 EE EE EE EE", ""},
    {"P P2 \"\"", "EE EE EE EE EE EE EE EE", ""},
    {"P P2 zz", "EE EE EE EE EE EE EE EE", ""},
    {"P P2", "EE EE EE EE EE EE EE EE", ""},
    {"P P-1 12 P P0 11", "EE EE EE EE EE EE EE EE", "Offset out of range"},
    {"P PA 0102", "EE EE EE EE EE EE EE EE 00 00 01 02", ""},
    {"p 0 11 o 0 1 d z.bin ZAN 7", "EE EE EE EE EE EE EE EE", ""},
};

TEST(PatchCommands, BytesWrittenAndMessages) {
    for (const PatchCase& c : PATCH_CASES) {
        BuildResult result = run_build_in_folder(std::string("0 0 src.bin out.bin\n") + c.script,
                                                 {{"src.bin", std::string(8, '\xEE')}});
        EXPECT_EQ(hex_of(result.destination), c.destination) << c.script;
        EXPECT_EQ(result.messages, c.messages) << c.script;
        EXPECT_EQ(result.status, *c.messages ? 1 : 0) << c.script;
    }
}

}  // namespace
}  // namespace hc::test
