// A reader of Windows profile (INI) files that answers as the system's GetPrivateProfileStringA does, on
// the file's bytes in the ANSI code page. The program asks the system; this serves where there is none:
// the fake platform of the engine's tests, the profile fuzz target and the engine benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "repair/Text.h"

namespace profile {

// One file's bytes, asked one question after another as a program asks the system's profile functions:
// the key names of a section, then the value of each key. Like the system, which keeps the file it read
// last, the reader keeps the section it was last asked about, parsed, and after the first value it
// indexes that section's names, so a list of n keys is read in about n steps rather than n times n.
// The bytes and `lead` must outlive the reader and stay unchanged while it is used.
class Reader {
public:
    Reader(std::string_view fileBytes, const text::LeadBytes& lead) : file_(fileBytes), lead_(lead) {}

    // The key names of `section`, as GetPrivateProfileStringA(section, NULL, ...) puts them into a buffer
    // of `bufferSize` bytes: each name followed by a NUL. Returns the bytes that the call reports as
    // copied (its return value), so the text ends in the NUL of the last whole name. When the names do
    // not fit, the last name is cut and the result has bufferSize - 2 bytes. Empty when the section is
    // absent.
    std::string KeyNames(std::string_view section, std::size_t bufferSize);

    // The value of `key` in `section`, as GetPrivateProfileStringA(section, key, defaultValue, ...) puts
    // it into a buffer of `bufferSize` bytes: at most bufferSize - 1 bytes, matching quotes removed.
    std::string Value(std::string_view section, std::string_view key, std::string_view defaultValue,
                      std::size_t bufferSize);

private:
    struct Line {
        std::string_view name;
        std::optional<std::string_view> value;  // absent for a line without "="
    };

    // The lines of the first section named `section`, parsed on the first question about it; null when
    // the file has no such section.
    const std::vector<Line>* Section(std::string_view section);
    // The first line of the kept section whose name is `name`; null when there is none.
    const Line* FirstNamed(std::string_view name);

    std::string_view file_;
    const text::LeadBytes& lead_;

    bool parsed_ = false;
    std::string sectionAsked_;
    bool sectionFound_ = false;
    std::vector<Line> lines_;
    int valuesAsked_ = 0;
    // Each line's name, as a hash of its letters in one case, beside the line's index; sorted, so that
    // the lines of one hash come in file order.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> nameIndex_;
};

// One question each, for a caller that asks only once.
std::string KeyNames(std::string_view fileBytes, std::string_view section, std::size_t bufferSize,
                     const text::LeadBytes& lead);
std::string Value(std::string_view fileBytes, std::string_view section, std::string_view key,
                  std::string_view defaultValue, std::size_t bufferSize, const text::LeadBytes& lead);

}  // namespace profile
