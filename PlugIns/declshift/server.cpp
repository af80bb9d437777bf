// The in-process server: module handle, object and lock counts, the class factory
// and the two exports that hand out objects and answer whether the DLL may go.
#include "server.h"

#include <mutex>
#include <new>
#include <string>

#include "declshift_i.h"

// COM objects die through Release, never through a pointer to their interface,
// which by the binary standard has no virtual destructor.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace declshift::com {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

// The interface's type information, loaded on first use and kept while objects live.
std::mutex g_typeInfoMutex;
ITypeInfo* g_described = nullptr;
ITypeInfo* g_callable = nullptr;

HRESULT LoadTypeInfo() noexcept {
    std::wstring path;
    HRESULT hr = ModulePath(path);
    if (FAILED(hr)) return hr;
    ITypeLib* library = nullptr;
    hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    ITypeInfo* described = nullptr;
    hr = library->GetTypeInfoOfGuid(IID__clsMain, &described);
    library->Release();
    if (FAILED(hr)) return hr;
    // A dual interface is described as a dispinterface; its vtable view is the
    // interface it refers to as implemented type -1.
    HREFTYPE vtableView = 0;
    ITypeInfo* callable = nullptr;
    hr = described->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableView);
    if (SUCCEEDED(hr)) hr = described->GetRefTypeInfo(vtableView, &callable);
    if (FAILED(hr)) {
        described->Release();
        return hr;
    }
    g_described = described;
    g_callable = callable;
    return S_OK;
}

void ReleaseTypeInfo() noexcept {
    std::lock_guard lock(g_typeInfoMutex);
    if (g_described != nullptr) g_described->Release();
    if (g_callable != nullptr) g_callable->Release();
    g_described = nullptr;
    g_callable = nullptr;
}

// The one class factory: a static object. References to it count as server locks,
// so the DLL stays loaded while a client holds the factory.
class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        InterlockedIncrement(&g_locks);
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        InterlockedDecrement(&g_locks);
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return CreateClsMain(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&g_locks);
        } else {
            InterlockedDecrement(&g_locks);
        }
        return S_OK;
    }
};

ClassFactory g_factory;

}  // namespace

HRESULT ModulePath(std::wstring& path) noexcept {
    try {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length =
                GetModuleFileNameW(g_module, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
            if (length < buffer.size()) {
                buffer.resize(length);
                path = std::move(buffer);
                return S_OK;
            }
            buffer.resize(buffer.size() * 2);
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void ObjectCreated() noexcept { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() noexcept { InterlockedDecrement(&g_objects); }

HRESULT InterfaceTypeInfo(ITypeInfo** described, ITypeInfo** callable) noexcept {
    std::lock_guard lock(g_typeInfoMutex);
    if (g_described == nullptr) {
        const HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
    }
    if (described != nullptr) {
        g_described->AddRef();
        *described = g_described;
    }
    if (callable != nullptr) {
        g_callable->AddRef();
        *callable = g_callable;
    }
    return S_OK;
}

}  // namespace declshift::com

using namespace declshift::com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, CLSID_clsMain)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() {
    if (InterlockedCompareExchange(&g_objects, 0, 0) != 0 ||
        InterlockedCompareExchange(&g_locks, 0, 0) != 0) {
        return S_FALSE;
    }
    // Nothing uses the type information any more; a later load reads it again.
    ReleaseTypeInfo();
    return S_OK;
}
