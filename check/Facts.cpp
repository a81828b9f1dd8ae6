#include "check/Facts.h"

#include <optional>
#include <set>

#include "check/PeFile.h"
#include "check/ReportTexts.h"
#include "check/SystemCalls.h"
#include "repair/FileList.h"
#include "repair/VersionTag.h"

namespace check {
namespace {

// A registry key opened for reading, closed when it goes.
class Key {
public:
    Key(HKEY parent, const std::string& path) {
        const Advapi& api = AdvapiFunctions();
        if (parent == nullptr || api.regOpenKeyEx == nullptr ||
            api.regOpenKeyEx(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~Key() {
        if (key_ != nullptr) AdvapiFunctions().regCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    HKEY Handle() const { return key_; }

    // A text value ("" names the default value); none when absent or not text. An expandable value is
    // expanded, as COM expands a server's path.
    std::optional<std::string> Text(const char* name) const {
        if (key_ == nullptr) return std::nullopt;
        const Advapi& api = AdvapiFunctions();
        DWORD type = 0, size = 0;
        if (api.regQueryValueEx(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        std::string value(size + 1, '\0');
        size = static_cast<DWORD>(value.size());
        if (api.regQueryValueEx(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        value.resize(value.find('\0') == std::string::npos ? size : value.find('\0'));
        if (type == REG_EXPAND_SZ) value = Expand(value);
        return value;
    }

    std::vector<std::string> SubkeyNames() const {
        std::vector<std::string> names;
        if (key_ == nullptr) return names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            const LONG result =
                AdvapiFunctions().regEnumKeyEx(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_MORE_DATA) continue;  // no class key has so long a name
            if (result != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        return names;
    }

    static std::string Expand(const std::string& value) {
        std::string expanded(32768, '\0');
        const DWORD length =
            ExpandEnvironmentStringsA(value.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (length == 0 || length > expanded.size()) return value;
        // The count is not always in bytes: for a path with double-byte characters Wine gives the count of
        // characters, which would cut the path short. The text ends at its null.
        expanded.resize(expanded.find('\0'));
        return expanded;
    }

private:
    HKEY key_ = nullptr;
};

bool EqualNoCase(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

const text::LeadBytes& Lead() {
    static const text::LeadBytes lead = repair::ThreadCodePageLeadBytes();
    return lead;
}

std::string FileNameOf(const std::string& path) {
    return path.substr(text::LastDelimiter(path, "\\/:", Lead()) + 1);
}

// What makes two paths one file: the volume and the file's index on it.
struct FileIdentity {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL read = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    if (!read) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                        information.nFileIndexLow};
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 2];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return length == 0 || length >= sizeof buffer ? path : std::string(buffer, length);
}

// A server path as the registry holds it, made a path: quotes taken off; a bare name is looked up in the
// system folder, where the loader finds such a name first.
std::string ServerPath(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    if (value.find_first_of("\\/:") == std::string::npos && !value.empty()) {
        value = repair::SystemFolder() + "\\" + value;
    }
    return value;
}

// The long form of a file name written in the 8.3 form; the name itself otherwise.
std::string LongFileName(const std::string& path) {
    if (FileNameOf(path).find('~') == std::string::npos) return FileNameOf(path);
    char buffer[MAX_PATH * 2];
    const DWORD length = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
    return length == 0 || length >= sizeof buffer ? FileNameOf(path)
                                                  : FileNameOf(std::string(buffer, length));
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    const DWORD size = GetFileSize(file, nullptr);
    if (size != INVALID_FILE_SIZE && size < 256u * 1024 * 1024) {
        bytes.resize(size);
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), size, &read, nullptr) || read != size) bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

std::optional<FileVersion> VersionOf(const std::string& path) {
    const VersionApi& api = VersionFunctions();
    if (api.getFileVersionInfoSize == nullptr) return std::nullopt;
    DWORD ignored = 0;
    const DWORD size = api.getFileVersionInfoSize(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::string data(size, '\0');
    if (!api.getFileVersionInfo(path.c_str(), 0, size, data.data())) return std::nullopt;
    void* fixed = nullptr;
    UINT length = 0;
    if (!api.verQueryValue(data.data(), "\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return (static_cast<FileVersion>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

// Wine writes this after the DOS header of each of its own builtin libraries, and so into the copies of
// them it puts into a prefix.
constexpr char kBuiltinMark[] = "Wine builtin DLL";

bool CarriesBuiltinMark(const std::string& bytes) {
    return bytes.compare(sizeof(IMAGE_DOS_HEADER), sizeof kBuiltinMark - 1, kBuiltinMark) == 0;
}

// One class registration of a scope: the class and the server path it names.
struct Registration {
    std::string clsid;
    std::string server;
};

constexpr char kClassesKey[] = "Software\\Classes\\CLSID";

std::vector<Registration> InprocServers(HKEY root) {
    std::vector<Registration> found;
    const Key classes(root, kClassesKey);
    for (const std::string& clsid : classes.SubkeyNames()) {
        const Key server(classes.Handle(), clsid + "\\InprocServer32");
        if (const std::optional<std::string> path = server.Text("")) found.push_back({clsid, *path});
    }
    return found;
}

// ProgID\CLSID as applications read it: the user's classes before the machine's.
bool ProgIdLeadsTo(const std::string& progId, const std::string& clsid) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const Key key(root, "Software\\Classes\\" + progId + "\\CLSID");
        if (const std::optional<std::string> value = key.Text("")) return EqualNoCase(*value, clsid);
    }
    return false;
}

ClassFact DescribeClass(HKEY root, Scope scope, const std::string& clsid) {
    ClassFact fact;
    fact.clsid = clsid;
    fact.scope = scope;
    const Key key(root, std::string(kClassesKey) + "\\" + clsid);
    fact.name = key.Text("").value_or("");
    fact.progId = Key(key.Handle(), "ProgID").Text("").value_or("");
    if (!fact.progId.empty()) fact.progIdLeadsBack = ProgIdLeadsTo(fact.progId, clsid);
    fact.provider = Key(key.Handle(), "OLE DB Provider").Text("").value_or("");
    return fact;
}

// Whether a registered server is the entry's file: by file identity when both exist, by the full path
// otherwise (a class registered to a file that is missing).
bool IsEntryFile(const std::string& server, const std::string& destination,
                 const std::optional<FileIdentity>& destinationIdentity) {
    if (destinationIdentity) {
        const std::optional<FileIdentity> identity = IdentityOf(server);
        if (identity) return *identity == *destinationIdentity;
    }
    return EqualNoCase(FullPath(server), FullPath(destination));
}

}  // namespace

std::string WineVersion() {
    using VersionFunction = const char*(CDECL*)();
    const auto version = reinterpret_cast<VersionFunction>(
        reinterpret_cast<void*>(SystemFunction("ntdll.dll", "wine_get_version")));
    return version == nullptr ? std::string() : std::string(version());
}

namespace {

// The compatibility setting for the repair program beside the check, "where: value"; and the value.
std::pair<std::string, std::string> CompatibilitySetting(const std::string& programDirectory, bool wine) {
    const std::string repairProgram = programDirectory + "MdacRepair.exe";
    if (wine) {
        const Key key(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\MdacRepair.exe");
        if (const std::optional<std::string> value = key.Text("Version")) {
            return {"HKCU\\Software\\Wine\\AppDefaults\\MdacRepair.exe Version: " + *value, *value};
        }
        return {};
    }
    constexpr char kLayers[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
    for (const auto& [root, name] :
         {std::pair{HKEY_CURRENT_USER, "HKCU"}, std::pair{HKEY_LOCAL_MACHINE, "HKLM"}}) {
        const Key key(root, kLayers);
        if (const std::optional<std::string> value = key.Text(repairProgram.c_str())) {
            return {std::string(name) + "\\" + kLayers + ": " + *value, *value};
        }
    }
    return {};
}

bool RunsElevated() {
    const Advapi& api = AdvapiFunctions();
    if (api.openProcessToken == nullptr) return false;
    HANDLE token = nullptr;
    if (api.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD elevation = 0, size = 0;
        const BOOL known =
            api.getTokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(20),  // TokenElevation
                                    &elevation, sizeof elevation, &size);
        CloseHandle(token);
        if (known) return elevation != 0;
    }
    // Before Vista there is no elevation: a member of the administrators runs with their rights.
    if (api.allocateAndInitializeSid == nullptr || api.checkTokenMembership == nullptr) return false;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!api.allocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                      0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    if (!api.checkTokenMembership(nullptr, administrators, &member)) member = FALSE;
    api.freeSid(administrators);
    return member != FALSE;
}

}  // namespace

SystemFacts GatherSystemFacts(repair::Platform& platform, const std::string& programDirectory) {
    SystemFacts facts;
    facts.wineVersion = WineVersion();
    const bool wine = !facts.wineVersion.empty();
    // Under Wine the prefix's version is what every program sees; on Windows the system's own, which no
    // compatibility layer of the check's changes (none before XP: then what the system reports).
    facts.version = wine ? repair::QueryWindowsVersion() : repair::QuerySystemVersion();
    if (facts.version.major == 0) facts.version = repair::QueryWindowsVersion();
    facts.tag = repair::VersionTagFor(facts.version);
    const auto [where, value] = CompatibilitySetting(programDirectory, wine);
    facts.compatibilitySetting = where;
    if (const std::optional<repair::WindowsVersion> seen = VersionOfCompatibilitySetting(value)) {
        facts.tag = repair::VersionTagFor(*seen);
    }

    using Wow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
    if (const auto isWow64 = reinterpret_cast<Wow64Function>(
            reinterpret_cast<void*>(SystemFunction("kernel32.dll", "IsWow64Process")))) {
        BOOL wow64 = FALSE;
        facts.windows64 = isWow64(GetCurrentProcess(), &wow64) && wow64;
    }
    if (const Advapi& api = AdvapiFunctions(); api.getUserName != nullptr) {
        char user[257] = {};
        DWORD size = sizeof user;
        if (api.getUserName(user, &size)) facts.user = user;
    }
    facts.elevated = RunsElevated();
    facts.listPath = repair::FileListPath(programDirectory, repair::ChooseListFolder(facts.tag));
    (void)platform;
    return facts;
}

ListEntries ReadListEntries(repair::Platform& platform, const std::string& programDirectory,
                            const std::string& tag) {
    ListEntries list;
    const std::string listFolder = repair::ChooseListFolder(tag);
    const std::string listPath = repair::FileListPath(programDirectory, listFolder);
    if (programDirectory.empty() || listPath.size() > repair::kLongestAnsiPath) {
        list.couldNotCheck = texts::kPathTooLong;
        return list;
    }
    const DWORD attributes = GetFileAttributesA(listPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        list.couldNotCheck = texts::kNoList;
        return list;
    }
    const std::string systemBase =
        repair::SystemBaseFrom(platform.EnvironmentValue(repair::kSharedFolderVariable));
    for (const std::string& key : repair::ReadFileListKeys(platform, listPath)) {
        const repair::RepairAction action =
            repair::DeriveRepairAction(programDirectory, listFolder, systemBase, key,
                                       repair::ReadFileListValue(platform, listPath, key), platform.Lead());
        EntryFacts entry;
        entry.key = key;
        entry.destination = action.destination;
        list.entries.push_back(entry);
        list.sources.push_back(action.source);
    }
    if (list.entries.empty()) list.couldNotCheck = texts::kEmptyList;
    return list;
}

void GatherFileAndRegistrationFacts(std::vector<EntryFacts>& entries,
                                    const std::vector<std::string>& sources) {
    const std::vector<Registration> machine = InprocServers(HKEY_LOCAL_MACHINE);
    const std::vector<Registration> user = InprocServers(HKEY_CURRENT_USER);
    // The user's registration of a class, which applications take before the machine's.
    const auto userServer = [&user](const std::string& clsid) -> const Registration* {
        for (const Registration& registration : user) {
            if (EqualNoCase(registration.clsid, clsid)) return &registration;
        }
        return nullptr;
    };

    for (std::size_t i = 0; i < entries.size(); ++i) {
        EntryFacts& entry = entries[i];
        const std::optional<std::string> installed = ReadWholeFile(entry.destination);
        const std::optional<std::string> package = ReadWholeFile(sources[i]);
        entry.packageHasFile = package.has_value();
        if (installed) {
            entry.file = package && *package == *installed ? FileState::SameAsPackage : FileState::OtherBytes;
            entry.version = VersionOf(entry.destination);
            entry.fileIsWineBuiltin = CarriesBuiltinMark(*installed);
            entry.exportsRegisterServer = Exports(ReadPeFacts(*installed), "DllRegisterServer");
        }
        if (package) entry.packageVersion = VersionOf(sources[i]);

        const std::optional<FileIdentity> identity = IdentityOf(entry.destination);
        const std::string fileName = FileNameOf(entry.destination);
        struct ScopeScan {
            HKEY root;
            Scope scope;
            const std::vector<Registration>* registrations;
        };
        for (const ScopeScan& scan : {ScopeScan{HKEY_LOCAL_MACHINE, Scope::Machine, &machine},
                                      ScopeScan{HKEY_CURRENT_USER, Scope::User, &user}}) {
            const Scope scope = scan.scope;
            for (const Registration& registration : *scan.registrations) {
                const std::string server = ServerPath(registration.server);
                if (!EqualNoCase(LongFileName(server), fileName)) continue;
                if (!IsEntryFile(server, entry.destination, identity)) {
                    entry.otherCopies.push_back({registration.clsid, scope, registration.server});
                    continue;
                }
                entry.classes.push_back(DescribeClass(scan.root, scope, registration.clsid));
                if (scope != Scope::Machine) continue;
                const Registration* shadow = userServer(registration.clsid);
                if (shadow != nullptr &&
                    !IsEntryFile(ServerPath(shadow->server), entry.destination, identity)) {
                    entry.shadowedBy.push_back({registration.clsid, Scope::User, shadow->server});
                }
            }
        }
    }
}

namespace {

// Names the loader resolves to other libraries, never to a file of that name.
bool IsApiSetName(std::string library) {
    CharLowerA(library.data());
    return library.starts_with("api-ms-") || library.starts_with("ext-ms-");
}

std::string FindLibrary(const std::string& search, const std::string& library) {
    char found[MAX_PATH * 2];
    const DWORD length = SearchPathA(search.c_str(), library.c_str(), nullptr, sizeof found, found, nullptr);
    return length == 0 || length >= sizeof found ? std::string() : std::string(found, length);
}

}  // namespace

std::string MissingImportOf(const std::string& path) {
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return {};
    // Where the loader looks for a server's imports: beside it, then the system's folders and PATH.
    char windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string search = text::DirectoryPart(path, Lead()) + ";" + repair::SystemFolder() + ";" +
                               windows + ";" + repair::Win32ReadingPlatform().EnvironmentValue("PATH");
    for (const std::string& library : ReadPeFacts(*bytes).imports) {
        if (!IsApiSetName(library) && FindLibrary(search, library).empty()) return library;
    }
    return {};
}

bool ImportsFoundOnTheirOwn(const std::string& path, std::set<std::string>& resolved) {
    // The loader takes every library of the load beside the component first, then in the system folder.
    const std::string search = text::DirectoryPart(path, Lead()) + ";" + repair::SystemFolder();
    // A module resolved for one folder may not be for another: remembered with the search that found it.
    auto key = [&search](const std::string& module) {
        std::wstring wide(module.size() + 1, L'\0');
        MultiByteToWideChar(CP_ACP, 0, module.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
        CharLowerW(wide.data());
        return search + "\n" + std::string(reinterpret_cast<const char*>(wide.c_str()), wide.size() * 2);
    };
    std::vector<std::string> pending{path};
    std::set<std::string> seen;
    constexpr std::size_t kMostModules = 512;  // far more than any component's imports bring in
    while (!pending.empty()) {
        const std::string module = pending.back();
        pending.pop_back();
        const std::string known = key(module);
        if (resolved.count(known) > 0 || !seen.insert(known).second) continue;
        if (seen.size() > kMostModules) return false;
        const std::optional<std::string> bytes = ReadWholeFile(module);
        if (!bytes) return false;
        const PeFacts facts = ReadPeFacts(*bytes);
        if (!facts.valid) return false;
        for (const std::string& library : facts.imports) {
            if (IsApiSetName(library)) continue;
            const std::string found = FindLibrary(search, library);
            if (found.empty()) return false;
            pending.push_back(found);
        }
    }
    // The whole closure was walked without a gap.
    resolved.insert(seen.begin(), seen.end());
    return true;
}

bool SameFile(const std::string& path, const std::string& destination) {
    return IsEntryFile(path, destination, IdentityOf(destination));
}

}  // namespace check
