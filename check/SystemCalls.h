// The functions of system libraries outside the few every program may import on Windows 2000: each is
// loaded from the system folder by its full path and looked up by name, so that no library beside the
// program is ever taken and a function a system lacks is simply absent (null).
#pragma once

#include <windows.h>

namespace check {

struct Advapi {
    decltype(&RegOpenKeyExA) regOpenKeyEx = nullptr;
    decltype(&RegEnumKeyExA) regEnumKeyEx = nullptr;
    decltype(&RegQueryValueExA) regQueryValueEx = nullptr;
    decltype(&RegCloseKey) regCloseKey = nullptr;
    decltype(&GetUserNameA) getUserName = nullptr;
    decltype(&OpenProcessToken) openProcessToken = nullptr;
    decltype(&GetTokenInformation) getTokenInformation = nullptr;
    decltype(&AllocateAndInitializeSid) allocateAndInitializeSid = nullptr;
    decltype(&CheckTokenMembership) checkTokenMembership = nullptr;
    decltype(&FreeSid) freeSid = nullptr;
};

struct VersionApi {
    DWORD(WINAPI* getFileVersionInfoSize)(LPCSTR, LPDWORD) = nullptr;
    BOOL(WINAPI* getFileVersionInfo)(LPCSTR, DWORD, DWORD, LPVOID) = nullptr;
    BOOL(WINAPI* verQueryValue)(LPCVOID, LPCSTR, LPVOID*, PUINT) = nullptr;
};

struct OleApi {
    HRESULT(WINAPI* coInitialize)(LPVOID) = nullptr;
    HRESULT(WINAPI* coCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) = nullptr;
    void(WINAPI* coUninitialize)() = nullptr;
    HRESULT(WINAPI* clsidFromString)(LPCOLESTR, LPCLSID) = nullptr;
};

// Loaded once; a library that cannot be loaded leaves its functions null.
const Advapi& AdvapiFunctions();
const VersionApi& VersionFunctions();
const OleApi& OleFunctions();

// A function of an already loaded system library (kernel32, ntdll); null when it has none.
FARPROC SystemFunction(const char* library, const char* function);

}  // namespace check
