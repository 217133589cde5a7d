// The reader's rules, one row per rule: the script's bytes, the operations
// run over it in order and what each returned.
#include <gtest/gtest.h>

#include <cstdio>

#include "script/script_reader.h"
#include "support.h"

namespace hc::test {
namespace {

// n: next_nonblank, t: read_token, d: read_decimal, h: read_hex,
// w: skip_white_space, l: the place (line:column) of what was read last.
// Results are joined with '|'; tokens stand in
// brackets with bytes outside printable ASCII as \xNN.
std::string show_token(const std::string& token) {
    std::string shown = "[";
    for (unsigned char c : token) {
        if (c >= 0x20 && c < 0x7F) {
            shown.push_back(static_cast<char>(c));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        }
    }
    return shown + "]";
}

std::string run_operations(const std::string& script, const std::string& operations) {
    ScratchFolder folder;
    write_file("conf.txt", script);
    auto reader = std::make_unique<ScriptReader>();
    EXPECT_TRUE(open_script(*reader, "conf.txt"));
    std::string results;
    for (char op : operations) {
        if (!results.empty() && op != 'w') results += "|";
        std::int32_t value = 12345;
        switch (op) {
            case 'n': results += std::to_string(next_nonblank(*reader)); break;
            case 't': results += show_token(read_token(*reader)); break;
            case 'd': results += read_decimal(*reader, value) ? std::to_string(value) : "fail"; break;
            case 'h': results += read_hex(*reader, value) ? std::to_string(value) : "fail"; break;
            case 'w': skip_white_space(*reader); break;
            case 'l': {
                ScriptLocation place = locate(*reader, "conf.txt", reader->Mark);
                results += "@" + std::to_string(place.Line) + ":" +
                           std::to_string(place.Offset - place.LineStart + 1);
                break;
            }
        }
        // A failed read leaves the receiver as it was.
        if ((op == 'd' || op == 'h') && results.ends_with("fail")) {
            EXPECT_EQ(value, 12345);
        }
    }
    close_script(*reader);
    return results;
}

struct ReaderCase {
    const char* rule;
    std::string script;
    const char* operations;
    std::string expected;
};

const std::string CR_AT_BLOCK_END = "\"" + std::string(65534, 'a') + "\r\n\"";

const ReaderCase READER_CASES[] = {
    {"blanks only end the script, and it stays ended", " \t\r\n \n", "nn", "-1|-1"},
    {"blanks before a letter", " \t\r\n\nD", "n", "68"},
    {"VT and FF are not blanks", "\x0b\x0c", "nnn", "11|12|-1"},
    {"0xFF is a character, not the end", "\xff", "nn", "255|-1"},
    {"next_nonblank consumes only its character", "Dfile.bin", "nt", "68|[file.bin]"},
    {"a bare token ends at a blank, which it consumes", "  name.bin  next", "tn", "[name.bin]|110"},
    {"a quoted token holds blanks; the next character is unread", "\"my file.bin\"x", "tn",
     "[my file.bin]|120"},
    {"a quote inside a bare token is a byte", "ab\"cd ef", "t", "[ab\"cd]"},
    {"empty tokens", "\"\"  ", "tt", "[]|[]"},
    {"a line break inside quotes is one LF", "\"a\r\nb\"", "t", "[a\\x0Ab]"},
    {"CR CR LF reads as CR LF", "\"a\r\r\nb\"", "t", "[a\\x0D\\x0Ab]"},
    {"a lone CR stays, also at the very end", "\"a\rb\r", "t", "[a\\x0Db\\x0D]"},
    {"CR LF across the reader's block boundary", CR_AT_BLOCK_END, "tn",
     "[" + std::string(65534, 'a') + "\\x0A]|-1"},
    {"an unclosed quote runs to the end", "\"abc def", "tt", "[abc def]|[]"},
    {"0x1A ends the script", std::string("abc\x1a" "def ghi"), "tn", "[abc]|-1"},
    {"0x1A after a CR ends the script behind the CR", std::string("\"a\r\x1a\"b"), "t",
     "[a\\x0D]"},
    {"a zero byte cuts the token; the rest is dropped", std::string("ab\0cd next", 10), "tn",
     "[ab]|110"},
    {"a token of 999 bytes", std::string(999, 'k'), "t", "[" + std::string(999, 'k') + "]"},
    {"a longer token is held whole", std::string(5000, 'k') + " z", "tn",
     "[" + std::string(5000, 'k') + "]|122"},
    {"decimal with sign; the ending character is next", "  -12x", "dn", "-12|120"},
    {"decimal plus sign and leading zeros", "+7 010", "dd", "7|10"},
    {"decimal wraps modulo 2^32", "4294967297", "d", "1"},
    {"a sign without digits fails and stays consumed", "- 5", "dd", "fail|5"},
    {"decimal: a letter fails and is read next", "x", "dn", "fail|120"},
    {"decimal at the end of the script fails", "   ", "d", "fail"},
    {"hex digits, prefixes and sign", "1f 1F 0x1F 0X1f +1f", "hhhhh", "31|31|31|31|31"},
    {"negative and mixed-case hex", "-10 10D", "hh", "-16|269"},
    {"0 followed by a blank is the number 0", "0 x", "hn", "0|120"},
    {"a prefix without digits fails and stays consumed", "0xg", "hn", "fail|103"},
    {"only the last eight hex digits count", "123456789", "h", "591751049"},
    {"skip_white_space passes VT and FF too", "100\n\n  \x0b\x0c" "200", "hwn", "256|50"},
    {"a number may end the script", "7", "hn", "7|-1"},
    {"white space before a number spans lines; after a number the end stays", "\n\t\x0b 2f", "hh",
     "47|fail"},
    {"places: CR LF is one line break, a lone CR none", "x\r\nyy\rz\n  w", "tltltltl",
     "[x]|@1:1|[yy]|@2:1|[z]|@2:4|[w]|@3:3"},
    {"the end of a last line without a line break", "a\nb\nc", "tltltlnl", "[a]|@1:1|[b]|@2:1|[c]|@3:1|-1|@3:2"},
    {"a byte-order mark at the start is skipped and takes no column", "\xEF\xBB\xBF" "D x", "nltl",
     "68|@1:1|[x]|@1:3"},
    {"a byte-order mark elsewhere is read", "x \xEF\xBB\xBF", "tt", "[x]|[\\xEF\\xBB\\xBF]"},
    {"a number's place is its sign", "  \n  -12", "dl", "-12|@2:3"},
    {"a character handed back keeps its place", "12x", "dnl", "12|120|@1:3"},
    {"the end's place follows the last line break", "ab\n", "tnl", "[ab]|-1|@2:1"},
    {"places across a CR LF split by the reader's block boundary",
     std::string(65535, ' ') + "\r\nq", "nl", "113|@2:1"},
};

TEST(ScriptReader, FollowsEachRule) {
    for (const ReaderCase& c : READER_CASES) {
        EXPECT_EQ(run_operations(c.script, c.operations), c.expected) << c.rule;
    }
}

}  // namespace
}  // namespace hc::test
