// Tells scripts/run what a 32-bit application of a Wine prefix gets, from inside the prefix: a 32-bit
// program, as the applications that use the components are. One start of it does a whole step, since each
// start of a 32-bit Wine program costs seconds under emulation.
//   LoadProbe.exe --plan set|keep PROGRAM_FOLDER DRIVE_C ASIDE_FOLDER
//       started under the name MdacRepair.exe, so that Wine shows it the Windows version it shows the
//       program: prints the list folder the program uses there ("list<TAB>xp" or "w7") and each entry of
//       that list with its destination, derived by the program's own rule from the list in PROGRAM_FOLDER
//       (the folder the program runs from, "\" at its end) ("entry<TAB>KEY<TAB>DESTINATION"). For each
//       destination that holds Wine's own copy of a builtin DLL (the file carries Wine's builtin mark),
//       with `set`: the copy is moved into ASIDE_FOLDER (a host path, on the prefix's drive C:) when the
//       file lies, every link followed, inside DRIVE_C (the host path of the prefix's drive_c), the mark
//       read from the very handle that moves it ("placeholder<TAB>set-aside<TAB>DESTINATION<TAB>PATH BELOW
//       DRIVE C:<TAB>NAME IN ASIDE_FOLDER"); otherwise it stays ("outside<TAB>DESTINATION<TAB>WHERE IT
//       LIES", "fails ERROR<TAB>DESTINATION"); with `keep` it stays ("kept"). And for each file name that
//       is one of Wine's builtin DLLs (builtins.txt beside the probe names them, one a line, in lower case)
//       or whose destination holds Wine's copy, the DLL override of that name, after setting it to
//       "native,builtin" with `set` (an override that loads the native file first already stays):
//       "override<TAB>KEY<TAB>VALUE<TAB>VALUE BEFORE, AS TOLD<TAB>VALUE BEFORE, AS A .reg FILE GIVES IT",
//       once for each name
//   LoadProbe.exe PATH...
//       loads each file as an application does (its dependencies searched beside it, as COM loads a server)
//       and prints whose code it got, "code<TAB>file|builtin|other|fails ERROR<TAB>PATH", then its
//       environment ("env<TAB>NAME<TAB>VALUE"), with which registry values are expanded
// Lines are UTF-8.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
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

std::string ErrorText(const char* what, unsigned long code) {
    char text[32];
    wsprintfA(text, "%s 0x%lX", what, code);
    return text;
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

// The first bytes of an open file, which hold its headers; empty when it cannot be read.
std::string HeadOf(HANDLE file, DWORD size) {
    std::string head(size, '\0');
    DWORD got = 0;
    if (!ReadFile(file, head.data(), size, &got, nullptr)) return {};
    head.resize(got);
    return head;
}

std::string FileIdentity(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    const std::string head = HeadOf(file, 8192);
    CloseHandle(file);
    return ImageIdentity(head.data(), head.size());
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

// ---------------------------------------------------------------------------------------------------
// Where a file lies, every link followed. Wine names an open file by its host path with each link
// resolved, told as a path of the drive that holds it: two such names of the same drive tell whether one
// lies inside the other.

std::wstring FinalPath(HANDLE file) {
    using FinalPathName = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    const auto finalPathName = reinterpret_cast<FinalPathName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "GetFinalPathNameByHandleW")));
    if (!finalPathName) return {};
    constexpr DWORD kNormalizedDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
    std::wstring path(1024, L'\0');
    const DWORD length =
        finalPathName(file, path.data(), static_cast<DWORD>(path.size()), kNormalizedDosName);
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    if (path.compare(0, 4, L"\\\\?\\") == 0) path.erase(0, 4);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// The Windows path Wine gives a host path; empty outside Wine.
std::wstring FromHostPath(const std::wstring& hostPath) {
    using DosName = LPWSTR (*)(LPCSTR);  // cdecl, as every C function of Wine's own
    const auto dosName = reinterpret_cast<DosName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_dos_file_name")));
    if (!dosName) return {};
    const std::string hostName = Utf8(hostPath);
    const LPWSTR name = dosName(hostName.c_str());
    if (!name) return {};
    std::wstring path = name;
    HeapFree(GetProcessHeap(), 0, name);
    return path;
}

std::wstring FinalPathOfFolder(const std::wstring& folder) {
    const HANDLE handle =
        CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::wstring path = FinalPath(handle);
    CloseHandle(handle);
    return path;
}

// Renames the open file, whatever path now leads to it: Wine moves the file the handle was opened on.
long MoveOpenFile(HANDLE file, const std::wstring& to) {
    struct Rename {
        BOOLEAN replaceIfExists;
        HANDLE rootDirectory;
        ULONG fileNameLength;
        WCHAR fileName[1];
    };
    // Where the call leaves its status and the count it returns, neither read here.
    using StatusBlock = ULONG_PTR[2];
    using SetInformation = LONG(NTAPI*)(HANDLE, StatusBlock*, void*, ULONG, int);
    const auto set = reinterpret_cast<SetInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "NtSetInformationFile")));
    if (!set) return -1;
    constexpr int kFileRenameInformation = 10;
    const std::wstring name = L"\\??\\" + to;
    const std::size_t nameBytes = name.size() * sizeof(WCHAR);
    std::vector<char> buffer(sizeof(Rename) + nameBytes);
    auto* rename = reinterpret_cast<Rename*>(buffer.data());
    rename->replaceIfExists = FALSE;
    rename->rootDirectory = nullptr;
    rename->fileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(rename->fileName, name.data(), nameBytes);
    StatusBlock status{};
    return set(file, &status, buffer.data(), static_cast<ULONG>(buffer.size()), kFileRenameInformation);
}

// What becomes of the file at a destination when it is Wine's own copy of a builtin: nothing is told of
// any other file. The mark is read through the handle that moves the file, which keeps anyone from writing
// to it meanwhile.
struct SetAside {
    bool winesCopy = false;
    std::string line;
};

SetAside SetWinesCopyAside(const std::wstring& destination, bool set, const std::wstring& driveC,
                           const std::wstring& asideFolder, int number) {
    const std::string told = Utf8(destination);
    const HANDLE file =
        CreateFileW(destination.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
        // Held open for writing by someone: told only when it is Wine's copy, which then stays.
        const HANDLE shared =
            CreateFileW(destination.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (shared == INVALID_HANDLE_VALUE) return {};
        const std::string head = HeadOf(shared, kMarkEnd);
        CloseHandle(shared);
        if (!CarriesBuiltinMark(head.data(), head.size())) return {};
        return {true,
                "placeholder\t" + (set ? ErrorText("fails", error) : std::string("kept")) + "\t" + told};
    }
    const std::string head = HeadOf(file, kMarkEnd);
    if (!CarriesBuiltinMark(head.data(), head.size())) {
        CloseHandle(file);
        return {};
    }
    SetAside result{true, "placeholder\tkept\t" + told};
    if (set) {
        const std::wstring where = FinalPath(file);
        const bool inside = !driveC.empty() && where.size() > driveC.size() + 1 &&
                            _wcsnicmp(where.c_str(), driveC.c_str(), driveC.size()) == 0 &&
                            where[driveC.size()] == L'\\';
        if (!inside) {
            result.line = "placeholder\toutside\t" + told + "\t" + Utf8(where.empty() ? L"?" : where);
        } else {
            const std::wstring name =
                std::to_wstring(number) + L"-" + destination.substr(destination.find_last_of(L'\\') + 1);
            const long status = MoveOpenFile(file, asideFolder + L"\\" + name);
            result.line =
                status == 0
                    ? "placeholder\tset-aside\t" + told + "\t" + Utf8(where.substr(driveC.size() + 1)) +
                          "\t" + Utf8(name)
                    : "placeholder\t" + ErrorText("fails", static_cast<unsigned long>(status)) + "\t" + told;
        }
    }
    CloseHandle(file);
    return result;
}

// ---------------------------------------------------------------------------------------------------
// Wine's overrides, by module name: the file name without ".dll" (another extension stays).

constexpr wchar_t kOverrides[] = L"Software\\Wine\\DllOverrides";
constexpr wchar_t kNativeFirst[] = L"native,builtin";

std::wstring OverrideKey(const std::wstring& name) {
    const std::size_t length = name.size();
    if (length > 4 && lstrcmpiW(name.c_str() + length - 4, L".dll") == 0) return name.substr(0, length - 4);
    return name;
}

// A value as it is: absent, or its type and its bytes.
struct Value {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes;

    // A string value as a program reads it, when the value is one whole string.
    bool IsString(std::wstring* text) const {
        const std::size_t count = bytes.size() / sizeof(WCHAR);
        if (!present || type != REG_SZ || bytes.size() % sizeof(WCHAR) != 0 || count == 0) return false;
        std::wstring string(count, L'\0');
        std::memcpy(string.data(), bytes.data(), bytes.size());
        if (string.back() != L'\0' || string.find(L'\0') != count - 1) return false;
        string.pop_back();
        *text = string;
        return true;
    }

    // How the run tells it.
    std::string Told() const {
        std::wstring text;
        if (!present) return "not set";
        if (IsString(&text)) return text.empty() ? "empty, the DLL disabled" : Utf8(text);
        return "type " + std::to_string(type) + ", " + std::to_string(bytes.size()) + " bytes";
    }

    // As a .reg file for regedit gives it: "-" deletes the value, a string is quoted, anything else is its
    // type and bytes.
    std::string InRegFile() const {
        std::wstring text;
        if (!present) return "-";
        if (IsString(&text)) {
            std::string quoted = "\"";
            for (char c : Utf8(text)) {
                if (c == '\\' || c == '"') quoted += '\\';
                quoted += c;
            }
            return quoted + "\"";
        }
        char kind[24];
        wsprintfA(kind, "hex(%lx):", type);
        std::string hex = kind;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            char pair[4];
            wsprintfA(pair, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
            hex += pair;
        }
        return hex;
    }
};

Value Override(const std::wstring& key) {
    Value value;
    HKEY overrides = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kOverrides, 0, KEY_QUERY_VALUE, &overrides) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(overrides, key.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.present = RegQueryValueExW(overrides, key.c_str(), nullptr, &value.type,
                                         reinterpret_cast<BYTE*>(value.bytes.data()), &size) == ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(overrides);
    return value;
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

// The names of Wine's builtin DLLs, from builtins.txt beside the probe.
std::vector<std::wstring> BuiltinNames() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path = outside::Parent(self) + L"\\builtins.txt";
    std::vector<std::wstring> names;
    std::string line;
    for (char c : outside::ReadBytes(path)) {
        if (c != '\n' && c != '\r') {
            line += c;
        } else if (!line.empty()) {
            names.push_back(outside::FromUtf8(line));
            line.clear();
        }
    }
    if (!line.empty()) names.push_back(outside::FromUtf8(line));
    return names;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool Contains(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::any_of(names.begin(), names.end(), [&name](const std::wstring& seen) {
        return lstrcmpiW(seen.c_str(), name.c_str()) == 0;
    });
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

// The plan: the list the program uses, its destinations by the program's own rule, Wine's copies there
// set aside and the overrides set.
int Plan(bool set, const std::wstring& programFolder, const std::wstring& driveCHost,
         const std::wstring& asideHost) {
    repair::Win32Platform platform;
    const std::string folder = repair::ChooseListFolder(repair::VersionTagFor(repair::QueryWindowsVersion()));
    Say("list\t" + folder);
    const std::string listPath = repair::FileListPath(outside::CodePage936(programFolder), folder);
    const std::string systemBase =
        repair::SystemBaseFrom(platform.EnvironmentValue(repair::kSharedFolderVariable));
    const std::wstring driveC = FinalPathOfFolder(FromHostPath(driveCHost));
    const std::wstring asideFolder = FromHostPath(asideHost);
    const std::vector<std::wstring> builtins = BuiltinNames();
    std::vector<std::wstring> told;
    int number = 0;
    for (const std::string& key : repair::ReadFileListKeys(platform, listPath)) {
        const repair::RepairAction action =
            repair::DeriveRepairAction(outside::CodePage936(programFolder), folder, systemBase, key,
                                       repair::ReadFileListValue(platform, listPath, key), platform.Lead());
        const std::wstring destination = outside::FromCodePage936(action.destination);
        Say("entry\t" + Utf8(outside::FromCodePage936(key)) + "\t" + Utf8(destination));
        // The program leaves every file it finds at a destination, Wine's own copy of its builtin too,
        // which would keep the package's file out: that copy is set aside, and only a file with Wine's mark.
        const SetAside aside = SetWinesCopyAside(destination, set, driveC, asideFolder, ++number);
        if (!aside.line.empty()) Say(aside.line);
        const std::wstring name = destination.substr(destination.find_last_of(L'\\') + 1);
        if (!aside.winesCopy && !Contains(builtins, Lower(name))) continue;
        const std::wstring overrideKey = OverrideKey(name);
        if (Contains(told, overrideKey)) continue;
        told.push_back(overrideKey);
        const Value before = Override(overrideKey);
        std::wstring text;
        // An override that loads the native file first already is the user's and stays.
        const bool nativeFirst = before.IsString(&text) && (text[0] == L'n' || text[0] == L'N');
        if (set && !nativeFirst) SetOverride(overrideKey, kNativeFirst);
        Say("override\t" + Utf8(overrideKey) + "\t" + Override(overrideKey).Told() + "\t" + before.Told() +
            "\t" + before.InRegFile());
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // A file that cannot be loaded is a result here, never a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (argc == 6 && std::wcscmp(argv[1], L"--plan") == 0)
        return Plan(std::wcscmp(argv[2], L"set") == 0, argv[3], argv[4], argv[5]);
    for (int i = 1; i < argc; ++i) Say("code\t" + WhoseCode(argv[i]) + "\t" + Utf8(argv[i]));
    SayEnvironment();
    return 0;
}
