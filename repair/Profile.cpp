#include "repair/Profile.h"

#include <optional>
#include <vector>

namespace profile {
namespace {

// White space as the system's profile reader knows it: the ASCII spaces and the end-of-file mark.
bool IsProfileSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string_view TrimProfileSpace(std::string_view s) {
    while (!s.empty() && IsProfileSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsProfileSpace(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names match without regard to letter case; double-byte characters match exactly.
bool SameName(std::string_view a, std::string_view b, const text::LeadBytes& lead) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t next = text::NextChar(a, i, lead);
        if (next - i == 1) {
            if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
        } else if (a.compare(i, next - i, b.substr(i, next - i)) != 0) {
            return false;
        }
        i = next;
    }
    return true;
}

struct Line {
    std::string_view name;
    std::optional<std::string_view> value;  // absent for a line without "="
};

// The lines of the first section named `section`; nullopt when there is none.
std::optional<std::vector<Line>> SectionLines(std::string_view file, std::string_view section,
                                              const text::LeadBytes& lead) {
    std::optional<std::vector<Line>> found;
    bool inWanted = false;
    while (!file.empty()) {
        const std::size_t eol = file.find('\n');
        std::string_view line = TrimProfileSpace(file.substr(0, eol));
        file.remove_prefix(eol == std::string_view::npos ? file.size() : eol + 1);
        if (line.empty()) continue;

        if (line.front() == '[') {
            // By characters: a trail byte 0x5D is no "]" (the system reads the file as characters too).
            const std::size_t close = text::LastDelimiter(line, "]", lead);
            if (close != std::string_view::npos) {
                if (found) break;  // only the first section of that name counts
                inWanted = SameName(line.substr(1, close - 1), section, lead);
                if (inWanted) found.emplace();
                continue;
            }
        }
        if (!inWanted) continue;

        Line entry;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            entry.name = line;
        } else {
            entry.name = TrimProfileSpace(line.substr(0, equals));
            entry.value = TrimProfileSpace(line.substr(equals + 1));
        }
        found->push_back(entry);
    }
    return found;
}

}  // namespace

std::string KeyNames(std::string_view fileBytes, std::string_view section, std::size_t bufferSize,
                     const text::LeadBytes& lead) {
    std::string out;
    if (bufferSize < 2) return out;
    const auto lines = SectionLines(fileBytes, section, lead);
    if (!lines) return out;

    std::size_t room = bufferSize;
    for (const Line& line : *lines) {
        if (room <= 2) break;
        // Comments and lines without "=" are not listed as keys.
        if (line.name.empty() || line.name.front() == ';' || !line.value) continue;
        const std::string_view copied = line.name.substr(0, room - 2);
        out.append(copied);
        out.push_back('\0');
        room -= copied.size() + 1;
        if (room < 2) break;
    }
    if (room <= 1) out.resize(bufferSize - 2);  // cut short: the last name loses its terminator
    return out;
}

std::string Value(std::string_view fileBytes, std::string_view section, std::string_view key,
                  std::string_view defaultValue, std::size_t bufferSize, const text::LeadBytes& lead) {
    if (bufferSize == 0) return {};
    std::string_view value = defaultValue;
    if (const auto lines = SectionLines(fileBytes, section, lead)) {
        const std::string_view wanted = TrimProfileSpace(key);
        for (const Line& line : *lines) {
            if (!SameName(line.name, wanted, lead)) continue;
            value = line.value.value_or(std::string_view());
            break;
        }
    }
    // Matching single or double quotes around the whole value are removed.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, bufferSize - 1));
}

}  // namespace profile
