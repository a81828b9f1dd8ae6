// The short tag naming the Windows version ("XP", "W7", ...), shown in the main window and used to
// choose the file list.
#pragma once

#include <cstdint>
#include <string>

namespace repair {

// The operating system's version as its version query reports it.
struct WindowsVersion {
    std::int32_t platformId = 0;  // 0 Win32s, 1 Windows 95/98/Me, 2 NT family
    std::int32_t major = 0;
    std::int32_t minor = 0;
};

// Tag for a version: "32", "95", "98", "9x", "Me", "NT 3.51", "NT 4.0", "2000", "XP", "2003", "Vista",
// "W7", "??" or the empty text.
std::string VersionTagFor(const WindowsVersion& version);

// Keeps the version captured at start-up; nothing refreshes it later.
void StoreWindowsVersion(const WindowsVersion& version);

// Tag of the stored version.
std::string GetWindowsVersionTag();

}  // namespace repair
