// The portable profile reader over arbitrary file bytes: section, key and buffer sizes come from the
// input too, tiny buffers included. Checks what the system's reader guarantees of its answers.
//
// Input: [flags][key-names buffer size][value buffer size] section NUL key NUL file bytes...
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "repair/FileList.h"
#include "tests/unit/Profile.h"

FUZZ_INIT_CHECKS_LITERALS

namespace {

// `name` with the letter case of its single-byte letters turned over; double-byte characters, whose
// trail bytes may be letters too, stay as they are.
std::string OtherCase(std::string_view name, const text::LeadBytes& lead) {
    std::string out(name);
    for (std::size_t i = 0; i < out.size(); i = text::NextChar(out, i, lead)) {
        if (text::NextChar(out, i, lead) != i + 1) continue;
        const char c = out[i];
        if (c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// `s` with every double-byte character whose trail byte is "[" or "]" turned into one whose trail byte
// is 0xA1 or 0xA2, line by line. A reader that steps by characters cannot tell the two texts apart:
// brackets that are trail bytes must never count as brackets.
std::string WithoutBracketTrails(std::string_view s, const text::LeadBytes& lead) {
    std::string out(s);
    std::size_t lineStart = 0;
    while (lineStart < out.size()) {
        const std::size_t lineEnd = std::min(out.find('\n', lineStart), out.size());
        const std::string_view line = std::string_view(out).substr(lineStart, lineEnd - lineStart);
        for (std::size_t i = 0; i < line.size(); i = text::NextChar(line, i, lead)) {
            if (text::NextChar(line, i, lead) != i + 2) continue;
            char& trail = out[lineStart + i + 1];
            if (trail == '[') trail = '\xA1';
            if (trail == ']') trail = '\xA2';
        }
        lineStart = lineEnd + 1;
    }
    return out;
}

// The reader's answers do not change when bracket trail bytes are replaced (double-byte tables only).
void CheckBracketTrailsIgnored(std::string_view file, std::string_view section, std::string_view key,
                               const text::LeadBytes& lead) {
    // The replacement must not make two different texts equal: skip inputs that hold its bytes already.
    for (std::string_view s : {file, section, key}) {
        if (s.find_first_of("\xA1\xA2") != std::string_view::npos) return;
    }
    const auto n = [&](std::string_view s) { return WithoutBracketTrails(s, lead); };
    const std::size_t big = file.size() + 3;  // no cut can split a character

    std::vector<std::string> expected = repair::SplitKeyNames(profile::KeyNames(file, section, big, lead));
    for (std::string& name : expected) name = n(name);
    fuzz::Check(repair::SplitKeyNames(profile::KeyNames(n(file), n(section), big, lead)) == expected,
                "key names do not depend on bracket trail bytes");
    fuzz::Check(profile::Value(n(file), n(section), n(key), "", big, lead) ==
                    n(profile::Value(file, section, key, "", big, lead)),
                "values do not depend on bracket trail bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.Byte();
    const text::LeadBytes& lead = fuzz::ChooseLead(flags & 1);
    // Mostly small buffers, where the cutting happens; sometimes the program's own sizes.
    const std::size_t namesSize = (flags & 2) ? repair::kKeyNamesBufferSize : in.Byte();
    const std::size_t valueSize = (flags & 4) ? repair::kValueBufferSize : in.Byte();
    // Half the time the program's own section, so the list's lines are reached without guessing it.
    std::string section(in.Part());
    if (flags & 8) section = repair::kFileListSection;
    const std::string key(in.Part());
    const std::string_view file = in.Rest();

    const std::string names = profile::KeyNames(file, section, namesSize, lead);
    // The buffer also holds the NUL that ends the whole list.
    fuzz::Check(names.size() <= (namesSize < 2 ? 0 : namesSize - 2), "key names fit the buffer");
    fuzz::Check(names.empty() || names.size() == namesSize - 2 || names.back() == '\0',
                "key names end in a NUL unless cut short");

    // A smaller buffer holds the start of what a buffer large enough for every name holds.
    const std::string all = profile::KeyNames(file, section, file.size() + 3, lead);
    fuzz::Check(all.empty() || all.back() == '\0', "a large enough buffer holds whole names");
    fuzz::Check(names == std::string_view(all).substr(0, namesSize < 2 ? 0 : namesSize - 2),
                "a small buffer holds the start of the whole list");
    fuzz::Check(profile::KeyNames(file, OtherCase(section, lead), namesSize, lead) == names,
                "sections match without regard to letter case");

    const std::string value = profile::Value(file, section, key, "default", valueSize, lead);
    fuzz::Check(profile::Value(file, OtherCase(section, lead), OtherCase(key, lead), "default", valueSize,
                               lead) == value,
                "keys match without regard to letter case");
    fuzz::Check(value.size() + 1 <= valueSize || (valueSize == 0 && value.empty()), "value fits the buffer");
    fuzz::Check(value.find('\n') == std::string::npos, "a value is one line");

    if (flags & 1) CheckBracketTrailsIgnored(file, section, key, lead);

    // Every listed name reads back its value without trouble; the program reads them all this way.
    for (const std::string& name : repair::SplitKeyNames(names)) {
        fuzz::Check(!name.empty(), "no empty names are listed");
        fuzz::Check(name.find('\0') == std::string::npos, "names hold no NUL");
        profile::Value(file, section, name, "", repair::kValueBufferSize, lead);
    }
    return 0;
}
