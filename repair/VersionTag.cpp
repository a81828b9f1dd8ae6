#include "repair/VersionTag.h"

#include <string_view>

namespace repair {
namespace {

WindowsVersion g_storedVersion;

// The version read as the decimal number "major.minor", written without trailing zeros in the
// fraction: 4.10 and 4.1 both give "4.1", 6.0 gives "6", 3.51 gives "3.51". A negative minor version
// makes no decimal number and gives the empty text, which equals no tag's version.
std::string DecimalVersion(const WindowsVersion& v) {
    if (v.minor < 0) return {};
    std::string fraction = std::to_string(v.minor);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string number = std::to_string(v.major);
    if (!fraction.empty()) number += "." + fraction;
    return number;
}

struct TagRow {
    std::string_view version;
    const char* tag;
};

constexpr TagRow kWin9xTags[] = {{"4", "95"}, {"4.1", "98"}, {"4.9", "Me"}};
constexpr TagRow kNtTags[] = {{"3.51", "NT 3.51"}, {"4", "NT 4.0"}, {"5", "2000"}, {"5.1", "XP"},
                              {"5.2", "2003"},     {"6", "Vista"},  {"6.1", "W7"}};

template <std::size_t N>
std::string Lookup(const TagRow (&rows)[N], const std::string& version, const char* otherwise) {
    for (const TagRow& row : rows) {
        if (row.version == version) return row.tag;
    }
    return otherwise;
}

}  // namespace

std::string VersionTagFor(const WindowsVersion& version) {
    const std::string decimal = DecimalVersion(version);
    switch (version.platformId) {
        case 0:
            return "32";
        case 1:
            return Lookup(kWin9xTags, decimal, "9x");
        case 2:
            return Lookup(kNtTags, decimal, "");
        default:
            return "??";
    }
}

void StoreWindowsVersion(const WindowsVersion& version) {
    g_storedVersion = version;
}

std::string GetWindowsVersionTag() {
    return VersionTagFor(g_storedVersion);
}

}  // namespace repair
