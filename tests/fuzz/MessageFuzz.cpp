// The message dialog's text rules over arbitrary messages, widths and heights: each result is checked
// against what the rule promises (breaks only between two characters of a word, lines shortened around a
// mark that stays whole, a cut text that fits and ends in its mark), with the message's character
// boundaries worked out here by stepping from the start. And the error box's class-name reader against
// the runtime's own demangler, for every name the reader accepts.
//
// Input: [table choice] [line width] [widest line] [height in lines] [height's odd pixels] [bytes a line
// wraps at] type name NUL message...
#include <cxxabi.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "repair/Text.h"
#include "ui/ShellRules.h"

FUZZ_INIT_CHECKS_LITERALS

namespace {

constexpr int kLineHeight = 10;

// A width of its own for every byte value (one to three pixels), summed: a double-byte character is as
// wide as its two bytes.
int Width(std::string_view s) {
    int width = 0;
    for (char c : s) width += 1 + static_cast<unsigned char>(c) % 3;
    return width;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::vector<std::size_t> Boundaries(std::string_view s, const text::LeadBytes& lead) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < s.size(); i = text::NextChar(s, i, lead)) starts.push_back(i);
    starts.push_back(s.size());
    return starts;
}

bool IsBoundary(const std::vector<std::size_t>& starts, std::size_t at) {
    for (std::size_t start : starts) {
        if (start == at) return true;
    }
    return false;
}

// The mark at `at` of `s` is read as its own characters: stepping from the start lands on it, and on each
// of its characters in turn.
bool MarkStaysWhole(std::string_view s, std::size_t at, std::string_view mark, const text::LeadBytes& lead) {
    const std::vector<std::size_t> starts = Boundaries(s, lead);
    const std::vector<std::size_t> own = Boundaries(mark, lead);
    for (std::size_t start : own) {
        if (!IsBoundary(starts, at + start)) return false;
    }
    return true;
}

void CheckBreakLongWords(std::string_view message, int lineWidth, const text::LeadBytes& lead) {
    const std::string laidOut = ui::BreakLongWords(message, lineWidth, lead, Width);
    // Walk both: the laid-out text is the message with CR LF put between two characters of a word. A
    // break put in is followed by a word's character, never by the message's own CR.
    std::size_t i = 0, j = 0, piece = 0;
    bool inWord = false;
    while (j < laidOut.size()) {
        if (i < message.size() && message[i] == laidOut[j]) {
            const std::size_t next = text::NextChar(message, i, lead);
            const bool separator = next == i + 1 && IsSeparator(message[i]);
            if (!inWord && !separator) piece = i;
            inWord = !separator;
            for (; i < next; ++i, ++j) fuzz::Check(message[i] == laidOut[j], "the message's bytes, in order");
            continue;
        }
        fuzz::Check(laidOut.compare(j, 2, "\r\n") == 0, "only CR LF is put in");
        fuzz::Check(inWord && i < message.size() && !IsSeparator(message[i]), "a break put in splits a word");
        fuzz::Check(IsBoundary(Boundaries(message, lead), i), "a break put in lies between two characters");
        const std::size_t next = text::NextChar(message, i, lead);
        fuzz::Check(Width(message.substr(piece, next - piece)) > lineWidth,
                    "a piece ends only where the next character would make it too wide");
        piece = i;
        j += 2;
    }
    fuzz::Check(i == message.size(), "the whole message is laid out");
    // Every run of characters without a separator fits the line, or is a single character.
    const std::vector<std::size_t> starts = Boundaries(laidOut, lead);
    std::size_t runStart = 0, characters = 0;
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        const bool separator = starts[k + 1] == starts[k] + 1 && IsSeparator(laidOut[starts[k]]);
        if (!separator) {
            if (characters++ == 0) runStart = starts[k];
        }
        if (separator || k + 2 == starts.size()) {
            const std::size_t runEnd = separator ? starts[k] : starts[k + 1];
            fuzz::Check(characters <= 1 || Width(laidOut.substr(runStart, runEnd - runStart)) <= lineWidth,
                        "every piece fits the line or is one character");
            characters = 0;
        }
    }
}

// The lines of `s` (up to each LF, without a CR before it) and what separates them.
struct Line {
    std::string_view text;
    std::string_view end;
};
std::vector<Line> Lines(std::string_view s) {
    std::vector<Line> lines;
    for (std::size_t start = 0; start <= s.size();) {
        std::size_t end = s.find('\n', start);
        if (end == std::string_view::npos) end = s.size();
        std::size_t textEnd = end;
        if (textEnd > start && s[textEnd - 1] == '\r') --textEnd;
        lines.push_back(
            {s.substr(start, textEnd - start), s.substr(textEnd, end - textEnd + (end < s.size()))});
        start = end + 1;
    }
    return lines;
}

void CheckShortenLongLines(std::string_view message, int maxWidth, const text::LeadBytes& lead) {
    const std::string shown = ui::ShortenLongLines(message, maxWidth, lead, Width);
    const std::vector<Line> before = Lines(message);
    const std::vector<Line> after = Lines(shown);
    fuzz::Check(before.size() == after.size(), "as many lines as the message");
    const std::string_view mark = ui::kShortened;
    const int room = maxWidth - Width(mark);
    for (std::size_t n = 0; n < before.size() && n < after.size(); ++n) {
        const std::string_view line = before[n].text;
        const std::string_view out = after[n].text;
        fuzz::Check(before[n].end == after[n].end, "line breaks stay");
        if (Width(line) <= maxWidth) {
            fuzz::Check(out == line, "a line that fits stays");
            continue;
        }
        // Some place of the mark makes the line its beginning, the mark and its end.
        const std::vector<std::size_t> starts = Boundaries(line, lead);
        bool found = false;
        for (std::size_t at = out.find(mark); at != std::string_view::npos && !found;
             at = out.find(mark, at + 1)) {
            const std::string_view head = out.substr(0, at);
            const std::string_view tail = out.substr(at + mark.size());
            found = head.size() + tail.size() < line.size() && line.substr(0, head.size()) == head &&
                    line.substr(line.size() - tail.size()) == tail && IsBoundary(starts, head.size()) &&
                    IsBoundary(starts, line.size() - tail.size()) && Width(head) <= std::max(room / 2, 0) &&
                    (tail.empty() || Width(head) + Width(tail) <= room) &&
                    MarkStaysWhole(out, at, mark, lead);
        }
        fuzz::Check(found, "a long line is its beginning, the mark, its end, each within its share");
    }
}

int Height(std::string_view s, std::size_t wrap) {
    int lines = 1;
    for (char c : s) lines += c == '\n';
    if (wrap > 0) lines += static_cast<int>(s.size() / wrap);
    return kLineHeight * lines;
}

void CheckCutToHeight(std::string_view laidOut, int maxHeight, std::size_t wrap,
                      const text::LeadBytes& lead) {
    const auto height = [wrap](std::string_view s) { return Height(s, wrap); };
    const std::string shown = ui::CutToHeight(laidOut, maxHeight, lead, height);
    if (Height(laidOut, wrap) <= maxHeight) {
        fuzz::Check(shown == laidOut, "a text that fits stays");
        return;
    }
    const std::string_view mark = ui::kMoreFollows;
    fuzz::Check(
        shown.size() >= mark.size() && shown.compare(shown.size() - mark.size(), mark.size(), mark) == 0,
        "a cut text ends in the mark");
    const std::string_view kept = std::string_view(shown).substr(0, shown.size() - mark.size());
    fuzz::Check(laidOut.substr(0, kept.size()) == kept, "what is kept is the text's beginning");
    fuzz::Check(IsBoundary(Boundaries(laidOut, lead), kept.size()), "the cut lies between two characters");
    fuzz::Check(kept.empty() || (kept.back() != '\r' && kept.back() != '\n'),
                "no line break before the mark");
    fuzz::Check(MarkStaysWhole(shown, kept.size(), mark, lead), "the mark stays whole");
    fuzz::Check(kept.empty() || Height(shown, wrap) <= maxHeight, "the cut text fits");
    // One character more (past the line breaks and half characters a cut drops) would not fit.
    std::size_t next = kept.size();
    while (next < laidOut.size()) {
        const std::size_t after = text::NextChar(laidOut, next, lead);
        const bool dropped = laidOut[next] == '\r' || laidOut[next] == '\n' ||
                             (after == next + 1 && lead.IsLead(laidOut[next]));
        next = after;
        if (!dropped) {
            fuzz::Check(Height(std::string(laidOut.substr(0, next)) + std::string(mark), wrap) > maxHeight,
                        "the cut keeps as much as fits");
            break;
        }
    }
}

void CheckClassName(std::string_view typeName) {
    const std::string name = ui::ClassNameFromTypeName(typeName);
    if (name.empty()) return;
    int status = 0;
    char* demangled = abi::__cxa_demangle(std::string(typeName).c_str(), nullptr, nullptr, &status);
    const bool same = status == 0 && demangled != nullptr && name == demangled;
    std::free(demangled);
    fuzz::Check(same, "a class name read is the one the runtime's demangler writes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const text::LeadBytes& lead = fuzz::ChooseLead(in.Bit());
    const int lineWidth = 1 + in.Byte() % 64;
    const int widestLine = in.Byte() % 128;
    const int lines = in.Byte() % 16;
    const int maxHeight = kLineHeight * lines + in.Byte() % kLineHeight;
    const std::size_t wrap = in.Byte() % 32;
    CheckClassName(in.Part());
    const std::string message(in.Rest());

    CheckBreakLongWords(message, lineWidth, lead);
    CheckShortenLongLines(message, widestLine, lead);
    CheckCutToHeight(message, maxHeight, wrap, lead);
    return 0;
}
