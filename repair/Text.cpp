#include "repair/Text.h"

namespace text {

LeadBytes LeadBytes::CodePage936() {
    const unsigned char range[] = {0x81, 0xFE, 0, 0};
    return FromRanges(range, sizeof range);
}

LeadBytes LeadBytes::FromRanges(const unsigned char* ranges, std::size_t count) {
    LeadBytes table;
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        if (ranges[i] == 0 && ranges[i + 1] == 0) break;
        for (unsigned b = ranges[i]; b <= ranges[i + 1] && b < 256; ++b) table.lead_[b] = true;
    }
    return table;
}

std::size_t NextChar(std::string_view s, std::size_t pos, const LeadBytes& lead) {
    if (pos >= s.size()) return s.size();
    if (lead.IsLead(s[pos]) && pos + 1 < s.size() && s[pos + 1] != '\r' && s[pos + 1] != '\n') return pos + 2;
    return pos + 1;
}

std::size_t LastCharStart(std::string_view s, const LeadBytes& lead) {
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i = NextChar(s, i, lead)) last = i;
    return last;
}

std::size_t LastDelimiter(std::string_view s, std::string_view delimiters, const LeadBytes& lead) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i = NextChar(s, i, lead)) {
        const bool single = NextChar(s, i, lead) == i + 1;
        if (single && delimiters.find(s[i]) != std::string_view::npos) found = i;
    }
    return found;
}

std::string DirectoryPart(std::string_view path, const LeadBytes& lead) {
    const std::size_t cut = LastDelimiter(path, "\\:", lead);
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::size_t Find(std::string_view s, std::string_view what, std::size_t from, const LeadBytes& lead) {
    if (what.empty()) return from <= s.size() ? from : std::string_view::npos;
    for (std::size_t i = from; i + what.size() <= s.size(); i = NextChar(s, i, lead)) {
        if (s.compare(i, what.size(), what) == 0) return i;
    }
    return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
    return s.substr(begin, end - begin);
}

bool EndsWithBackslash(std::string_view s, const LeadBytes& lead) {
    const std::size_t last = LastCharStart(s, lead);
    return last != std::string_view::npos && last + 1 == s.size() && s[last] == '\\';
}

}  // namespace text
