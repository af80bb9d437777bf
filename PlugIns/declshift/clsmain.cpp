// The clsMain object: six option fields and the members of _clsMain. Every member
// is a thin shell around the conversion engine: automation strings in, engine text
// out, and a failure status only for missing arguments or exhausted memory.
#include <new>
#include <string>
#include <utility>

#include "bstr.h"
#include "declshift.h"
#include "declshift_i.h"
#include "server.h"

// COM objects die through Release, never through a pointer to their interface,
// which by the binary standard has no virtual destructor.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace declshift::com {
namespace {

// Runs a member's body so that no exception leaves the object.
template <typename Body>
HRESULT Shielded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT AnswerBool(VARIANT_BOOL* result, bool value) noexcept {
    if (result == nullptr) return E_POINTER;
    *result = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT AnswerText(BSTR* result, std::u16string_view value) noexcept {
    if (result == nullptr) return E_POINTER;
    *result = NewBstr(value);
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT StoreFlag(std::int16_t& field, const VARIANT_BOOL* value) noexcept {
    if (value == nullptr) return E_POINTER;
    field = *value;
    return S_OK;
}

// A by-reference text argument: the engine works on `text`; Commit hands a changed
// text back to the caller, freeing the string it replaces. Prepare allocates, Commit
// cannot fail, so a call either changes everything or nothing.
class InOutText {
public:
    explicit InOutText(BSTR* slot) : slot_(slot), text_(FromBstr(*slot)) {}
    std::u16string& Text() noexcept { return text_; }
    bool Prepare() {
        if (SameText(*slot_, text_)) return true;
        replacement_ = Bstr(text_);
        return static_cast<bool>(replacement_);
    }
    void Commit() noexcept {
        if (!replacement_) return;
        SysFreeString(*slot_);
        *slot_ = replacement_.release();
    }

private:
    BSTR* slot_;
    std::u16string text_;
    Bstr replacement_;
};

class ClsMain final : public _clsMain {
public:
    ClsMain() noexcept { ObjectCreated(); }
    ~ClsMain() { ObjectDestroyed(); }
    ClsMain(const ClsMain&) = delete;
    ClsMain& operator=(const ClsMain&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID__clsMain)) {
            *object = static_cast<_clsMain*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch, served from the type library: by-name calls run the vtable members.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return InterfaceTypeInfo(info, nullptr);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* callable = nullptr;
        HRESULT hr = InterfaceTypeInfo(nullptr, &callable);
        if (FAILED(hr)) return hr;
        hr = DispGetIDsOfNames(callable, names, count, ids);
        callable->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* callable = nullptr;
        HRESULT hr = InterfaceTypeInfo(nullptr, &callable);
        if (FAILED(hr)) return hr;
        hr = DispInvoke(static_cast<_clsMain*>(this), callable, id, flags, params, result, exception,
                        badArgument);
        callable->Release();
        return hr;
    }

    // _clsMain, in slot order.
    HRESULT STDMETHODCALLTYPE get_m_Charset(LONG* result) override {
        if (result == nullptr) return E_POINTER;
        *result = options_.m_Charset;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_m_Charset(LONG value) override {
        options_.m_Charset = value;
        return S_OK;
    }
    // The automation conversion rules: rounding half to even, numeric text parsed,
    // empty as 0; anything else fails the call and keeps the field.
    HRESULT STDMETHODCALLTYPE put_Charset(VARIANT* value) override {
        if (value == nullptr) return E_POINTER;
        VARIANT* source = value;
        if (V_VT(value) == (VT_VARIANT | VT_BYREF)) {
            source = V_VARIANTREF(value);
            if (source == nullptr) return E_POINTER;
        }
        VARIANT converted;
        VariantInit(&converted);
        const HRESULT hr = VariantChangeType(&converted, source, 0, VT_I4);
        if (FAILED(hr)) return hr;
        options_.m_Charset = V_I4(&converted);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_VarRanges(VARIANT_BOOL* result) override {
        return AnswerBool(result, false);
    }
    HRESULT STDMETHODCALLTYPE mPublic() override { return ClearScope(); }
    HRESULT STDMETHODCALLTYPE mNoRange() override { return ClearScope(); }
    HRESULT STDMETHODCALLTYPE mPrivate() override { return ClearScope(); }
    HRESULT STDMETHODCALLTYPE get_Version(BSTR* result) override { return AnswerText(result, u"1.40"); }
    HRESULT STDMETHODCALLTYPE get_Syntax(BSTR* result) override { return AnswerText(result, u"Tarnwick"); }
    HRESULT STDMETHODCALLTYPE InitPlugIn(VARIANT_BOOL* result) override { return AnswerBool(result, true); }
    HRESULT STDMETHODCALLTYPE get_ShowParams(VARIANT_BOOL* result) override {
        return AnswerBool(result, true);
    }
    HRESULT STDMETHODCALLTYPE put_ShowParams(VARIANT_BOOL* value) override {
        return StoreFlag(options_.m_ShowParams, value);
    }
    HRESULT STDMETHODCALLTYPE get_AutoFormat(VARIANT_BOOL* result) override {
        return AnswerBool(result, true);
    }
    HRESULT STDMETHODCALLTYPE put_AutoFormat(VARIANT_BOOL* value) override {
        return StoreFlag(options_.m_AutoFormat, value);
    }
    HRESULT STDMETHODCALLTYPE get_ExplConst(VARIANT_BOOL* result) override {
        return AnswerBool(result, true);
    }
    HRESULT STDMETHODCALLTYPE put_ExplConst(VARIANT_BOOL* value) override {
        return StoreFlag(options_.m_ExplConst, value);
    }
    HRESULT STDMETHODCALLTYPE get_InsertAfterOption(VARIANT_BOOL* result) override {
        return AnswerBool(result, false);
    }
    HRESULT STDMETHODCALLTYPE put_InsertAfterOption(VARIANT_BOOL* value) override {
        return StoreFlag(options_.m_InsertAfterOption, value);
    }

    HRESULT STDMETHODCALLTYPE GetType(BSTR m_Name, BSTR m_Data, BSTR* result) override {
        return Convert(result,
                       [&] { return declshift::GetType(options_, FromBstr(m_Name), FromBstr(m_Data)); });
    }
    HRESULT STDMETHODCALLTYPE GetEnum(BSTR m_Name, BSTR m_Data, BSTR* result) override {
        return Convert(result,
                       [&] { return declshift::GetEnum(options_, FromBstr(m_Name), FromBstr(m_Data)); });
    }
    HRESULT STDMETHODCALLTYPE GetConst(BSTR* m_Name, BSTR* m_Data, BSTR* result) override {
        return ConvertInOut(result, m_Name, m_Data, [&](std::u16string& name, std::u16string& data) {
            return declshift::GetConst(options_, name, data);
        });
    }
    HRESULT STDMETHODCALLTYPE GetSub(BSTR* m_Name, BSTR* m_Data, BSTR* result) override {
        return ConvertInOut(result, m_Name, m_Data, [&](std::u16string& name, std::u16string& data) {
            return declshift::GetSub(options_, name, data);
        });
    }
    HRESULT STDMETHODCALLTYPE GetFunc(BSTR* m_Name, BSTR* m_Data, BSTR* result) override {
        return ConvertInOut(result, m_Name, m_Data, [&](std::u16string& name, std::u16string& data) {
            return declshift::GetFunc(options_, name, data);
        });
    }
    HRESULT STDMETHODCALLTYPE Preview(BSTR* result) override {
        return Convert(result, [&] { return declshift::Preview(options_); });
    }
    HRESULT STDMETHODCALLTYPE StartsWith(BSTR* src, BSTR* contains, VARIANT_BOOL* result) override {
        if (src == nullptr || contains == nullptr || result == nullptr) return E_POINTER;
        return Shielded([&] {
            *result =
                declshift::StartsWith(FromBstr(*src), FromBstr(*contains)) ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        });
    }

private:
    HRESULT ClearScope() noexcept {
        options_.m_Scope.clear();
        return S_OK;
    }

    // A conversion member: the result starts empty, and the engine's text (or its
    // failure sentence) comes back with S_OK.
    template <typename Engine>
    static HRESULT Convert(BSTR* result, Engine&& engine) noexcept {
        if (result == nullptr) return E_POINTER;
        *result = nullptr;
        return Shielded([&] {
            Bstr text(engine());
            if (!text) return E_OUTOFMEMORY;
            *result = text.release();
            return S_OK;
        });
    }

    // The same for members with by-reference texts, which the engine may rewrite;
    // a rewritten text goes back to the caller only when the whole call succeeds.
    template <typename Engine>
    static HRESULT ConvertInOut(BSTR* result, BSTR* name, BSTR* data, Engine&& engine) noexcept {
        if (result == nullptr) return E_POINTER;
        *result = nullptr;
        if (name == nullptr || data == nullptr) return E_POINTER;
        return Shielded([&] {
            InOutText nameText(name);
            InOutText dataText(data);
            Bstr text(engine(nameText.Text(), dataText.Text()));
            if (!text || !nameText.Prepare() || !dataText.Prepare()) return E_OUTOFMEMORY;
            nameText.Commit();
            dataText.Commit();
            *result = text.release();
            return S_OK;
        });
    }

    LONG refs_ = 1;
    declshift::Options options_;
};

}  // namespace

HRESULT CreateClsMain(REFIID iid, void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) ClsMain();
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

}  // namespace declshift::com
