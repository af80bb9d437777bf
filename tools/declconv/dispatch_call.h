// Calls through IDispatch by member name, the way a script host reaches an object.
#pragma once

#include <windows.h>
// (after windows.h)
#include <oaidl.h>

#include <vector>

namespace declconv {

// Looks `member` up with GetIDsOfNames and invokes it as `kind` (DISPATCH_METHOD,
// DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT) with `args` in the member's own
// parameter order. Invoke gets copies, so the arguments stay as they are (a member
// may still change what a by-reference argument refers to). A failure status of the
// member itself, which Invoke reports as DISP_E_EXCEPTION, comes back
// as that status, so both call routes answer alike. `result` may be null.
HRESULT CallByName(IDispatch* object, const wchar_t* member, WORD kind, std::vector<VARIANT> args,
                   VARIANT* result);

}  // namespace declconv
