// A library that tells when it is loaded: in the process that loads it, it writes an empty file named
// after itself with ".loaded" appended, beside itself. The end-to-end tests put copies of it beside the
// program under the names of system libraries, to see that none of them is ever taken for the system's.
// A component can also import it by its own name (MarkerPresent), as a component imports a library it ships
// with: then a copy beside the component is the one meant, and a copy elsewhere tells where it was looked for.
#include <windows.h>

extern "C" __declspec(dllexport) int MarkerPresent() { return 1; }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    CopyMemory(path + length, ".loaded", sizeof ".loaded");
    const HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return TRUE;
}
