// The start-up guard both programs run first: a program started from a folder other programs of the user can
// write to refuses to run beside files that redirect the loader, and keeps the library search to the system
// folder before anything loads a library by name.
#include "ui/SafeStart.h"

#include <windows.h>

#include <string>
#include <string_view>

#include "repair/VersionTag.h"
#include "repair/Win32Platform.h"
#include "ui/ShellRules.h"

namespace ui {

// The program runs with administrator rights from whatever folder it was unpacked into, often one that
// other programs of the user can write to. A library found there by name would run with those rights,
// so before anything loads a library the search is kept to the system folder: the current folder is
// taken out of it, and where the system can, the program's own folder too (Vista is left out: there,
// restricting the default folders breaks the shell's own loading; it is told by the system's own version,
// not by the one a compatibility layer may report). The functions are newer than some systems the program
// runs on and are looked up by name.
//
// Systems without that restriction still search the program's folder first for a library that system
// code loads by name, late and without a path. Loading each one by its full path beforehand makes every
// later load by name take the copy already there; a library a system does not have is skipped. The
// list holds what system code loads this way on the versions the program runs on, and what the window
// system loads while the program runs.
void CloseLibrarySearchPath() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);
    using FlagsFunction = BOOL(WINAPI*)(DWORD);
    if (const auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")))) {
        setDllDirectory("");
    }
    const repair::WindowsVersion system = repair::QuerySystemVersion();
    const bool vista = system.major == 6 && system.minor == 0;
    bool restricted = false;
    if (const auto setDefaultDirectories = reinterpret_cast<FlagsFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        setDefaultDirectories != nullptr && !vista) {
        restricted = setDefaultDirectories(0x00000800) != 0;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    }
    // The program starts others by full path only; this keeps the current folder behind the system's
    // folders for any search system code makes for a program.
    if (const auto setSearchPathMode = reinterpret_cast<FlagsFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetSearchPathMode")))) {
        setSearchPathMode(0x00000001 | 0x00008000);  // safe search mode, for the process's whole life
    }

    // What a library imports comes from the system folder: where the default folders are restricted to
    // it, by that restriction; elsewhere by a search from the library's own folder onwards (which goes on
    // to the folders of PATH, and so is used only where it must be).
    const DWORD flags = restricted ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH;
    const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Dependencies first, so that each library finds what it imports already loaded.
    for (const char* library :
         {"version.dll", "profapi.dll", "cryptbase.dll", "dwmapi.dll", "propsys.dll", "apphelp.dll",
          "userenv.dll", "setupapi.dll", "ntmarta.dll", "comres.dll", "clbcatq.dll", "oleacc.dll",
          "msimg32.dll", "ole32.dll", "uxtheme.dll", "imm32.dll"}) {
        repair::LoadSystemLibrary(library, flags);
    }
    // Where the system has activation contexts, the manifest turns the common controls' name into
    // version 6 from the system's store; Windows 2000 has none and would look in the program's folder.
    if (GetProcAddress(kernel, "CreateActCtxA") == nullptr) repair::LoadSystemLibrary("comctl32.dll", flags);
    SetErrorMode(errorMode);
}

namespace {

// Files beside the program that make the system's loader take libraries from the program's folder: on
// Windows 2000 "<program>.local" (a file or a folder) sends every library load, even one by full path, to a
// file of that name there; on XP an external "<program>.manifest" takes the place of the program's own and
// can name any library (the common controls among them) a file of the program's own, so that a load by
// that name takes the copy beside the program.
constexpr const wchar_t* kRedirectionSuffixes[] = {L".local", L".manifest"};
constexpr char kRedirectionRefused[] =
    "程序所在的文件夹里有 %s，它会让系统从这个文件夹载入库。"
    "为安全起见，程序不运行；请删除它后再运行。";

// What lies beside the program.
struct Redirection {
    bool unchecked = false;          // the program's own path could not be read: nothing is known
    const wchar_t* found = nullptr;  // the ending of the first redirection file found
    bool externalManifest = false;   // "<program>.manifest" is one of them
};

// Looks for the redirection files beside the program. Asked in UTF-16, so that a path past the ANSI
// functions' limit is asked whole; a path the system gives in the long form ("\\?\...") is asked as
// it is.
Redirection RedirectionBesideProgram() {
    // Room for the long form's prefix, the longest path and an ending.
    static wchar_t buffer[8 + 0x8000 + 16];
    wchar_t* const program = buffer + 8;
    const DWORD length = GetModuleFileNameW(nullptr, program, 0x8000);
    if (length == 0 || length >= 0x8000) return Redirection{true};
    const std::wstring_view path(program, length);
    const bool longForm = path.substr(0, 4) == L"\\\\?\\" || path.substr(0, 4) == L"\\\\.\\";
    const wchar_t* asked = program;
    if (!longForm && length + 9 >= MAX_PATH) {  // 9: the longer ending
        // The long form: "\\?\" before a drive's path, "\\?\UNC" in place of a server path's first "\".
        const bool unc = path.substr(0, 2) == L"\\\\";
        const std::wstring_view prefix = unc ? L"\\\\?\\UNC" : L"\\\\?\\";
        wchar_t* const start = program + (unc ? 1 : 0) - prefix.size();
        prefix.copy(start, prefix.size());
        asked = start;
    }
    Redirection redirection;
    for (const wchar_t* suffix : kRedirectionSuffixes) {
        std::wstring_view(suffix).copy(program + length, 16);
        program[length + std::wstring_view(suffix).size()] = L'\0';
        if (GetFileAttributesW(asked) == INVALID_FILE_ATTRIBUTES) {
            // Only "not there" answers the question; any other failure leaves it open.
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
            redirection.unchecked = true;
            return redirection;
        }
        if (redirection.found == nullptr) redirection.found = suffix;
        if (std::wstring_view(suffix) == L".manifest") redirection.externalManifest = true;
    }
    return redirection;
}

// True when an external manifest beside the program can be the process's own activation context: before
// Vista the loader prefers it to the one built into the program, and later systems do too when told to
// (the SideBySide key's PreferExternalManifest, in either registry view).
bool ExternalManifestCanBeInForce() {
    const repair::WindowsVersion system = repair::QuerySystemVersion();
    if (system.major < 6) return true;
    const HMODULE advapi = repair::LoadSystemLibrary("advapi32.dll");
    if (advapi == nullptr) return true;
    using OpenFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, HKEY*);
    using QueryFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD*, DWORD*, BYTE*, DWORD*);
    using CloseFunction = LONG(WINAPI*)(HKEY);
    const auto open =
        reinterpret_cast<OpenFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegOpenKeyExA")));
    const auto query =
        reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegQueryValueExA")));
    const auto close =
        reinterpret_cast<CloseFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegCloseKey")));
    if (open == nullptr || query == nullptr || close == nullptr) return true;
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY key = nullptr;
        if (open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide", 0,
                 KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
            continue;
        }
        DWORD type = 0, value = 0, size = sizeof value;
        const LONG result =
            query(key, "PreferExternalManifest", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        close(key);
        if (result == ERROR_SUCCESS && (type != REG_DWORD || value != 0)) return true;
    }
    return false;
}

// Says why the program does not run, in the system's message box, where that loads nothing from the
// program's folder: the box's window classes are looked up in the activation context made here from the
// program's own manifest, with the system folder as the one folder for its files, not in the external
// manifest's. Windows 2000 has no activation contexts, and there every library the box may bring in
// (the input method's among them) would come from the program's folder: no box there. Nor where an
// external manifest is the process's own context (RefusedForRedirection).
void ShowRefusal(const wchar_t* suffix) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using CreateFunction = HANDLE(WINAPI*)(const ACTCTXA*);
    using ActivateFunction = BOOL(WINAPI*)(HANDLE, ULONG_PTR*);
    using DeactivateFunction = BOOL(WINAPI*)(DWORD, ULONG_PTR);
    using ReleaseFunction = void(WINAPI*)(HANDLE);
    const auto find = [kernel](const char* function) {
        return reinterpret_cast<void*>(GetProcAddress(kernel, function));
    };
    const auto create = reinterpret_cast<CreateFunction>(find("CreateActCtxA"));
    const auto activate = reinterpret_cast<ActivateFunction>(find("ActivateActCtx"));
    const auto deactivate = reinterpret_cast<DeactivateFunction>(find("DeactivateActCtx"));
    const auto release = reinterpret_cast<ReleaseFunction>(find("ReleaseActCtx"));
    if (create == nullptr || activate == nullptr || deactivate == nullptr || release == nullptr) return;
    // From XP on a manifest of the program's own sets "<program>.local" aside, and loads by full path
    // take the system's files.
    CloseLibrarySearchPath();

    repair::Win32ReadingPlatform platform;
    const std::string program = platform.ModulePath();
    const std::string system = repair::SystemFolder();
    if (program.empty() || system.empty()) return;
    ACTCTXA own{};
    own.cbSize = sizeof own;
    own.dwFlags =
        ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    own.lpSource = program.c_str();
    own.lpResourceName = MAKEINTRESOURCEA(1);  // the program's manifest
    own.hModule = GetModuleHandleA(nullptr);
    own.lpAssemblyDirectory = system.c_str();
    const HANDLE context = create(&own);
    if (context == INVALID_HANDLE_VALUE) return;
    ULONG_PTR cookie = 0;
    if (activate(context, &cookie)) {
        std::string name(ui::FileNameOf(program, platform.Lead()));
        for (const wchar_t* c = suffix; *c != L'\0'; ++c) name += static_cast<char>(*c);
        std::string text = kRedirectionRefused;
        text.replace(text.find("%s"), 2, name);
        const std::string title = ui::TitleFromModulePath(program, platform.Lead(),
                                                          [](std::string& part) { CharLowerA(part.data()); });
        MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
        deactivate(0, cookie);
    }
    release(context);
}

}  // namespace

bool RefusedForRedirection(bool tellUser) {
    const Redirection redirection = RedirectionBesideProgram();
    if (redirection.unchecked) return true;
    if (redirection.found == nullptr) return false;
    if (!tellUser) return true;
    // Under an external manifest in force, a library the box's context does not name is looked up in that
    // manifest's context, which may name it a file beside the program: no box then.
    if (!redirection.externalManifest || !ExternalManifestCanBeInForce()) ShowRefusal(redirection.found);
    return true;
}

}  // namespace ui
