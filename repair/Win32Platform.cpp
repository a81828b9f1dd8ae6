#include "repair/Win32Platform.h"

#include <windows.h>

#include <vector>

namespace repair {
std::string ReadWholePath(std::size_t (*read)(char* buffer, std::size_t size)) {
    // No path is longer than 32767 characters, two bytes each at most in the ANSI code page.
    for (std::size_t size = MAX_PATH + 1; size < 0x20000; size *= 2) {
        std::vector<char> buffer(size);
        const std::size_t length = read(buffer.data(), size);
        if (length == 0) return {};
        if (length < size) return std::string(buffer.data(), length);
    }
    return {};
}

text::LeadBytes ThreadCodePageLeadBytes() {
    CPINFO info{};
    if (GetSystemMetrics(SM_DBCSENABLED) == 0 || !GetCPInfo(CP_THREAD_ACP, &info)) {
        return text::LeadBytes::SingleByte();
    }
    return text::LeadBytes::FromRanges(info.LeadByte, MAX_LEADBYTES);
}

WindowsVersion QueryWindowsVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
    static_assert(sizeof(OSVERSIONINFOA) == 148);
    WindowsVersion version;
    if (GetVersionExA(&info)) {
        version.platformId = static_cast<std::int32_t>(info.dwPlatformId);
        version.major = static_cast<std::int32_t>(info.dwMajorVersion);
        version.minor = static_cast<std::int32_t>(info.dwMinorVersion);
    }
    return version;
}

WindowsVersion QuerySystemVersion() {
    // RtlGetVersion and VerifyVersionInfo read what a compatibility layer sets, as GetVersionExA does;
    // this one gives the numbers the system library was built with. Not on Windows 2000.
    using VersionNumbersFunction = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    WindowsVersion version;
    const auto versionNumbers = reinterpret_cast<VersionNumbersFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetNtVersionNumbers")));
    if (versionNumbers == nullptr) return version;
    DWORD major = 0, minor = 0;
    versionNumbers(&major, &minor, nullptr);
    version.platformId = VER_PLATFORM_WIN32_NT;
    version.major = static_cast<std::int32_t>(major);
    version.minor = static_cast<std::int32_t>(minor);
    return version;
}

std::string SystemFolder() {
    char buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
    return (length == 0 || length >= sizeof buffer) ? std::string() : std::string(buffer, length);
}

HMODULE LoadSystemLibrary(const char* name, DWORD flags) {
    const std::string folder = SystemFolder();
    if (folder.empty()) return nullptr;
    return LoadLibraryExA((folder + "\\" + name).c_str(), nullptr, flags);
}

Win32ReadingPlatform::Win32ReadingPlatform() : lead_(ThreadCodePageLeadBytes()) {}

std::string Win32ReadingPlatform::EnvironmentValue(const std::string& name) {
    // The first call tells the size the value needs; a value may change between the calls, so retry.
    std::vector<char> buffer(256);
    for (;;) {
        const DWORD length =
            GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(length);
    }
}

bool Win32ReadingPlatform::IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Win32ReadingPlatform::ModulePath() {
    // A path that does not fit is cut and reported as filling the whole buffer: with a terminator and
    // ERROR_INSUFFICIENT_BUFFER from Vista on, without either on XP.
    return ReadWholePath([](char* buffer, std::size_t size) -> std::size_t {
        return GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    });
}

std::string Win32ReadingPlatform::ProfileKeyNames(const std::string& file, const std::string& section,
                                                  std::size_t bufferSize) {
    std::vector<char> buffer(bufferSize + 2, '\0');
    const DWORD copied = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                                  static_cast<DWORD>(bufferSize), file.c_str());
    return std::string(buffer.data(), std::min<std::size_t>(copied, bufferSize));
}

std::string Win32ReadingPlatform::ProfileValue(const std::string& file, const std::string& section,
                                               const std::string& key, std::size_t bufferSize) {
    std::vector<char> buffer(bufferSize + 1, '\0');
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(), static_cast<DWORD>(bufferSize),
                             file.c_str());
    return std::string(buffer.data());
}

std::string Win32ReadingPlatform::SystemDirectory() {
    return SystemFolder();
}

}  // namespace repair
