#include "repair/Text.h"

#include <gtest/gtest.h>

namespace {

using text::LeadBytes;
constexpr auto npos = std::string_view::npos;

// "淺" is 9C 5C in code page 936: its trail byte is the "\".
constexpr char kTrail5C[] = "淺";

TEST(LeadBytes, CodePage936RangeAndSingleByte) {
    const LeadBytes cp936 = LeadBytes::CodePage936();
    EXPECT_FALSE(cp936.IsLead('\x80'));
    EXPECT_TRUE(cp936.IsLead('\x81'));
    EXPECT_TRUE(cp936.IsLead('\xFE'));
    EXPECT_FALSE(cp936.IsLead('\xFF'));
    EXPECT_FALSE(cp936.IsLead('\\'));
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(LeadBytes::SingleByte().IsLead(static_cast<char>(b)));
}

TEST(LeadBytes, FromRangesStopsAtZeroPair) {
    const unsigned char ranges[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0, 0x20, 0x30};  // code page 932's ranges
    const LeadBytes lead = LeadBytes::FromRanges(ranges, sizeof ranges);
    EXPECT_TRUE(lead.IsLead('\x81'));
    EXPECT_TRUE(lead.IsLead('\x9F'));
    EXPECT_FALSE(lead.IsLead('\xA0'));
    EXPECT_TRUE(lead.IsLead('\xFC'));
    EXPECT_FALSE(lead.IsLead('\x25'));  // after the terminating pair
}

TEST(Text, TrailByte5CIsNeverADelimiter) {
    ASSERT_EQ(std::string(kTrail5C), "\x9C\\");
    const LeadBytes cp936 = LeadBytes::CodePage936();
    const LeadBytes single = LeadBytes::SingleByte();
    struct Case {
        const char* name;
        std::string path;
        std::size_t lastDelimiter936;
        std::size_t lastDelimiterSingle;
    };
    const std::string trail = kTrail5C;
    const Case cases[] = {
        {"plain", "C:\\a\\b", 4, 4},
        {"drive only", "C:file", 1, 1},
        {"none", "file", npos, npos},
        {"trail byte at end", "C:\\dir" + trail, 2, 7},
        {"trail byte then name", "C:" + trail + "x", 1, 3},
        {"real separator after trail", "C:\\" + trail + "\\x", 5, 5},
        {"lead byte cut at end", std::string("C:\\a\x9C"), 2, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::LastDelimiter(c.path, "\\:", cp936), c.lastDelimiter936) << c.name;
        EXPECT_EQ(text::LastDelimiter(c.path, "\\:", single), c.lastDelimiterSingle) << c.name;
    }
    EXPECT_FALSE(text::EndsWithBackslash("C:\\dir" + trail, cp936));
    EXPECT_TRUE(text::EndsWithBackslash("C:\\dir" + trail, single));
    EXPECT_TRUE(text::EndsWithBackslash("C:\\dir" + trail + "\\", cp936));
    EXPECT_FALSE(text::EndsWithBackslash("", cp936));
}

TEST(Text, FindStartsMatchesOnlyOnCharacterBoundaries) {
    const LeadBytes cp936 = LeadBytes::CodePage936();
    struct Case {
        const char* name;
        std::string haystack;
        std::string needle;
        std::size_t from;
        std::size_t expected;
    };
    const Case cases[] = {
        {"at start", "路径x", "路径", 0, 0},
        {"after ascii", "ab路径", "路径", 0, 2},
        {"second occurrence", "路径路径", "路径", 4, 4},
        // The bytes of "路径" stand from index 1, which is the trail byte of the character C2 C2.
        {"match on a trail byte", "\xC2\xC2\xB7\xBE\xB6", "\xC2\xB7\xBE\xB6", 0, npos},
        {"not found", "abc", "路径", 0, npos},
        {"empty needle", "abc", "", 1, 1},
        {"needle longer", "a", "abc", 0, npos},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::Find(c.haystack, c.needle, c.from, cp936), c.expected) << c.name;
    }
    // Single-byte code page: every byte is a boundary.
    EXPECT_EQ(text::Find("\xC2\xC2\xB7\xBE\xB6", "\xC2\xB7\xBE\xB6", 0, LeadBytes::SingleByte()), 1u);
}

TEST(Text, TrimBlanksRemovesEverythingUpToSpace) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {" W7 ", "W7"}, {"\t\r\nW7\x01", "W7"}, {"", ""}, {"   ", ""}, {"X P", "X P"}, {"\x7FW7", "\x7FW7"},
    };
    for (const Case& c : cases) EXPECT_EQ(text::TrimBlanks(c.in), c.out) << "[" << c.in << "]";
}

TEST(Text, NextCharAndLastCharStart) {
    const LeadBytes cp936 = LeadBytes::CodePage936();
    const std::string s = "a路\x9C";  // ends in a lone lead byte
    EXPECT_EQ(text::NextChar(s, 0, cp936), 1u);
    EXPECT_EQ(text::NextChar(s, 1, cp936), 3u);
    EXPECT_EQ(text::NextChar(s, 3, cp936), 4u);
    EXPECT_EQ(text::LastCharStart(s, cp936), 3u);
    EXPECT_EQ(text::LastCharStart("a路", cp936), 1u);
    EXPECT_EQ(text::LastCharStart("", cp936), npos);
    // A lead byte before a line break ends there too: the line break stays a character of its own.
    EXPECT_EQ(text::NextChar("\x9C\r\n", 0, cp936), 1u);
    EXPECT_EQ(text::NextChar("\x9C\n", 0, cp936), 1u);
    EXPECT_EQ(text::LastCharStart("a\x9C\r", cp936), 2u);
}

}  // namespace
