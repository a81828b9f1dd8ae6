#include "check/SystemCalls.h"

#include "repair/Win32Platform.h"

namespace check {
namespace {

template <class Function>
void Find(HMODULE library, const char* name, Function& function) {
    function = library == nullptr
                   ? nullptr
                   : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

const Advapi& AdvapiFunctions() {
    static const Advapi functions = [] {
        Advapi f;
        const HMODULE library = repair::LoadSystemLibrary("advapi32.dll");
        Find(library, "RegOpenKeyExA", f.regOpenKeyEx);
        Find(library, "RegEnumKeyExA", f.regEnumKeyEx);
        Find(library, "RegQueryValueExA", f.regQueryValueEx);
        Find(library, "RegCloseKey", f.regCloseKey);
        Find(library, "GetUserNameA", f.getUserName);
        Find(library, "OpenProcessToken", f.openProcessToken);
        Find(library, "GetTokenInformation", f.getTokenInformation);
        Find(library, "AllocateAndInitializeSid", f.allocateAndInitializeSid);
        Find(library, "CheckTokenMembership", f.checkTokenMembership);
        Find(library, "FreeSid", f.freeSid);
        return f;
    }();
    return functions;
}

const VersionApi& VersionFunctions() {
    static const VersionApi functions = [] {
        VersionApi f;
        const HMODULE library = repair::LoadSystemLibrary("version.dll");
        Find(library, "GetFileVersionInfoSizeA", f.getFileVersionInfoSize);
        Find(library, "GetFileVersionInfoA", f.getFileVersionInfo);
        Find(library, "VerQueryValueA", f.verQueryValue);
        return f;
    }();
    return functions;
}

const OleApi& OleFunctions() {
    static const OleApi functions = [] {
        OleApi f;
        const HMODULE library = repair::LoadSystemLibrary("ole32.dll");
        Find(library, "CoInitialize", f.coInitialize);
        Find(library, "CoCreateInstance", f.coCreateInstance);
        Find(library, "CoUninitialize", f.coUninitialize);
        Find(library, "CLSIDFromString", f.clsidFromString);
        return f;
    }();
    return functions;
}

FARPROC SystemFunction(const char* library, const char* function) {
    const HMODULE module = GetModuleHandleA(library);
    return module == nullptr ? nullptr : GetProcAddress(module, function);
}

}  // namespace check
