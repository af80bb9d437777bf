// Self-registration: the class, its programmatic identifier and the type library.
// Everything the server writes is listed in kClassValues and kClassKeys; the type
// library's own keys (TypeLib, Interface) are written and removed by the platform.
// Every value comes from declshift.idl: the identifiers through widl's header, the
// class's progid, threading model and version through the one CMake generates.
#include <cwchar>
#include <new>
#include <string>
#include <string_view>

#include "declshift_i.h"
#include "declshift_identity.h"
#include "server.h"

namespace declshift::com {
namespace {

// A registry value under HKEY_CLASSES_ROOT. In keys and values, {clsid}, {libid},
// {progid} and {module} stand for the class identifier, the type library
// identifier, the programmatic identifier and this DLL's full path.
struct ClassValue {
    const wchar_t* key;
    const wchar_t* name;  // null: the key's default value
    const wchar_t* value;
};

constexpr ClassValue kClassValues[] = {
    {L"CLSID\\{clsid}", nullptr, L"{progid}"},
    {L"CLSID\\{clsid}\\InprocServer32", nullptr, L"{module}"},
    {L"CLSID\\{clsid}\\InprocServer32", L"ThreadingModel", kThreadingModel},
    {L"CLSID\\{clsid}\\ProgID", nullptr, L"{progid}"},
    {L"CLSID\\{clsid}\\TypeLib", nullptr, L"{libid}"},
    {L"CLSID\\{clsid}\\VERSION", nullptr, kClassVersion},
    {L"{progid}", nullptr, L"{progid}"},
    {L"{progid}\\CLSID", nullptr, L"{clsid}"},
};

// The trees that DllUnregisterServer removes.
constexpr const wchar_t* kClassKeys[] = {L"CLSID\\{clsid}", L"{progid}"};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    const int length = StringFromGUID2(guid, text, 40);
    return std::wstring(text, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

void ReplaceAll(std::wstring& text, std::wstring_view find, std::wstring_view with) {
    for (std::size_t at = text.find(find); at != std::wstring::npos; at = text.find(find, at + with.size())) {
        text.replace(at, find.size(), with);
    }
}

std::wstring Expand(std::wstring text, const std::wstring& module) {
    ReplaceAll(text, L"{clsid}", GuidText(CLSID_clsMain));
    ReplaceAll(text, L"{libid}", GuidText(LIBID_declshift));
    ReplaceAll(text, L"{progid}", kProgId);
    ReplaceAll(text, L"{module}", module);
    return text;
}

HRESULT WriteValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    RegCloseKey(handle);
    return HRESULT_FROM_WIN32(status);
}

// Removes the key with everything below it; a key that is not there is no failure.
HRESULT RemoveTree(const std::wstring& key) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

// Whether TypeLib\{libid}\major.minor\lcid\platform exists (numbers in hexadecimal,
// as the platform writes them).
bool TypeLibRegistered(const TLIBATTR& attributes) {
    wchar_t version[64];
    std::swprintf(version, 64, L"\\%x.%x\\%lx\\%ls", attributes.wMajorVerNum, attributes.wMinorVerNum,
                  static_cast<unsigned long>(attributes.lcid),
                  attributes.syskind == SYS_WIN64 ? L"win64" : L"win32");
    const std::wstring key = L"TypeLib\\" + GuidText(attributes.guid) + version;
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

HRESULT LoadOwnTypeLib(const std::wstring& module, ITypeLib** library) {
    return LoadTypeLibEx(module.c_str(), REGKIND_NONE, library);
}

HRESULT RegisterAll() {
    std::wstring module;
    HRESULT hr = ModulePath(module);
    if (FAILED(hr)) return hr;

    ITypeLib* library = nullptr;
    hr = LoadOwnTypeLib(module, &library);
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(library, module.data(), nullptr);
    library->Release();
    if (FAILED(hr)) return hr;

    for (const auto& entry : kClassValues) {
        hr = WriteValue(Expand(entry.key, module), entry.name, Expand(entry.value, module));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT UnregisterAll() {
    std::wstring module;
    HRESULT hr = ModulePath(module);
    if (FAILED(hr)) return hr;

    HRESULT first = S_OK;
    for (const wchar_t* key : kClassKeys) {
        hr = RemoveTree(Expand(key, module));
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }

    // The type library is unregistered under the identity it carries itself, and only
    // when it is registered for this platform: removing what is not there is no failure.
    ITypeLib* library = nullptr;
    hr = LoadOwnTypeLib(module, &library);
    if (FAILED(hr)) return SUCCEEDED(first) ? hr : first;
    TLIBATTR* attributes = nullptr;
    hr = library->GetLibAttr(&attributes);
    if (SUCCEEDED(hr)) {
        if (TypeLibRegistered(*attributes)) {
            hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                   attributes->lcid, attributes->syskind);
        }
        library->ReleaseTLibAttr(attributes);
    }
    library->Release();
    return SUCCEEDED(first) ? hr : first;
}

// The exports' bodies: no exception leaves the DLL.
HRESULT Unregister() noexcept {
    try {
        return UnregisterAll();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// On any failure nothing stays behind.
HRESULT Register() noexcept {
    HRESULT hr;
    try {
        hr = RegisterAll();
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) Unregister();
    return hr;
}

}  // namespace
}  // namespace declshift::com

STDAPI DllRegisterServer() { return declshift::com::Register(); }

STDAPI DllUnregisterServer() { return declshift::com::Unregister(); }
