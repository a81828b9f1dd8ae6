// The double-byte text helpers over arbitrary texts, with code page 936, single bytes, or lead-byte
// ranges taken from the input. Each answer is checked against the text's character boundaries, worked
// out here once by stepping from the start.
//
// Input: [table choice] ([range count] ranges...) [from] [delimiter choice] what NUL text...
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "repair/Text.h"

FUZZ_INIT_CHECKS_LITERALS

namespace {

constexpr auto npos = std::string_view::npos;

// The start of every character of `s`.
std::vector<std::size_t> Boundaries(std::string_view s, const text::LeadBytes& lead) {
    std::vector<std::size_t> starts;
    std::size_t i = 0;
    while (i < s.size()) {
        starts.push_back(i);
        const std::size_t next = text::NextChar(s, i, lead);
        fuzz::Check(next == i + 1 || (next == i + 2 && lead.IsLead(s[i])), "a character is one or two bytes");
        fuzz::Check(next <= s.size(), "no character runs past the end");
        i = next;
    }
    fuzz::Check(text::NextChar(s, s.size(), lead) == s.size(), "the end stays the end");
    return starts;
}

bool IsSingleByteChar(std::string_view s, std::size_t at, const text::LeadBytes& lead) {
    return text::NextChar(s, at, lead) == at + 1;
}

void CheckLastDelimiter(std::string_view s, std::string_view delimiters, const text::LeadBytes& lead,
                        const std::vector<std::size_t>& starts) {
    std::size_t expected = npos;
    for (std::size_t at : starts) {
        if (IsSingleByteChar(s, at, lead) && delimiters.find(s[at]) != npos) expected = at;
    }
    fuzz::Check(text::LastDelimiter(s, delimiters, lead) == expected,
                "last delimiter is the last such character");
}

void CheckDirectoryPart(std::string_view s, const text::LeadBytes& lead,
                        const std::vector<std::size_t>& starts) {
    const std::string dir = text::DirectoryPart(s, lead);
    fuzz::Check(s.substr(0, dir.size()) == dir, "directory part is a prefix");
    if (dir.empty()) {
        for (std::size_t at : starts) {
            fuzz::Check(!IsSingleByteChar(s, at, lead) || (s[at] != '\\' && s[at] != ':'),
                        "empty directory part: no delimiter character in the path");
        }
        return;
    }
    const std::size_t cut = dir.size() - 1;
    fuzz::Check(dir.back() == '\\' || dir.back() == ':', "directory part ends in a delimiter");
    bool onBoundary = false;
    for (std::size_t at : starts) {
        if (at == cut) onBoundary = IsSingleByteChar(s, at, lead);
        if (at > cut) {
            fuzz::Check(!IsSingleByteChar(s, at, lead) || (s[at] != '\\' && s[at] != ':'),
                        "no delimiter character after the directory part");
        }
    }
    fuzz::Check(onBoundary, "directory part ends in a character of its own, not a trail byte");
}

void CheckFind(std::string_view s, std::string_view what, std::size_t from, const text::LeadBytes& lead,
               const std::vector<std::size_t>& starts) {
    std::size_t expected = npos;
    if (what.empty()) {
        expected = from;
    } else {
        for (std::size_t at : starts) {
            if (at >= from && s.substr(at, what.size()) == what) {
                expected = at;
                break;
            }
        }
    }
    fuzz::Check(text::Find(s, what, from, lead) == expected, "find answers the first match on a boundary");
}

void CheckTrimBlanks(std::string_view s) {
    const std::string_view t = text::TrimBlanks(s);
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    fuzz::Check(t.empty() || (!blank(t.front()) && !blank(t.back())), "trimmed text has no blank ends");
    fuzz::Check(t.data() >= s.data() && t.data() + t.size() <= s.data() + s.size(), "trimmed text is inside");
    for (const char* p = s.data(); p < t.data(); ++p) fuzz::Check(blank(*p), "only blanks cut at the front");
    for (const char* p = t.data() + t.size(); p < s.data() + s.size(); ++p) {
        fuzz::Check(blank(*p), "only blanks cut at the back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t table = in.Byte() % 3;
    text::LeadBytes fromRanges = text::LeadBytes::SingleByte();
    if (table == 2) {
        // Ranges as GetCPInfo gives them, possibly ill-formed: reversed, odd count, no terminating pair.
        const std::string_view ranges = in.Text();
        fromRanges =
            text::LeadBytes::FromRanges(reinterpret_cast<const unsigned char*>(ranges.data()), ranges.size());
    }
    const text::LeadBytes& lead = table == 2 ? fromRanges : fuzz::ChooseLead(table == 1);
    const std::uint8_t fromChoice = in.Byte();
    const std::uint8_t delimiterChoice = in.Byte();
    const std::string what(in.Part());
    const std::string s(in.Rest());

    const std::vector<std::size_t> starts = Boundaries(s, lead);
    const std::size_t last = text::LastCharStart(s, lead);
    fuzz::Check(last == (starts.empty() ? npos : starts.back()), "last character start");
    fuzz::Check(text::EndsWithBackslash(s, lead) == (last != npos && last + 1 == s.size() && s[last] == '\\'),
                "ends with a backslash of its own");

    static const char* const kDelimiterSets[] = {"\\:", "\\", ":", "", "\\:/.\x81"};
    CheckLastDelimiter(s, kDelimiterSets[delimiterChoice % 5], lead, starts);
    CheckDirectoryPart(s, lead, starts);

    // Find is only ever started on a boundary, or at the very end.
    const std::size_t from = fromChoice % (starts.size() + 1) < starts.size()
                                 ? starts[fromChoice % (starts.size() + 1)]
                                 : s.size();
    CheckFind(s, what, from, lead, starts);
    CheckTrimBlanks(s);
    return 0;
}
