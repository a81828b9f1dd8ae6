// Byte texts in the system's ANSI code page, where single- and double-byte characters mix.
//
// Every search and cut in a path steps by characters, so that the trail byte of a double-byte character
// (in code page 936 it can be 0x5C, the "\") is never taken for a delimiter or for the start of a match.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Which byte values begin a double-byte character. Settled once from the ANSI code page at start.
class LeadBytes {
public:
    // Every byte is a character of its own.
    static LeadBytes SingleByte() { return LeadBytes(); }
    // Code page 936 (Simplified Chinese): lead bytes 0x81 to 0xFE.
    static LeadBytes CodePage936();
    // From the range pairs of the system's code-page information (CPINFO::LeadByte), ending at a 0 pair.
    static LeadBytes FromRanges(const unsigned char* ranges, std::size_t count);

    bool IsLead(char byte) const { return lead_[static_cast<unsigned char>(byte)]; }

private:
    std::array<bool, 256> lead_{};
};

// Index of the character after the one that starts at `pos`. A lead byte at the very end, or before a
// line break (CR or LF), counts alone: a line break is a single byte in every code page, and no trail
// byte is that small. So a line of a text always ends where its line break begins, whatever its last
// byte is.
std::size_t NextChar(std::string_view s, std::size_t pos, const LeadBytes& lead);

// Index of the first byte of the last character of `s`; npos for an empty text.
std::size_t LastCharStart(std::string_view s, const LeadBytes& lead);

// Index of the last character that is one of the single-byte `delimiters`; npos when there is none.
std::size_t LastDelimiter(std::string_view s, std::string_view delimiters, const LeadBytes& lead);

// `path` cut after its last "\" or ":", so that it ends in that delimiter; empty when it has neither.
std::string DirectoryPart(std::string_view path, const LeadBytes& lead);

// Index of the first occurrence of `what` at or after `from` that begins on a character boundary.
// `from` must itself be a character boundary (0, or an index returned by these functions).
std::size_t Find(std::string_view s, std::string_view what, std::size_t from, const LeadBytes& lead);

// `s` without leading and trailing characters up to and including the space (blanks and control characters).
// Such characters are single bytes in every code page, and no trail byte is that small.
std::string_view TrimBlanks(std::string_view s);

// True when `s` ends in a "\" that is a character of its own, not the trail byte of a double-byte character.
bool EndsWithBackslash(std::string_view s, const LeadBytes& lead);

}  // namespace text
