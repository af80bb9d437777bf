#include "dispatch_call.h"

#include <string>

namespace declconv {

HRESULT CallByName(IDispatch* object, const wchar_t* member, WORD kind, std::vector<VARIANT> args,
                   VARIANT* result) {
    std::wstring name(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;

    // Invoke takes the last argument first, and gets copies: Wine converts a by-value
    // argument for a by-reference parameter in place and frees what it held, which
    // is the caller's. A copy of a by-reference argument still refers to the caller's.
    std::vector<VARIANT> copies(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        VARIANT& copy = copies[args.size() - 1 - i];
        VariantInit(&copy);
        if (SUCCEEDED(hr)) hr = VariantCopy(&copy, &args[i]);
    }
    DISPPARAMS params{};
    params.rgvarg = copies.empty() ? nullptr : copies.data();
    params.cArgs = static_cast<UINT>(copies.size());
    DISPID putId = DISPID_PROPERTYPUT;
    if (kind == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    if (result != nullptr) VariantInit(result);
    EXCEPINFO exception{};
    UINT badArgument = 0;
    if (SUCCEEDED(hr)) {
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &exception,
                            &badArgument);
    }
    for (auto& copy : copies) VariantClear(&copy);
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
