// Tells scripts/run, from inside a Wine prefix, what the program will see there: a 32-bit program, shown
// the Windows version the program is shown. It is also the one program that changes the prefix's settings
// and sets Wine's copies aside for a run, each change written to the run's journal (a
// host path, appended to, on disk before the change is made) so that the run can always be undone. One
// start of it does a whole step, since each start of a 32-bit Wine program costs seconds under emulation.
//   LoadProbe.exe --version VERSION JOURNAL
//       sets Wine's Windows version for programs named MdacRepair.exe (REG_SZ VERSION), its exact value
//       before journalled: "setting<TAB>KEY<TAB>NAME<TAB>absent" or "...<TAB>TYPE<TAB>HEX BYTES"; prints
//       "setting<TAB>KEY<TAB>NAME<TAB>VALUE NOW<TAB>VALUE BEFORE", values as told to a person
//   LoadProbe.exe --plan set|keep PROGRAM_FOLDER DRIVE_C ASIDE_FOLDER JOURNAL
//       started under the name MdacRepair.exe, so that Wine shows it the Windows version it shows the
//       program: prints the list folder the program uses there ("list<TAB>xp" or "w7") and each entry of
//       that list with its destination, derived by the program's own rule from the list in PROGRAM_FOLDER
//       (the folder the program runs from, "\" at its end) ("entry<TAB>KEY<TAB>DESTINATION"). For each
//       destination that holds Wine's own copy of a builtin DLL (the file carries Wine's builtin mark),
//       with `set`: the copy is moved into ASIDE_FOLDER (a host path, on the prefix's drive C:) when the
//       file lies, every link followed, inside DRIVE_C (the host path of the prefix's drive_c), the mark
//       read from the very handle that moves it, which nobody else may delete or rename meanwhile, and the
//       file found in ASIDE_FOLDER afterwards checked to be that one ("placeholder<TAB>set-aside<TAB>
//       DESTINATION<TAB>PATH BELOW DRIVE C:<TAB>NAME IN ASIDE_FOLDER", journalled first as "aside<TAB>
//       DESTINATION<TAB>PATH BELOW DRIVE C:<TAB>NAME IN ASIDE_FOLDER<TAB>LIST FOLDER\KEY"); otherwise it
//       stays ("outside<TAB>DESTINATION<TAB>WHERE IT LIES", "fails ERROR<TAB>DESTINATION"); with `keep` it
//       stays ("kept"). And for each file name that is one of Wine's builtin DLLs (builtins.txt beside the
//       probe names them, one a line, in lower case; "builtins<TAB>COUNT<TAB>PATH" tells how many it read)
//       or whose destination holds Wine's copy, the DLL override of that name, after setting it to
//       "native,builtin" with `set` (an override that loads the native file first already stays; the value
//       before journalled as above): "override<TAB>KEY<TAB>VALUE<TAB>VALUE BEFORE", once for each name
//   A change whose journal line cannot be written is not made: "journal<TAB>fails<TAB>WHAT".
// Lines are UTF-8; a value told to a person shows each control character as \xNN, so that no field holds a
// TAB or a line break.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string>
#include <utility>
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

// The first bytes of an open file, which hold its headers; empty when it cannot be read.
std::string HeadOf(HANDLE file, DWORD size) {
    std::string head(size, '\0');
    DWORD got = 0;
    if (!ReadFile(file, head.data(), size, &got, nullptr)) return {};
    head.resize(got);
    return head;
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

// Renames the open file by its handle, never over another file. Wine renames the path the file was opened
// by rather than the file itself (the server keeps that path), so the caller keeps others from renaming it
// meanwhile and checks afterwards which file was moved.
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

// ---------------------------------------------------------------------------------------------------
// The run's journal: each change this program makes to the prefix is told there, and on disk, before it
// is made. A change whose line cannot be written is not made.

class Journal {
public:
    explicit Journal(std::wstring path) : path_(std::move(path)) {}

    bool Write(const std::string& line) const {
        const HANDLE file = CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const std::string text = line + "\n";
        DWORD written = 0;
        const bool done = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                          written == text.size() && FlushFileBuffers(file);
        CloseHandle(file);
        return done;
    }

private:
    std::wstring path_;
};

// The identity of an open file: its volume and its number there.
std::optional<std::string> IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
    char identity[40];
    wsprintfA(identity, "%08lx-%08lx%08lx", information.dwVolumeSerialNumber, information.nFileIndexHigh,
              information.nFileIndexLow);
    return std::string(identity);
}

std::optional<std::string> IdentityOf(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::string> identity = IdentityOf(file);
    CloseHandle(file);
    return identity;
}

// What becomes of the file at a destination when it is Wine's own copy of a builtin: nothing is told of
// any other file. The mark is read through the handle that moves the file, opened so that nobody may write,
// rename or delete it meanwhile.
struct SetAside {
    bool winesCopy = false;
    std::string line;
};

// Where a copy set aside is told in the journal: its destination, its place below drive C:, its name in the
// folder set aside and the list entry whose file belongs there.
struct AsidePlace {
    std::wstring driveC;
    std::wstring folder;
    std::string entry;  // LIST FOLDER\KEY
};

SetAside SetWinesCopyAside(const std::wstring& destination, bool set, const AsidePlace& place,
                           const Journal& journal, int number) {
    const std::string told = Utf8(destination);
    const HANDLE file = CreateFileW(destination.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
        // Held open by someone for writing, renaming or deleting: told only when it is Wine's copy, which
        // then stays.
        const HANDLE shared = CreateFileW(destination.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
        const std::wstring& driveC = place.driveC;
        const std::wstring where = FinalPath(file);
        const bool inside = !driveC.empty() && where.size() > driveC.size() + 1 &&
                            _wcsnicmp(where.c_str(), driveC.c_str(), driveC.size()) == 0 &&
                            where[driveC.size()] == L'\\';
        const std::optional<std::string> identity = IdentityOf(file);
        if (!inside) {
            result.line = "placeholder\toutside\t" + told + "\t" + Utf8(where.empty() ? L"?" : where);
        } else if (!identity) {
            result.line = "placeholder\t" + ErrorText("fails", GetLastError()) + "\t" + told;
        } else {
            const std::wstring name =
                std::to_wstring(number) + L"-" + destination.substr(destination.find_last_of(L'\\') + 1);
            const std::wstring below = where.substr(driveC.size() + 1);
            const std::wstring asidePath = place.folder + L"\\" + name;
            if (!journal.Write("aside\t" + told + "\t" + Utf8(below) + "\t" + Utf8(name) + "\t" +
                               place.entry)) {
                result.line = "placeholder\tfails journal\t" + told;
            } else if (const long status = MoveOpenFile(file, asidePath); status != 0) {
                result.line =
                    "placeholder\t" + ErrorText("fails", static_cast<unsigned long>(status)) + "\t" + told;
            } else if (IdentityOf(asidePath) != identity) {
                // Another file took the checked one's place before the move: it goes back where it was.
                const bool back = MoveFileExW(asidePath.c_str(), (driveC + L"\\" + below).c_str(), 0) != 0;
                result.line = std::string("placeholder\tfails moved another file") +
                              (back ? ", put back" : ", kept aside") + "\t" + told;
            } else {
                result.line = "placeholder\tset-aside\t" + told + "\t" + Utf8(below) + "\t" + Utf8(name);
            }
        }
    }
    CloseHandle(file);
    return result;
}

// ---------------------------------------------------------------------------------------------------
// Settings of the user's registry: Wine's overrides, by module name (the file name without ".dll"; another
// extension stays), and its Windows version for programs of one name.

constexpr wchar_t kOverrides[] = L"Software\\Wine\\DllOverrides";
constexpr wchar_t kProgramDefaults[] = L"Software\\Wine\\AppDefaults\\MdacRepair.exe";
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

    static Value String(const std::wstring& text) {
        Value value{true, REG_SZ, std::string()};
        value.bytes.assign(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
        return value;
    }

    bool operator==(const Value& other) const {
        return present == other.present && (!present || (type == other.type && bytes == other.bytes));
    }

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

    // How the run tells it to a person, on one line and in one field.
    std::string Told() const {
        std::wstring text;
        if (!present) return "not set";
        if (!IsString(&text))
            return "type " + std::to_string(type) + ", " + std::to_string(bytes.size()) + " bytes";
        if (text.empty()) return "empty, the DLL disabled";
        std::string told;
        for (char c : Utf8(text)) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                char escaped[8];
                wsprintfA(escaped, "\\x%02X", static_cast<unsigned char>(c));
                told += escaped;
            } else {
                told += c;
            }
        }
        return told;
    }

    // As the journal keeps it: "absent", or the type and the bytes in hex.
    std::string Journalled() const {
        if (!present) return "absent";
        std::string line = std::to_string(type) + "\t";
        for (unsigned char c : bytes) {
            char pair[4];
            wsprintfA(pair, "%02x", c);
            line += pair;
        }
        return line;
    }
};

Value ReadSetting(const wchar_t* key, const std::wstring& name) {
    Value value;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.present = RegQueryValueExW(opened, name.c_str(), nullptr, &value.type,
                                         reinterpret_cast<BYTE*>(value.bytes.data()), &size) == ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(opened);
    return value;
}

// Sets the value, its value before (`before`, as read) journalled first; false when it was not set.
bool ChangeSetting(const Journal& journal, const wchar_t* key, const std::wstring& name, const Value& value,
                   const Value& before) {
    if (!journal.Write("setting\tHKEY_CURRENT_USER\\" + Utf8(key) + "\t" + Utf8(name) + "\t" +
                       before.Journalled()))
        return false;
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool set =
        RegSetValueExW(opened, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.bytes.data()),
                       static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return set;
}

// This program's own path, however long.
std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

// The names of Wine's builtin DLLs, from builtins.txt beside the probe.
std::vector<std::wstring> BuiltinNames(const std::wstring& path) {
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

// Wine's Windows version for programs named MdacRepair.exe; other programs of the prefix keep theirs.
int SetVersion(const std::wstring& version, const Journal& journal) {
    const Value before = ReadSetting(kProgramDefaults, L"Version");
    const Value wanted = Value::String(version);
    if (!(before == wanted) && !ChangeSetting(journal, kProgramDefaults, L"Version", wanted, before)) {
        Say("journal\tfails\tVersion");
        return 3;
    }
    Say("setting\tVersion\t" + ReadSetting(kProgramDefaults, L"Version").Told() + "\t" + before.Told());
    return 0;
}

// The plan: the list the program uses, its destinations by the program's own rule, Wine's copies there
// set aside and the overrides set.
int Plan(bool set, const std::wstring& programFolder, const std::wstring& driveCHost,
         const std::wstring& asideHost, const Journal& journal) {
    repair::Win32Platform platform;
    const std::string folder = repair::ChooseListFolder(repair::VersionTagFor(repair::QueryWindowsVersion()));
    Say("list\t" + folder);
    const std::string listPath = repair::FileListPath(outside::CodePage936(programFolder), folder);
    const std::string systemBase =
        repair::SystemBaseFrom(platform.EnvironmentValue(repair::kSharedFolderVariable));
    AsidePlace place{FinalPathOfFolder(FromHostPath(driveCHost)), FromHostPath(asideHost), {}};
    const std::wstring builtinsPath = outside::Parent(OwnPath()) + L"\\builtins.txt";
    const std::vector<std::wstring> builtins = BuiltinNames(builtinsPath);
    Say("builtins\t" + std::to_string(builtins.size()) + "\t" + Utf8(builtinsPath));
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
        place.entry = folder + "\\" + Utf8(outside::FromCodePage936(key));
        const SetAside aside = SetWinesCopyAside(destination, set, place, journal, ++number);
        if (!aside.line.empty()) Say(aside.line);
        const std::wstring name = destination.substr(destination.find_last_of(L'\\') + 1);
        if (!aside.winesCopy && !Contains(builtins, Lower(name))) continue;
        const std::wstring overrideKey = OverrideKey(name);
        if (Contains(told, overrideKey)) continue;
        told.push_back(overrideKey);
        const Value before = ReadSetting(kOverrides, overrideKey);
        std::wstring text;
        // An override that loads the native file first already is the user's and stays.
        const bool nativeFirst = before.IsString(&text) && (text[0] == L'n' || text[0] == L'N');
        if (set && !nativeFirst &&
            !ChangeSetting(journal, kOverrides, overrideKey, Value::String(kNativeFirst), before))
            Say("journal\tfails\toverride " + Utf8(overrideKey));
        Say("override\t" + Utf8(overrideKey) + "\t" + ReadSetting(kOverrides, overrideKey).Told() + "\t" +
            before.Told());
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wcscmp(argv[1], L"--version") == 0)
        return SetVersion(argv[2], Journal(FromHostPath(argv[3])));
    if (argc == 7 && std::wcscmp(argv[1], L"--plan") == 0)
        return Plan(std::wcscmp(argv[2], L"set") == 0, argv[3], argv[4], argv[5],
                    Journal(FromHostPath(argv[6])));
    Say("usage: LoadProbe.exe --version VERSION JOURNAL | --plan set|keep PROGRAM_FOLDER DRIVE_C ASIDE_FOLDER "
        "JOURNAL");
    return 2;
}
