// What the parts of the in-process server share: the module's path, its object and lock
// counts, and the interface's type information from the embedded type library.
#pragma once

#include <windows.h>
// (after windows.h)
#include <oaidl.h>

#include <string>

namespace declshift::com {

// The DLL's own full path. Fails with E_OUTOFMEMORY or the system's error; `path`
// is then unchanged.
HRESULT ModulePath(std::wstring& path) noexcept;

// Live objects and server locks, the answer of DllCanUnloadNow.
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;

// The type information of `_clsMain`, loaded once from this DLL's type library.
// `described` is the dispatch view that IDispatch::GetTypeInfo hands to clients;
// `callable` is the vtable view through which IDispatch calls run (DispInvoke).
// Each pointer receives its own reference.
HRESULT InterfaceTypeInfo(ITypeInfo** described, ITypeInfo** callable) noexcept;

// A fresh clsMain object answering `iid`.
HRESULT CreateClsMain(REFIID iid, void** object) noexcept;

}  // namespace declshift::com
