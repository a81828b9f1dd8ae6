// Tells scripts/run what a 32-bit application of a Wine prefix gets, from inside the prefix: a 32-bit
// program, as the applications that use the components are. One start of it does a whole step, since each
// start of a 32-bit Wine program costs seconds under emulation.
//   LoadProbe.exe --plan set|keep LIST:DESTINATION...
//       started under the name MdacRepair.exe, so that Wine shows it the Windows version it shows the
//       program: prints the list folder the program uses there ("list<TAB>xp" or "w7"); then, for each
//       DESTINATION of that list (LIST xp or w7; scripts/run names those whose file name Wine has a builtin
//       DLL of): when the file there is Wine's own copy of its builtin, that it was removed with `set`
//       ("placeholder<TAB>removed<TAB>DESTINATION", or "fails ERROR") or left with `keep` ("kept"); and the
//       DLL override of its file name, after setting it to "native,builtin" with `set` (an override that
//       loads the native file first already stays): "override<TAB>KEY<TAB>VALUE<TAB>VALUE BEFORE" (empty
//       when there was none), once for each name
//   LoadProbe.exe PATH...
//       loads each file as an application does (its dependencies searched beside it, as COM loads a server)
//       and prints whose code it got, "code<TAB>file|builtin|other|fails ERROR<TAB>PATH", then its
//       environment ("env<TAB>NAME<TAB>VALUE"), with which registry values are expanded
// Lines are UTF-8.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tools/Outside.h"
#include "repair/FileList.h"
#include "repair/VersionTag.h"
#include "repair/Win32Platform.h"

namespace {

using outside::Utf8;

// Lines go out as they are, without the C library's text mode adding a carriage return.
void Say(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
}

// Wine writes this into the DOS header of each of its own builtin DLLs, right after the header, and so into
// the copies of them it puts into a prefix; the loaded image carries its file's headers, so a module in
// memory shows it too.
constexpr char kBuiltinMark[] = "Wine builtin DLL";
constexpr std::size_t kMarkEnd = sizeof(IMAGE_DOS_HEADER) + sizeof kBuiltinMark - 1;

bool CarriesBuiltinMark(const char* image, std::size_t size) {
    return size >= kMarkEnd &&
           std::memcmp(image + sizeof(IMAGE_DOS_HEADER), kBuiltinMark, sizeof kBuiltinMark - 1) == 0;
}

bool IsWineBuiltin(HMODULE module) {
    return CarriesBuiltinMark(reinterpret_cast<const char*>(module), kMarkEnd);
}

// The PE headers at the start of an image, file or memory: the file header, the entry point and size of
// the image, the checksum and the section table, which the loader maps unchanged. Empty when the bytes
// hold no such headers.
std::string ImageIdentity(const char* bytes, std::size_t size) {
    if (size < sizeof(IMAGE_DOS_HEADER)) return {};
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, bytes, sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        static_cast<std::size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > size)
        return {};
    IMAGE_NT_HEADERS32 nt;
    std::memcpy(&nt, bytes + dos.e_lfanew, sizeof nt);
    if (nt.Signature != IMAGE_NT_SIGNATURE) return {};
    const std::size_t sections = static_cast<std::size_t>(dos.e_lfanew) +
                                 offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                 nt.FileHeader.SizeOfOptionalHeader;
    const std::size_t sectionBytes =
        std::size_t{nt.FileHeader.NumberOfSections} * sizeof(IMAGE_SECTION_HEADER);
    if (sections + sectionBytes > size) return {};
    std::string identity(reinterpret_cast<const char*>(&nt.FileHeader), sizeof nt.FileHeader);
    for (DWORD field :
         {nt.OptionalHeader.AddressOfEntryPoint, nt.OptionalHeader.SizeOfImage, nt.OptionalHeader.CheckSum}) {
        identity.append(reinterpret_cast<const char*>(&field), sizeof field);
    }
    return identity + std::string(bytes + sections, sectionBytes);
}

// The first pages of the file, which hold its headers; empty when it cannot be read.
std::string FileHead(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    char head[8192];
    DWORD got = 0;
    const BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    return read ? std::string(head, got) : std::string();
}

std::string FileIdentity(const std::wstring& path) {
    const std::string head = FileHead(path);
    return ImageIdentity(head.data(), head.size());
}

bool IsWinesCopy(const std::wstring& path) {
    const std::string head = FileHead(path);
    return CarriesBuiltinMark(head.data(), head.size());
}

// Whose code loading the file gives: Wine's builtin (whatever file lies at the path), the file's own (the
// module's headers are the file's), or other code already loaded under its name.
std::string WhoseCode(const std::wstring& path) {
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return "fails " + std::to_string(GetLastError());
    std::string whose = "other";
    if (IsWineBuiltin(module)) {
        whose = "builtin";
    } else {
        // The headers of the loaded image lie within its first page, which every image maps.
        MEMORY_BASIC_INFORMATION region{};
        VirtualQuery(module, &region, sizeof region);
        const std::size_t mapped = region.RegionSize ? region.RegionSize : 4096;
        const std::string loaded = ImageIdentity(reinterpret_cast<const char*>(module), mapped);
        if (!loaded.empty() && loaded == FileIdentity(path)) whose = "file";
    }
    FreeLibrary(module);
    return whose;
}

// Wine's overrides, by module name: the file name without ".dll" (another extension stays).
constexpr wchar_t kOverrides[] = L"Software\\Wine\\DllOverrides";
constexpr wchar_t kNativeFirst[] = L"native,builtin";

std::wstring OverrideKey(const std::wstring& name) {
    const std::size_t length = name.size();
    if (length > 4 && lstrcmpiW(name.c_str() + length - 4, L".dll") == 0) return name.substr(0, length - 4);
    return name;
}

// The override's value; empty when there is none.
std::wstring Override(const std::wstring& key) {
    HKEY overrides = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kOverrides, 0, KEY_QUERY_VALUE, &overrides) != ERROR_SUCCESS)
        return {};
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof value[0];
    DWORD type = 0;
    const LONG status =
        RegQueryValueExW(overrides, key.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(overrides);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : std::wstring();
}

void SetOverride(const std::wstring& key, const std::wstring& value) {
    HKEY overrides = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &overrides,
                        nullptr) != ERROR_SUCCESS)
        return;
    const std::size_t bytes = (value.size() + 1) * sizeof(wchar_t);
    RegSetValueExW(overrides, key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(bytes));
    RegCloseKey(overrides);
}

void SayEnvironment() {
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) return;
    for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
        const std::wstring variable = entry;
        const std::size_t equals = variable.find(L'=', 1);  // names such as "=C:" begin with one
        if (variable[0] == L'=' || equals == std::wstring::npos) continue;
        Say("env\t" + Utf8(variable.substr(0, equals)) + "\t" + Utf8(variable.substr(equals + 1)));
    }
    FreeEnvironmentStringsW(block);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // A file that cannot be loaded is a result here, never a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (argc > 2 && std::wcscmp(argv[1], L"--plan") == 0) {
        const bool set = std::wcscmp(argv[2], L"set") == 0;
        const std::string folder =
            repair::ChooseListFolder(repair::VersionTagFor(repair::QueryWindowsVersion()));
        Say("list\t" + folder);
        const std::wstring prefix = std::wstring(folder.begin(), folder.end()) + L":";
        std::vector<std::wstring> told;
        for (int i = 3; i < argc; ++i) {
            const std::wstring entry = argv[i];
            if (entry.compare(0, prefix.size(), prefix) != 0) continue;
            const std::wstring destination = entry.substr(prefix.size());
            // The program leaves every file it finds at a destination, Wine's own copy of its builtin too,
            // which would keep the package's file out: that copy goes, and only a file with Wine's mark.
            if (IsWinesCopy(destination)) {
                std::string outcome = "kept";
                if (set)
                    outcome = DeleteFileW(destination.c_str()) ? "removed"
                                                               : "fails " + std::to_string(GetLastError());
                Say("placeholder\t" + outcome + "\t" + Utf8(destination));
            }
            const std::wstring key = OverrideKey(destination.substr(destination.find_last_of(L'\\') + 1));
            if (std::any_of(told.begin(), told.end(), [&key](const std::wstring& seen) {
                    return lstrcmpiW(seen.c_str(), key.c_str()) == 0;
                }))
                continue;
            told.push_back(key);
            const std::wstring before = Override(key);
            // An override that loads the native file first already is the user's and stays.
            if (set && (before.empty() || (before[0] != L'n' && before[0] != L'N')))
                SetOverride(key, kNativeFirst);
            Say("override\t" + Utf8(key) + "\t" + Utf8(Override(key)) + "\t" + Utf8(before));
        }
        return 0;
    }
    for (int i = 1; i < argc; ++i) Say("code\t" + WhoseCode(argv[i]) + "\t" + Utf8(argv[i]));
    SayEnvironment();
    return 0;
}
