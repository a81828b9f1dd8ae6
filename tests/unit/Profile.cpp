#include "tests/unit/Profile.h"

#include <algorithm>

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

// A hash (FNV-1a) of the name as SameName sees it: single-byte letters in lower case, double-byte
// characters as they are. Names that SameName takes for one have the same hash.
std::uint64_t NameHash(std::string_view name, const text::LeadBytes& lead) {
    std::uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](char c) { hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull; };
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t next = text::NextChar(name, i, lead);
        if (next - i == 1) {
            add(AsciiLower(name[i]));
        } else {
            for (std::size_t j = i; j < next; ++j) add(name[j]);
        }
        i = next;
    }
    return hash;
}

}  // namespace

const std::vector<Reader::Line>* Reader::Section(std::string_view section) {
    if (parsed_ && SameName(section, sectionAsked_, lead_)) return sectionFound_ ? &lines_ : nullptr;

    parsed_ = true;
    sectionAsked_ = section;
    sectionFound_ = false;
    lines_.clear();
    valuesAsked_ = 0;
    nameIndex_.clear();
    bool inWanted = false;
    std::string_view file = file_;
    while (!file.empty()) {
        const std::size_t eol = file.find('\n');
        std::string_view line = TrimProfileSpace(file.substr(0, eol));
        file.remove_prefix(eol == std::string_view::npos ? file.size() : eol + 1);
        if (line.empty()) continue;

        if (line.front() == '[') {
            // By characters: a trail byte 0x5D is no "]" (the system reads the file as characters too).
            const std::size_t close = text::LastDelimiter(line, "]", lead_);
            if (close != std::string_view::npos) {
                if (sectionFound_) break;  // only the first section of that name counts
                inWanted = SameName(line.substr(1, close - 1), section, lead_);
                sectionFound_ = inWanted;
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
        lines_.push_back(entry);
    }
    return sectionFound_ ? &lines_ : nullptr;
}

const Reader::Line* Reader::FirstNamed(std::string_view name) {
    // A single question is answered by a plain search; the index pays from the second one on.
    if (++valuesAsked_ == 1) {
        for (const Line& line : lines_) {
            if (SameName(line.name, name, lead_)) return &line;
        }
        return nullptr;
    }
    if (nameIndex_.empty() && !lines_.empty()) {
        nameIndex_.reserve(lines_.size());
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            nameIndex_.emplace_back(NameHash(lines_[i].name, lead_), static_cast<std::uint32_t>(i));
        }
        std::sort(nameIndex_.begin(), nameIndex_.end());
    }
    const std::uint64_t hash = NameHash(name, lead_);
    for (auto it = std::lower_bound(nameIndex_.begin(), nameIndex_.end(), std::make_pair(hash, 0u));
         it != nameIndex_.end() && it->first == hash; ++it) {
        const Line& line = lines_[it->second];
        if (SameName(line.name, name, lead_)) return &line;
    }
    return nullptr;
}

std::string Reader::KeyNames(std::string_view section, std::size_t bufferSize) {
    std::string out;
    if (bufferSize < 2) return out;
    const std::vector<Line>* lines = Section(section);
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

std::string Reader::Value(std::string_view section, std::string_view key, std::string_view defaultValue,
                          std::size_t bufferSize) {
    if (bufferSize == 0) return {};
    std::string_view value = defaultValue;
    if (Section(section)) {
        if (const Line* line = FirstNamed(TrimProfileSpace(key))) {
            value = line->value.value_or(std::string_view());
        }
    }
    // Matching single or double quotes around the whole value are removed.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, bufferSize - 1));
}

std::string KeyNames(std::string_view fileBytes, std::string_view section, std::size_t bufferSize,
                     const text::LeadBytes& lead) {
    return Reader(fileBytes, lead).KeyNames(section, bufferSize);
}

std::string Value(std::string_view fileBytes, std::string_view section, std::string_view key,
                  std::string_view defaultValue, std::size_t bufferSize, const text::LeadBytes& lead) {
    return Reader(fileBytes, lead).Value(section, key, defaultValue, bufferSize);
}

}  // namespace profile
