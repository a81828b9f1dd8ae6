#include "ui/ShellRules.h"

#include <gtest/gtest.h>

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <ios>
#include <new>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

namespace {

using text::LeadBytes;

// Lower-cases ASCII letters only and leaves double-byte characters whole, as CharLowerA does for them.
void LowerAscii936(std::string& s) {
    const LeadBytes lead = LeadBytes::CodePage936();
    for (std::size_t i = 0; i < s.size(); i = text::NextChar(s, i, lead)) {
        if (text::NextChar(s, i, lead) == i + 1)
            s[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    }
}

constexpr char kTrail5C[] = "淺";        // 9C 5C: trail byte "\"
constexpr char kTrail2E[] = "\x81\x2E";  // no such character in code page 936: a lead byte before "."

TEST(ApplicationTitle, FromModulePath) {
    ASSERT_EQ(std::string(kTrail5C), "\x9C\\");
    const std::string t = kTrail5C;
    struct Case {
        const char* name;
        std::string path;
        std::string title;
    };
    const Case cases[] = {
        {"cut at first dot", "C:\\Tools\\REPAIR.V2.EXE", "Repair"},
        {"plain exe", "C:\\MdacRepair.exe", "Mdacrepair"},
        {"no dot stays whole", "C:\\Dir.x\\PROGRAM", "Program"},
        {"dot in a folder is no cut", "C:\\a.b\\Tool.exe", "Tool"},
        {"no directory", "ABC.exe", "Abc"},
        {"first character keeps its case", "C:\\aBC.EXE", "abc"},
        {"trail 5C is no separator", "C:\\" + t + "Tool.EXE", t + "tool"},
        {"trail 5C as last before dot", "C:\\X" + t + ".EXE", "X" + t},
        {"double-byte first, then letters", "D:\\修复TOOL.exe", "修复tool"},
        {"empty name", "C:\\Dir\\.exe", ""},
        {"empty path", "", ""},
    };
    const LeadBytes cp936 = LeadBytes::CodePage936();
    for (const Case& c : cases) {
        EXPECT_EQ(ui::TitleFromModulePath(c.path, cp936, LowerAscii936), c.title) << c.name;
    }
    // On a single-byte system the same bytes are split at the "\" of the trail byte.
    EXPECT_EQ(ui::TitleFromModulePath("C:\\" + t + "Tool.EXE", LeadBytes::SingleByte(), LowerAscii936),
              "Tool");
    // A lead byte followed by "." is one character: the dot inside it cuts nothing.
    EXPECT_EQ(ui::TitleFromModulePath(std::string("C:\\AB") + kTrail2E + "C.EXE", cp936, LowerAscii936),
              std::string("Ab") + kTrail2E + "c");
}

TEST(ErrorBox, ClosingDotByLastCharacter) {
    struct Case {
        const char* name;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"letter", "Access denied", "Access denied."},
        {"digit", "code 3", "code 3."},
        {"dot", "Done.", "Done."},
        {"blank", "trailing ", "trailing "},
        {"closing parenthesis is below '.'", "(x)", "(x)"},
        {"hyphen is below '.'", "a-", "a-"},
        {"slash is above '.'", "a/", "a/."},
        {"double-byte ending", "TProgressBar 属性超界", "TProgressBar 属性超界."},
        {"double-byte ending with trail 5C", std::string("x") + kTrail5C, std::string("x") + kTrail5C + "."},
        {"empty", "", ""},
    };
    const LeadBytes cp936 = LeadBytes::CodePage936();
    for (const Case& c : cases) EXPECT_EQ(ui::WithClosingDot(c.text, cp936), c.shown) << c.name;
    // Read byte by byte, a lead byte followed by "." ends in "."; read by characters it is above ".".
    EXPECT_EQ(ui::WithClosingDot(kTrail2E, LeadBytes::SingleByte()), kTrail2E);
    EXPECT_EQ(ui::WithClosingDot(kTrail2E, cp936), std::string(kTrail2E) + ".");
}

TEST(MessageDialog, Layout) {
    struct Case {
        const char* name;
        int alphabetWidth, alphabetHeight, textWidth, textHeight, captionWidth;
        int clientWidth, clientHeight;
        ui::Box text, button;
        int maxClientHeight = 0;
    };
    // X = 7 (364/52), Y = 13: margins 14 and 13, spacing 16, button 88 x 23 (50*7/4 = 87.5 rounds up).
    // X = 6 (337/52 = 6.48 rounds down), Y = 12: margins 12 and 12, spacing 15, button 75 x 21.
    const Case cases[] = {
        {"short text: the button row is wider",
         364,
         13,
         48,
         13,
         24,
         88 + 28,
         13 + 23 + 16 + 26,
         {14, 13, 48, 13},
         {14, 13 + 13 + 16, 88, 23}},
        {"long text: the row is centred",
         364,
         13,
         300,
         39,
         24,
         300 + 28,
         39 + 23 + 16 + 26,
         {14, 13, 300, 39},
         {(328 - 88) / 2, 39 + 13 + 16, 88, 23}},
        {"wide caption widens the button",
         364,
         13,
         48,
         13,
         90,
         98 + 28,
         13 + 23 + 16 + 26,
         {14, 13, 48, 13},
         {14, 42, 98, 23}},
        {"unit X rounds down",
         337,
         12,
         200,
         24,
         24,
         224,
         24 + 21 + 15 + 24,
         {12, 12, 200, 24},
         {(224 - 75) / 2, 24 + 12 + 15, 75, 21}},
        {"text that just fits the screen stays whole",
         364,
         13,
         300,
         39,
         24,
         328,
         39 + 65,
         {14, 13, 300, 39},
         {(328 - 88) / 2, 39 + 13 + 16, 88, 23},
         39 + 65},
        {"text taller than the screen keeps the whole lines that fit (935 / 13 = 71)",
         364,
         13,
         300,
         2600,
         24,
         328,
         71 * 13 + 65,
         {14, 13, 300, 71 * 13},
         {(328 - 88) / 2, 71 * 13 + 13 + 16, 88, 23},
         1000},
    };
    for (const Case& c : cases) {
        ui::MessageMeasures m;
        m.units = ui::UnitsFromAlphabet(c.alphabetWidth, c.alphabetHeight);
        m.textWidth = c.textWidth;
        m.textHeight = c.textHeight;
        m.captionWidth = c.captionWidth;
        m.maxClientHeight = c.maxClientHeight;
        const ui::MessageLayout layout = ui::LayOutMessage(m);
        EXPECT_EQ(layout.clientWidth, c.clientWidth) << c.name;
        EXPECT_EQ(layout.clientHeight, c.clientHeight) << c.name;
        EXPECT_EQ(layout.text, c.text) << c.name;
        ASSERT_EQ(layout.buttons.size(), 1u) << c.name;
        EXPECT_EQ(layout.buttons[0], c.button) << c.name;
    }
}

TEST(MessageDialog, WordsLongerThanTheLineBreakBetweenCharacters) {
    struct Case {
        const char* name;
        std::string message;
        int lineWidth;
        std::string laidOut;
    };
    // One pixel a byte: a double-byte character is two wide.
    const Case cases[] = {
        {"words that fit stay, even one as wide as the line", "ab cdef\r\ng", 4, "ab cdef\r\ng"},
        {"a longer word is cut where the line ends", "abcdefghij", 4, "abcd\r\nefgh\r\nij"},
        {"only the long word, separators kept", "x\tabcdef\r\ny z", 4, "x\tabcd\r\nef\r\ny z"},
        {"double-byte word, between characters", "修复完毕文件", 4, "修复\r\n完毕\r\n文件"},
        {"mixed: a character that would cross the line begins the next piece", "a修复b", 4, "a修\r\n复b"},
        {"a character wider than the line stands alone", "修复", 1, "修\r\n复"},
        {"trail byte 5C stays with its character", std::string("ab") + kTrail5C + kTrail5C, 3,
         std::string("ab\r\n") + kTrail5C + "\r\n" + kTrail5C},
        {"empty", "", 4, ""},
    };
    const auto bytes = [](std::string_view piece) { return static_cast<int>(piece.size()); };
    for (const Case& c : cases) {
        EXPECT_EQ(ui::BreakLongWords(c.message, c.lineWidth, LeadBytes::CodePage936(), bytes), c.laidOut)
            << c.name;
    }
    // Read byte by byte, the same word is cut inside its characters.
    EXPECT_EQ(ui::BreakLongWords("a修复b", 4, LeadBytes::SingleByte(), bytes),
              "a\xD0\xDE\xB8\r\n\xB4"
              "b");
}

// What the dialog shows of a message too long to read whole: a line wider than the limit shortened in
// the middle, a text taller than the room cut with "……" after the last characters that fit.
TEST(MessageDialog, LongLinesShortenedAndTallTextsCut) {
    struct Case {
        const char* name;
        std::string message;
        int limit;  // the widest line for ShortenLongLines, the greatest height for CutToHeight
        std::string shown;
    };
    // One pixel a byte ("…" is two wide); ten pixels a line.
    const auto bytes = [](std::string_view piece) { return static_cast<int>(piece.size()); };
    const auto lines = [](std::string_view text) {
        return 10 * static_cast<int>(1 + std::count(text.begin(), text.end(), '\n'));
    };
    const Case shortened[] = {
        {"lines that fit stay", "abcdefgh\r\nxy", 8, "abcdefgh\r\nxy"},
        {"a long key keeps its start and end", "修复完毕\r\nabcdefghijkl\r\n另有 3", 8,
         "修复完毕\r\nabc…jkl\r\n另有 3"},
        {"double-byte characters stay whole", "修复完毕文件列表", 8, "修…列表"},
        {"the last line, after a bare line break", "x\nabcdefghijkl", 8, "x\nabc…jkl"},
        {"trail byte 5C stays with its character", std::string("ab") + kTrail5C + "cdef" + kTrail5C, 8,
         std::string("ab…ef") + kTrail5C},
    };
    for (const Case& c : shortened) {
        EXPECT_EQ(ui::ShortenLongLines(c.message, c.limit, LeadBytes::CodePage936(), bytes), c.shown)
            << c.name;
    }
    const Case cut[] = {
        {"a text that fits stays", "a\r\nb\r\nc", 30, "a\r\nb\r\nc"},
        {"the last line shown says that more follows", "a\r\nb\r\nc\r\nd", 30, "a\r\nb\r\nc……"},
        {"cut between double-byte characters, no line break before the mark", "修复\r\n完毕\r\n文件", 20,
         "修复\r\n完毕……"},
        {"no room for a line: the mark alone", "a\r\nb", 5, "……"},
        {"cut at a lone lead byte: the half character goes, the mark stays whole", "a\x9C\r\nb\r\nc", 10,
         "a……"},
    };
    for (const Case& c : cut) {
        EXPECT_EQ(ui::CutToHeight(c.message, c.limit, LeadBytes::CodePage936(), lines), c.shown) << c.name;
    }
}

TEST(MessageDialog, TwoButtonsAreSpacedAndCentred) {
    ui::MessageMeasures m;
    m.units = {8, 16};  // button 100 x 28, spacing 8, margins 16
    m.textWidth = 400;
    m.textHeight = 16;
    m.captionWidth = 10;
    m.buttonCount = 2;
    const ui::MessageLayout layout = ui::LayOutMessage(m);
    ASSERT_EQ(layout.buttons.size(), 2u);
    EXPECT_EQ(layout.clientWidth, 432);
    EXPECT_EQ(layout.buttons[0], (ui::Box{(432 - 208) / 2, 16 + 16 + 20, 100, 28}));
    EXPECT_EQ(layout.buttons[1].left, layout.buttons[0].left + 108);
}

TEST(MessageDialog, ClipboardText) {
    const std::string divider = "---------------------------\r\n";
    ASSERT_EQ(divider.size(), 29u);
    struct Case {
        const char* name;
        std::string caption, message;
        std::vector<std::string> buttons;
        std::string copied;
    };
    const Case cases[] = {
        {"completion message",
         "Mdacrepair",
         "修复完毕",
         {"确定"},
         divider + "Mdacrepair\r\n" + divider + "修复完毕\r\n" + divider + "确定   \r\n" + divider},
        {"ampersands leave the captions only",
         "T&t",
         "a&b\r\nc",
         {"&Yes", "N&o&"},
         divider + "T&t\r\n" + divider + "a&b\r\nc\r\n" + divider + "Yes   No   \r\n" + divider},
        {"empty message",
         "T",
         "",
         {"确定"},
         divider + "T\r\n" + divider + "\r\n" + divider + "确定   \r\n" + divider},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ui::MessageClipboardText(c.caption, c.message, c.buttons), c.copied) << c.name;
    }
}

TEST(StartupFailure, Text) {
    struct Case {
        const char* name;
        std::string className, module;
        std::uint32_t offset;
        std::string message, text;
    };
    const Case cases[] = {
        {"design error", "EReadError", "MdacRepair.exe", 0x1A2B, "读错误 Timer1.OnTimer: 可用的计时器不足",
         "异常 EReadError 发生在模块 MdacRepair.exe 中的 00001A2B 位置.\n读错误 Timer1.OnTimer: "
         "可用的计时器不足."},
        {"text ending in a dot", "E", "m.exe", 0xFFFFF000, "Done.",
         "异常 E 发生在模块 m.exe 中的 FFFFF000 位置.\nDone."},
        {"empty text gets no dot", "E", "m.exe", 0xABCDEF, "",
         "异常 E 发生在模块 m.exe 中的 00ABCDEF 位置.\n"},
        {"a blank still gets a dot here", "E", "m.exe", 0, "x ",
         "异常 E 发生在模块 m.exe 中的 00000000 位置.\nx ."},
        {"every hex digit", "E", "m.exe", 0x3456789A, "x", "异常 E 发生在模块 m.exe 中的 3456789A 位置.\nx."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ui::StartupFailureText(c.className, c.module, c.offset, c.message), c.text) << c.name;
    }
}

namespace shown {
struct Error {
    struct Inner {};
};
}  // namespace shown
struct LocalError {};
template <typename T>
struct TemplateError {};

// The start-up box names an error's class as the C++ runtime's demangler does, for every class an error of
// the program can have; other forms are not read.
TEST(StartupFailure, ClassName) {
    const std::type_info* const read[] = {&typeid(std::bad_alloc),
                                          &typeid(std::bad_array_new_length),
                                          &typeid(std::length_error),
                                          &typeid(std::out_of_range),
                                          &typeid(std::logic_error),
                                          &typeid(std::invalid_argument),
                                          &typeid(std::runtime_error),
                                          &typeid(std::system_error),
                                          &typeid(std::ios_base::failure),
                                          &typeid(std::bad_function_call),
                                          &typeid(std::bad_cast),
                                          &typeid(std::exception),
                                          &typeid(shown::Error),
                                          &typeid(shown::Error::Inner),
                                          &typeid(LocalError)};
    for (const std::type_info* type : read) {
        int status = -1;
        char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        ASSERT_EQ(status, 0) << type->name();
        const std::string expected = demangled;
        std::free(demangled);
        EXPECT_EQ(ui::ClassNameFromTypeName(type->name()), expected) << type->name();
    }
    for (const char* unread : {typeid(TemplateError<int>).name(), "", "N", "NE", "St", "9bad", "9bad_allocE",
                               "N3fooE3bar", "3foo3bar", "N3foo", "0a", "N3fooB", "99999999999999999999a"}) {
        EXPECT_EQ(ui::ClassNameFromTypeName(unread), "") << unread;
    }
}

TEST(StartupFailure, TextIsCutAt1023Bytes) {
    const std::string head = ui::StartupFailureText("E", "m.exe", 0, "");
    for (std::size_t length : {1023 - head.size() - 1, 1023 - head.size(), 2000 - head.size()}) {
        const std::string message(length, 'x');
        const std::string text = ui::StartupFailureText("E", "m.exe", 0, message);
        const std::string whole = head + message + ".";
        EXPECT_EQ(text, whole.substr(0, 1023)) << length;
    }
    EXPECT_EQ(ui::StartupFailureText("E", "m.exe", 0, std::string(2000, 'x')).size(), 1023u);
    EXPECT_EQ(ui::StartupFailureText("E", "m.exe", 0, std::string(1023 - head.size() - 1, 'x')).back(), '.');
}

}  // namespace
