// The application shell's rules that need no window: the title taken from the program file's name, the
// closing "." of error texts, the message dialog's layout arithmetic, the text it copies to the
// clipboard, and the text of the start-up failure box. Byte texts in the ANSI code page throughout.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "repair/Text.h"

namespace ui {

// --- Application title ---------------------------------------------------------------------------------

// Lower-cases a text in place, stepping by characters (the system's CharLowerA on Windows).
using LowerCaseFunction = std::function<void(std::string&)>;

// The title from the program module's path: the part after the last "\" up to its first ".", every
// character after the first lower-cased by `lowerCase`. Both scans step by characters, so a trail byte
// 0x5C is no separator.
std::string TitleFromModulePath(std::string_view modulePath, const text::LeadBytes& lead,
                                const LowerCaseFunction& lowerCase);

// The file name of a path: everything after its last "\" (stepping by characters).
std::string_view FileNameOf(std::string_view path, const text::LeadBytes& lead);

// --- Error box -----------------------------------------------------------------------------------------

// The error box's text: `message` with "." appended when its last character (one or two bytes) compares
// greater than "." byte by byte, unsigned. A text ending in "." or a blank gets nothing, one ending in a
// double-byte character always gets one.
std::string WithClosingDot(std::string_view message, const text::LeadBytes& lead);

// --- Message dialog ------------------------------------------------------------------------------------

// The dialog's units from the message font: X is the width of the 52 letters "A".."Z" "a".."z" drawn as
// one text divided by 52 (rounded down), Y the height of that text.
struct DialogUnits {
    int x = 0;
    int y = 0;
};
DialogUnits UnitsFromAlphabet(int alphabetWidth, int alphabetHeight);

// The letters whose extent gives the dialog units.
inline constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box&) const = default;
};

// What the layout is computed from, all in pixels except the units.
struct MessageMeasures {
    DialogUnits units;
    int textWidth = 0;  // the message laid out with word wrap within half the screen width
    int textHeight = 0;
    int captionWidth = 0;  // the widest button caption, on one line
    int buttonCount = 1;
    int maxClientHeight = 0;  // the most the work area leaves for the client area; 0 for no limit
};

struct MessageLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    Box text;
    std::vector<Box> buttons;
};

// A text taller than the work area leaves room for keeps only the whole lines (of height Y) that fit.
MessageLayout LayOutMessage(const MessageMeasures& measures);

// The width in pixels of a text drawn on one line in the message font.
using TextWidthFunction = std::function<int(std::string_view)>;

// The message as the dialog lays it out: every word (a run without blank, tab or line break) wider
// than `lineWidth` gets a line break (CR LF) between two of its characters wherever the next character
// would make the piece wider, so that word wrap within `lineWidth` never leaves a line wider. A piece
// holds at least one character; a double-byte character is never split. The rest is unchanged.
std::string BreakLongWords(std::string_view message, int lineWidth, const text::LeadBytes& lead,
                           const TextWidthFunction& width);

// What a shortened text shows in place of its middle, and a cut text after its end ("…" and "……").
inline constexpr char kShortened[] = "…";
inline constexpr char kMoreFollows[] = "……";
// A line of the message is shown whole up to this many lines' width.
inline constexpr int kLongestShownLine = 3;

// The message with every line (up to a line break) wider than `maxWidth` shortened in the middle: as
// many of its first characters as fit in half of what "…" leaves, "…", and as many of its last ones as
// fit in the rest. A double-byte character is never split. The rest is unchanged.
std::string ShortenLongLines(std::string_view message, int maxWidth, const text::LeadBytes& lead,
                             const TextWidthFunction& width);

// The height in pixels of a text laid out as the dialog lays it out.
using TextHeightFunction = std::function<int(std::string_view)>;

// The laid-out message when it is no taller than `maxHeight`; otherwise its longest beginning (ending
// between two characters, without a line break at its end) that still fits with "……" after it, and
// "……", so that the last line shown says that more follows.
std::string CutToHeight(std::string_view laidOut, int maxHeight, const text::LeadBytes& lead,
                        const TextHeightFunction& height);

// The text Ctrl+C copies from the dialog: divider, caption, divider, message, divider, the button
// captions without "&" each followed by three blanks, divider; the divider is 27 "-". Lines end in CR LF.
std::string MessageClipboardText(std::string_view caption, std::string_view message,
                                 const std::vector<std::string>& buttonCaptions);

// --- Start-up failure box ------------------------------------------------------------------------------

inline constexpr char kStartupFailureCaption[] = "应用程序错误";
inline constexpr std::size_t kStartupFailureTextLimit = 1023;

// "异常 <class> 发生在模块 <module> 中的 <offset> 位置.\n<text><dot>": the offset as 8 upper-case hex
// digits, "." when the text is not empty and does not end in one; cut at 1023 bytes.
std::string StartupFailureText(std::string_view className, std::string_view moduleName, std::uint32_t offset,
                               std::string_view message);

// The class name a reader writes for the name `typeid(...).name()` gives: "St9bad_alloc" is
// "std::bad_alloc", "NSt8ios_base7failureB5cxx11E" is "std::ios_base::failure[abi:cxx11]". It reads the
// names of classes in namespaces and classes, with ABI tags and the anonymous namespace; empty for any
// other form (a template's instance, a local class), which no error the program raises has.
std::string ClassNameFromTypeName(std::string_view typeName);

}  // namespace ui
