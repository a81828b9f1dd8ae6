// A small in-process COM server standing in for one data-access component: it registers its class under
// HKEY_CLASSES_ROOT\CLSID the way such servers do (regsvr32 calls DllRegisterServer), removes it again on
// DllUnregisterServer, and hands out a class factory for an object that only knows IUnknown.
// Each component is this source built with its own COMPONENT_CLSID and COMPONENT_NAME; Component.def
// exports the four entry points under their plain names, as regsvr32 and COM look them up.
// Built with COMPONENT_IMPORTS_MARKER, it imports a library by name, as a component that ships with a library
// of its own does, and registers only when that library is loaded with it.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <shlwapi.h>

#include <atomic>
#include <string>

#ifdef COMPONENT_IMPORTS_MARKER
extern "C" __declspec(dllimport) int MarkerPresent();
#endif

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};

const char kClsid[] = COMPONENT_CLSID;
const char kName[] = COMPONENT_NAME;

std::string ClassKey() { return std::string("CLSID\\") + kClsid; }

bool SetValue(HKEY root, const std::string& key, const char* name, const std::string& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

#ifdef COMPONENT_FAULT_SWITCH
// The fault asked for beside the module, if any: the first bytes of "<module>.fault".
std::string FaultAsked() {
    char module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(g_module, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    const std::string path = std::string(module, length) + ".fault";
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    char bytes[8] = {};
    DWORD read = 0;
    ReadFile(file, bytes, sizeof bytes - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(bytes, read);
}

void FailAsAsked() {
    const std::string fault = FaultAsked();
    if (fault.rfind("crash", 0) == 0) {
        // cppcheck-suppress nullPointer ; the access violation a broken component causes, on purpose
        *static_cast<volatile int*>(nullptr) = 1;
    }
    if (fault.rfind("hang", 0) == 0) Sleep(INFINITE);
}
#endif

class Object final : public IUnknown {
public:
    Object() { ++g_objects; }
    virtual ~Object() { --g_objects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --references_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<long> references_{1};
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // a static object
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
#ifdef COMPONENT_FAULT_SWITCH
        FailAsAsked();
#endif
        Object* object = new Object;
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++g_objects : --g_objects;
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    char path[MAX_PATH] = {};
    if (!GetModuleFileNameA(g_module, path, sizeof path)) return SELFREG_E_CLASS;
#ifdef COMPONENT_IMPORTS_MARKER
    if (MarkerPresent() != 1) return SELFREG_E_CLASS;
#endif
    const bool ok = SetValue(HKEY_CLASSES_ROOT, ClassKey(), nullptr, kName) &&
                    SetValue(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", nullptr, path) &&
                    SetValue(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", "ThreadingModel", "Both");
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const DWORD status = SHDeleteKeyA(HKEY_CLASSES_ROOT, ClassKey().c_str());
    return (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) ? S_OK : SELFREG_E_CLASS;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CLSID own{};
    wchar_t wide[64] = {};
    MultiByteToWideChar(CP_ACP, 0, kClsid, -1, wide, 64);
    if (FAILED(CLSIDFromString(wide, &own)) || !IsEqualCLSID(clsid, own)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

}  // extern "C"
