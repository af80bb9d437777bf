// Backends that reach the plug-in as a host application does: declshift.clsMain is
// created through COM and called through the vtable of _clsMain, or by member name
// through IDispatch. Every request still runs on a fresh object.
#include <wrl/client.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "bstr.h"
#include "declshift_i.h"
#include "declshift_identity.h"
#include "dispatch_call.h"
#include "plugin.h"

namespace declconv {
namespace {

using declshift::com::Bstr;
using Microsoft::WRL::ComPtr;

[[noreturn]] void ThrowFailure(const std::string& what, HRESULT hr) {
    char status[16];
    std::snprintf(status, sizeof status, "0x%08lX", static_cast<unsigned long>(hr));
    throw std::runtime_error(what + " failed with status " + status);
}

void Check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) ThrowFailure(what, hr);
}

// Member names and the programmatic identifier, for messages: plain ASCII.
std::string Ascii(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

Bstr NewText(const std::u16string& text) {
    Bstr out(text);
    if (!out) throw std::bad_alloc();
    return out;
}

// The Charset property takes a Variant; the host hands it a 32-bit integer.
VARIANT CharsetValue(const declshift::Options& options) {
    VARIANT charset;
    VariantInit(&charset);
    V_VT(&charset) = VT_I4;
    V_I4(&charset) = options.m_Charset;
    return charset;
}

// COM for the whole run, in a single-threaded apartment as the plug-in expects.
class Apartment {
public:
    Apartment() { Check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx"); }
    ~Apartment() { CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
};

class VtablePlugIn final : public PlugIn {
public:
    explicit VtablePlugIn(REFCLSID classId) {
        Check(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object_)),
              "CoCreateInstance");
    }
    void PutOptions(const declshift::Options& options) override {
        VARIANT charset = CharsetValue(options);
        Check(object_->put_Charset(&charset), "Charset");
        VARIANT_BOOL flag = options.m_AutoFormat;
        Check(object_->put_AutoFormat(&flag), "AutoFormat");
        flag = options.m_ShowParams;
        Check(object_->put_ShowParams(&flag), "ShowParams");
        flag = options.m_ExplConst;
        Check(object_->put_ExplConst(&flag), "ExplConst");
        flag = options.m_InsertAfterOption;
        Check(object_->put_InsertAfterOption(&flag), "InsertAfterOption");
    }
    std::u16string GetConst(std::u16string& name, std::u16string& data) override {
        return TextByReference(&_clsMain::GetConst, "GetConst", name, data);
    }
    std::u16string GetSub(std::u16string& name, std::u16string& data) override {
        return TextByReference(&_clsMain::GetSub, "GetSub", name, data);
    }
    std::u16string GetFunc(std::u16string& name, std::u16string& data) override {
        return TextByReference(&_clsMain::GetFunc, "GetFunc", name, data);
    }
    bool StartsWith(std::u16string& src, std::u16string& contains) override {
        Bstr srcText = NewText(src);
        Bstr containsText = NewText(contains);
        VARIANT_BOOL result = VARIANT_FALSE;
        Check(object_->StartsWith(srcText.slot(), containsText.slot(), &result), "StartsWith");
        return result != VARIANT_FALSE;
    }
    std::u16string GetType(std::u16string name, std::u16string data) override {
        Bstr result;
        Check(object_->GetType(NewText(name).get(), NewText(data).get(), result.out()), "GetType");
        return result.text();
    }
    std::u16string GetEnum(std::u16string name, std::u16string data) override {
        Bstr result;
        Check(object_->GetEnum(NewText(name).get(), NewText(data).get(), result.out()), "GetEnum");
        return result.text();
    }
    std::u16string Preview() override {
        Bstr result;
        Check(object_->Preview(result.out()), "Preview");
        return result.text();
    }

private:
    using InOutSlot = HRESULT (STDMETHODCALLTYPE _clsMain::*)(BSTR*, BSTR*, BSTR*);

    // A converter with two by-reference texts and a text result.
    std::u16string TextByReference(InOutSlot slot, const char* what, std::u16string& name,
                                   std::u16string& data) {
        Bstr nameText = NewText(name);
        Bstr dataText = NewText(data);
        Bstr result;
        Check((object_.Get()->*slot)(nameText.slot(), dataText.slot(), result.out()), what);
        name = nameText.text();
        data = dataText.text();
        return result.text();
    }

    ComPtr<_clsMain> object_;
};

class DispatchPlugIn final : public PlugIn {
public:
    explicit DispatchPlugIn(REFCLSID classId) {
        Check(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object_)),
              "CoCreateInstance");
    }
    void PutOptions(const declshift::Options& options) override {
        VARIANT charset = CharsetValue(options);
        Put(L"Charset", charset);
        PutFlag(L"AutoFormat", options.m_AutoFormat);
        PutFlag(L"ShowParams", options.m_ShowParams);
        PutFlag(L"ExplConst", options.m_ExplConst);
        PutFlag(L"InsertAfterOption", options.m_InsertAfterOption);
    }
    std::u16string GetConst(std::u16string& name, std::u16string& data) override {
        return TextByReference(L"GetConst", name, data);
    }
    std::u16string GetSub(std::u16string& name, std::u16string& data) override {
        return TextByReference(L"GetSub", name, data);
    }
    std::u16string GetFunc(std::u16string& name, std::u16string& data) override {
        return TextByReference(L"GetFunc", name, data);
    }
    bool StartsWith(std::u16string& src, std::u16string& contains) override {
        Bstr srcText = NewText(src);
        Bstr containsText = NewText(contains);
        VARIANT result;
        Call(L"StartsWith", DISPATCH_METHOD, {ByReference(srcText), ByReference(containsText)}, &result);
        const bool answer = V_VT(&result) == VT_BOOL && V_BOOL(&result) != VARIANT_FALSE;
        const bool wellTyped = V_VT(&result) == VT_BOOL;
        VariantClear(&result);
        if (!wellTyped) throw std::runtime_error("StartsWith answered no boolean");
        return answer;
    }
    std::u16string GetType(std::u16string name, std::u16string data) override {
        return TextByValue(L"GetType", name, data);
    }
    std::u16string GetEnum(std::u16string name, std::u16string data) override {
        return TextByValue(L"GetEnum", name, data);
    }
    std::u16string Preview() override {
        VARIANT result;
        Call(L"Preview", DISPATCH_METHOD, {}, &result);
        return TakeText(result);
    }

private:
    static VARIANT ByReference(Bstr& text) {
        VARIANT argument;
        VariantInit(&argument);
        V_VT(&argument) = VT_BSTR | VT_BYREF;
        V_BSTRREF(&argument) = text.slot();
        return argument;
    }

    static VARIANT ByValue(const Bstr& text) {
        VARIANT argument;
        VariantInit(&argument);
        V_VT(&argument) = VT_BSTR;
        V_BSTR(&argument) = text.get();
        return argument;
    }

    void Call(const wchar_t* member, WORD kind, std::vector<VARIANT> args, VARIANT* result) {
        const HRESULT hr = CallByName(object_.Get(), member, kind, std::move(args), result);
        if (FAILED(hr)) ThrowFailure(Ascii(member), hr);
    }
    void Put(const wchar_t* member, VARIANT value) { Call(member, DISPATCH_PROPERTYPUT, {value}, nullptr); }
    void PutFlag(const wchar_t* member, std::int16_t value) {
        VARIANT_BOOL flag = value;
        VARIANT argument;
        VariantInit(&argument);
        V_VT(&argument) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&argument) = &flag;
        Put(member, argument);
    }

    // A converter with two by-reference texts and a text result.
    std::u16string TextByReference(const wchar_t* member, std::u16string& name, std::u16string& data) {
        Bstr nameText = NewText(name);
        Bstr dataText = NewText(data);
        VARIANT result;
        Call(member, DISPATCH_METHOD, {ByReference(nameText), ByReference(dataText)}, &result);
        name = nameText.text();
        data = dataText.text();
        return TakeText(result);
    }
    // A converter with two texts passed by value and a text result.
    std::u16string TextByValue(const wchar_t* member, const std::u16string& name,
                               const std::u16string& data) {
        Bstr nameText = NewText(name);
        Bstr dataText = NewText(data);
        VARIANT result;
        Call(member, DISPATCH_METHOD, {ByValue(nameText), ByValue(dataText)}, &result);
        return TakeText(result);
    }
    static std::u16string TakeText(VARIANT& result) {
        if (V_VT(&result) != VT_BSTR) {
            VariantClear(&result);
            throw std::runtime_error("the member answered no text");
        }
        Bstr text(V_BSTR(&result));  // takes ownership
        return text.text();
    }

    ComPtr<IDispatch> object_;
};

class ComBackend final : public Backend {
public:
    explicit ComBackend(bool byName) : byName_(byName) {
        Check(CLSIDFromProgID(declshift::com::kProgId, &classId_),
              "CLSIDFromProgID(" + Ascii(declshift::com::kProgId) + ")");
    }
    std::unique_ptr<PlugIn> NewObject() override {
        if (byName_) return std::make_unique<DispatchPlugIn>(classId_);
        return std::make_unique<VtablePlugIn>(classId_);
    }

private:
    Apartment apartment_;
    bool byName_;
    CLSID classId_{};
};

}  // namespace

std::unique_ptr<Backend> MakeComBackend() { return std::make_unique<ComBackend>(false); }
std::unique_ptr<Backend> MakeDispatchBackend() { return std::make_unique<ComBackend>(true); }

}  // namespace declconv
