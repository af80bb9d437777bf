#include "dispatch_call.h"

#include <algorithm>
#include <string>

namespace declconv {

HRESULT CallByName(IDispatch* object, const wchar_t* member, WORD kind, std::vector<VARIANT> args,
                   VARIANT* result) {
    std::wstring name(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;

    std::reverse(args.begin(), args.end());  // Invoke takes the last argument first
    DISPPARAMS params{};
    params.rgvarg = args.empty() ? nullptr : args.data();
    params.cArgs = static_cast<UINT>(args.size());
    DISPID putId = DISPID_PROPERTYPUT;
    if (kind == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    if (result != nullptr) VariantInit(result);
    EXCEPINFO exception{};
    UINT badArgument = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &exception, &badArgument);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
        hr = exception.scode != 0 ? exception.scode : E_FAIL;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    return hr;
}

}  // namespace declconv
