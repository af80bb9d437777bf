// declshift.dll under Wine, reached as its hosts reach it. One table of conversions
// runs through every backend of declconv (the engine itself, the registered class
// through its vtable, and by name through IDispatch) and must give the same bytes;
// the rest is what only the COM server does: activation and unloading, the class
// factory, name lookup and the Variant conversions of option puts.
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "bstr.h"
#include "declshift_i.h"
#include "declshift_identity.h"
#include "dispatch_call.h"
#include "jsonl.h"
#include "plugin.h"

namespace {

using declshift::com::Bstr;
using Microsoft::WRL::ComPtr;

// ---------------------------------------------------------------------------------
// The same requests through every backend, answered in declconv's JSON Lines form.

struct BackendFactory {
    const char* name;
    std::unique_ptr<declconv::Backend> (*make)();
};

const BackendFactory kBackends[] = {{"native", declconv::MakeNativeBackend},
                                    {"com", declconv::MakeComBackend},
                                    {"dispatch", declconv::MakeDispatchBackend}};

struct Conversion {
    std::string label;
    std::string request;
    std::string response;
};

const std::string kLongName(251, 'N');  // a name the constant line cannot break
const std::string kKeybdEvent =
    R"-("name":"keybd_event","data":"\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)")-";
const std::string kVersionInfoSize =
    R"-("name":"GetFileVersionInfoSize","data":"\"version\" Alias \"GetFileVersionInfoSizeA\" (lptstrFilename As String, lpdwHandle&) As Long")-";
const std::string kWinpos = R"-("name":"WINPOS","data":"\trc As RECT ' client area\r\n\tpt As POINTAPI")-";
const std::string kPreviewPlain =
    R"-({"result":"Test = 1\r\n\r\nDIM TEST{ Param1%, Param2%, Param3%, Param4% }\r\n\r\nSYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"})-";

// A request line: the call, then further members such as "name" and "options".
std::string Request(const std::string& call, const std::string& members = "") {
    return R"-({"call":")-" + call + '"' + (members.empty() ? "" : ",") + members + "}";
}

// One row per converter and per option, the failure sentence, and texts that only
// survive a route that keeps every UTF-16 code unit.
const std::vector<Conversion> kConversions = {
    {"GetConst", Request("GetConst", R"-("name":"WM_USER","data":"&H400")-"),
     R"-({"result":"WM_USER = &400","name":"WM_USER"})-"},
    {"GetConst_hands_the_name_back",
     Request("GetConst",
             R"-("name":"TOKEN_ALL_ACCESS As Long","data":"STANDARD_RIGHTS_REQUIRED Or TOKEN_DUPLICATE")-"),
     R"-({"result":"_TOKEN_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED OR _TOKEN_DUPLICATE","name":"TOKEN_ALL_ACCESS"})-"},
    {"GetConst_failure_sentence",
     Request("GetConst", "\"name\":\"" + kLongName + " As Long\",\"data\":\"1\""),
     "{\"result\":\"REM Sorry I could not convert " + kLongName + "\",\"name\":\"" + kLongName + "\"}"},
    {"GetConst_embedded_nul", Request("GetConst", R"-("name":"A\u0000B","data":"1\u0000")-"),
     R"-({"result":"A\u0000B = 1\u0000","name":"A\u0000B"})-"},
    {"GetConst_lone_surrogate", Request("GetConst", R"-("name":"\uD800","data":"1")-"),
     R"-({"result":"\ud800 = 1","name":"\ud800"})-"},
    {"GetType_AutoFormat", Request("GetType", kWinpos + R"-(,"options":{"AutoFormat":-1})-"),
     R"-({"result":"DIM WINPOS{ \\\r\n\\    rc{} = RECT{}, \\ client area\r\n\\    pt{} = POINTAPI{} \\ \r\n\\    }"})-"},
    {"GetType_packed", Request("GetType", kWinpos + R"-(,"options":{"ShowParams":-1,"ExplConst":-1})-"),
     R"-({"result":"DIM WINPOS{ rc{} = RECT{}, pt{} = POINTAPI{} }"})-"},
    {"GetType_failure_sentence", Request("GetType", R"-("name":"EMPTY","data":"\r\n")-"),
     R"-({"result":"REM Sorry I could not convert EMPTY"})-"},
    {"GetEnum", Request("GetEnum", R"-("name":"ShowCmd","data":"\tSW_HIDE = 0\r\n\tTOPMOST = 4\r\n")-"),
     R"-({"result":"REM ShowCmd\r\nSW_HIDE = 0\r\n_TOPMOST = 4\r\n"})-"},
    {"GetSub_packed", Request("GetSub", kKeybdEvent),
     R"-({"result":"SYS \"keybd_event\", bVk&, bScan&, dwFlags%, dwExtraInfo%\r\n","name":"keybd_event"})-"},
    {"GetSub_AutoFormat", Request("GetSub", kKeybdEvent + R"-(,"options":{"AutoFormat":-1})-"),
     R"-({"result":"SYS \"keybd_event\", bVk&, \\\r\n\\    bScan&, \\\r\n\\    dwFlags%, \\\r\n\\    dwExtraInfo%\r\n","name":"keybd_event"})-"},
    {"GetFunc_ShowParams",
     Request("GetFunc", kVersionInfoSize + R"-(,"options":{"AutoFormat":-1,"ShowParams":-1})-"),
     R"-({"result":"SYS \"GetModuleHandle\", \"version.dll\" TO `version%\r\nIF `version%=0 SYS \"LoadLibrary\", \"version.dll\" TO `version%\r\nSYS \"GetProcAddress\", `version%, \"GetFileVersionInfoSizeA\" TO GetFileVersionInfoSizeA\r\nSYS GetFileVersionInfoSizeA, lptstrFilename$, \\\r\n\\    lpdwHandle% TO ret%:REM returns Long\r\n","name":"GetFileVersionInfoSize"})-"},
    {"GetFunc_Charset_wide", Request("GetFunc", kVersionInfoSize + R"-(,"options":{"Charset":1})-"),
     R"-({"result":"GetFileVersionInfoSizeW = FN_LoadDLL(\"version.dll\", \"GetFileVersionInfoSizeW\")\r\nSYS GetFileVersionInfoSizeW, lptstrFilename$, lpdwHandle% TO ret%\r\n","name":"GetFileVersionInfoSize"})-"},
    {"GetFunc_Charset_other_than_one", Request("GetFunc", kVersionInfoSize + R"-(,"options":{"Charset":2})-"),
     R"-({"result":"GetFileVersionInfoSizeA = FN_LoadDLL(\"version.dll\", \"GetFileVersionInfoSizeA\")\r\nSYS GetFileVersionInfoSizeA, lptstrFilename$, lpdwHandle% TO ret%\r\n","name":"GetFileVersionInfoSize"})-"},
    {"GetFunc_failure_sentence", Request("GetFunc", R"-("name":"Broken","data":"\"")-"),
     R"-({"result":"REM Sorry I could not convert Broken","name":"Broken"})-"},
    {"Preview", Request("Preview"), kPreviewPlain},
    {"Preview_any_nonzero_flag_is_set",
     Request("Preview", R"-("options":{"AutoFormat":2,"ShowParams":-32768,"ExplConst":32767})-"),
     R"-({"result":"Test = 1\r\n\r\nDIM TEST{ \\\r\n\\    Param1%, \\ int32\r\n\\    Param2%, \\ int32\r\n\\    Param3%, \\ int32\r\n\\    Param4% \\ int32\r\n\\    }\r\n\r\nSYS \"GetModuleHandle\", \"test.dll\" TO `test%\r\nIF `test%=0 SYS \"LoadLibrary\", \"test.dll\" TO `test%\r\nSYS \"GetProcAddress\", `test%, \"test\" TO test\r\nSYS test, Param1$, \\\r\n\\    Param2$, \\\r\n\\    Param3$, \\\r\n\\    Param4$ TO ret%"})-"},
    {"Preview_ExplConst", Request("Preview", R"-("options":{"ExplConst":1})-"),
     R"-({"result":"Test = 1\r\n\r\nDIM TEST{ Param1%, Param2%, Param3%, Param4% }\r\n\r\ntest = FN_LoadDLL(\"test.dll\", \"test\")\r\nSYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"})-"},
    {"Preview_InsertAfterOption_changes_nothing",
     Request("Preview", R"-("options":{"InsertAfterOption":-1,"ShowParams":-1})-"), kPreviewPlain},
    {"StartsWith", Request("StartsWith", R"-("src":"TOTAL","contains":"TO")-"), R"-({"result":true})-"},
    {"StartsWith_exact_case", Request("StartsWith", R"-("src":"ABC","contains":"abc")-"),
     R"-({"result":false})-"},
};

class ConversionTest : public ::testing::TestWithParam<std::tuple<BackendFactory, Conversion>> {};

TEST_P(ConversionTest, GivesTheEnginesBytes) {
    const auto& [factory, row] = GetParam();
    auto backend = factory.make();
    const auto [response, ok] = declconv::AnswerRequest(*backend, row.request);
    EXPECT_TRUE(ok);
    EXPECT_EQ(response, row.response);
}

INSTANTIATE_TEST_SUITE_P(Backends, ConversionTest,
                         ::testing::Combine(::testing::ValuesIn(kBackends),
                                            ::testing::ValuesIn(kConversions)),
                         [](const auto& row) {
                             return std::string(std::get<0>(row.param).name) + "_" +
                                    std::get<1>(row.param).label;
                         });

// ---------------------------------------------------------------------------------
// The server itself.

// Every test runs in a single-threaded apartment, as the plug-in's hosts do.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    void TearDown() override { CoUninitialize(); }

    // A fresh object, created by its registered programmatic identifier.
    template <typename Interface>
    static ComPtr<Interface> NewObject() {
        CLSID classId{};
        EXPECT_HRESULT_SUCCEEDED(CLSIDFromProgID(declshift::com::kProgId, &classId));
        EXPECT_TRUE(IsEqualCLSID(classId, CLSID_clsMain));
        ComPtr<Interface> object;
        EXPECT_HRESULT_SUCCEEDED(
            CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
        return object;
    }
};

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The registered DLL, loaded again by path: the module COM has or will load.
class ServerTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        wchar_t classId[40];
        ASSERT_GT(StringFromGUID2(CLSID_clsMain, classId, 40), 0);
        const std::wstring key = std::wstring(L"CLSID\\") + classId + L"\\InprocServer32";
        wchar_t path[MAX_PATH * 4];
        DWORD bytes = sizeof path;
        ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &bytes),
                  ERROR_SUCCESS)
            << "the class is not registered";
        module_ = LoadLibraryW(path);
        ASSERT_NE(module_, nullptr);
        canUnloadNow_ = reinterpret_cast<CanUnloadNow>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        getClassObject_ = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        ASSERT_NE(canUnloadNow_, nullptr);
        ASSERT_NE(getClassObject_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
        ComTest::TearDown();
    }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_HRESULT_SUCCEEDED(getClassObject_(CLSID_clsMain, IID_PPV_ARGS(&factory)));
        return factory;
    }

    HMODULE module_ = nullptr;
    CanUnloadNow canUnloadNow_ = nullptr;
    GetClassObject getClassObject_ = nullptr;
};

// An export beyond the four would be a symbol leaking out of the link.
TEST_F(ServerTest, ExportsExactlyTheFourEntryPoints) {
    const auto* base = reinterpret_cast<const BYTE*>(module_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    EXPECT_EQ(exports->NumberOfFunctions, 4u);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        found.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ(found, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                               "DllUnregisterServer"}));
}

TEST_F(ServerTest, CanUnloadOnlyWhenNoObjectOrLockLives) {
    ASSERT_EQ(canUnloadNow_(), S_OK);

    auto factory = Factory();
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(TRUE));
    ComPtr<_clsMain> object;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
    factory.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "object and lock alive";
    object.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "lock alive";

    factory = Factory();
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "object alive";

    // Every interface of the object is one object, counted once.
    EXPECT_EQ(object->AddRef(), 2u);
    ComPtr<IDispatch> dispatch;
    ComPtr<IUnknown> unknown;
    ASSERT_HRESULT_SUCCEEDED(object.As(&dispatch));
    ASSERT_HRESULT_SUCCEEDED(object.As(&unknown));
    EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(object.Get()));
    EXPECT_EQ(object->Release(), 3u);
    dispatch.Reset();
    unknown.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "object alive";
    object.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);

    // Objects that COM creates keep the server loaded too.
    auto created = NewObject<_clsMain>();
    ASSERT_NE(created.Get(), nullptr);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    created.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerTest, RefusesEveryOtherClass) {
    for (const GUID& other : {IID__clsMain, LIBID_declshift, IID_IUnknown, GUID_NULL}) {
        void* factory = reinterpret_cast<void*>(1);
        EXPECT_EQ(getClassObject_(other, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(factory, nullptr);
    }
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerTest, FactoryRefusesAggregationAndUnknownInterfaces) {
    auto factory = Factory();
    ComPtr<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_PPV_ARGS(&object)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object.Get(), nullptr);
    factory.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

// A null automation string is an empty text, in both kinds of text parameter; a null
// pointer where the interface wants an address is refused, never followed.
TEST_F(ComTest, NullArguments) {
    auto object = NewObject<_clsMain>();
    ASSERT_NE(object.Get(), nullptr);
    Bstr name, data, result;
    ASSERT_HRESULT_SUCCEEDED(object->GetConst(name.slot(), data.slot(), result.out()));
    EXPECT_EQ(result.text(), u" = ");
    ASSERT_HRESULT_SUCCEEDED(object->GetType(nullptr, nullptr, result.out()));
    EXPECT_EQ(result.text(), u"REM Sorry I could not convert ");

    VARIANT nowhere;
    V_VT(&nowhere) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&nowhere) = nullptr;
    EXPECT_EQ(object->put_Charset(&nowhere), E_POINTER);
    EXPECT_EQ(object->put_Charset(nullptr), E_POINTER);
    EXPECT_EQ(object->put_AutoFormat(nullptr), E_POINTER);
    EXPECT_EQ(object->get_m_Charset(nullptr), E_POINTER);
    EXPECT_EQ(object->get_Version(nullptr), E_POINTER);
    EXPECT_EQ(object->InitPlugIn(nullptr), E_POINTER);
    EXPECT_EQ(object->GetConst(nullptr, data.slot(), result.out()), E_POINTER);
    EXPECT_EQ(object->GetSub(name.slot(), data.slot(), nullptr), E_POINTER);
    EXPECT_EQ(object->GetEnum(nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(object->StartsWith(name.slot(), nullptr, nullptr), E_POINTER);
}

// ---------------------------------------------------------------------------------
// IDispatch: names as script hosts write them, and the interface it serves.

struct NameCase {
    const char* label;
    const wchar_t* name;
    const wchar_t* sameAs;  // null: an unknown name
};

class NameTest : public ComTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameTest, LooksNamesUpIgnoringCase) {
    const auto& row = GetParam();
    auto object = NewObject<IDispatch>();
    ASSERT_NE(object.Get(), nullptr);
    auto idOf = [&](const wchar_t* name, DISPID& id) {
        std::wstring text(name);
        LPOLESTR names[] = {text.data()};
        return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    };
    DISPID id = 0;
    if (row.sameAs == nullptr) {
        EXPECT_EQ(idOf(row.name, id), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(id, DISPID_UNKNOWN);
        return;
    }
    DISPID expected = 0;
    ASSERT_HRESULT_SUCCEEDED(idOf(row.sameAs, expected));
    ASSERT_HRESULT_SUCCEEDED(idOf(row.name, id));
    EXPECT_EQ(id, expected);
}

INSTANTIATE_TEST_SUITE_P(Names, NameTest,
                         ::testing::Values(NameCase{"lower_case", L"getconst", L"GetConst"},
                                           NameCase{"upper_case", L"GETFUNC", L"GetFunc"},
                                           NameCase{"property", L"autoformat", L"AutoFormat"},
                                           NameCase{"field_property", L"M_CHARSET", L"m_Charset"},
                                           NameCase{"unknown", L"GetConstant", nullptr},
                                           NameCase{"empty", L"", nullptr}),
                         [](const auto& row) { return std::string(row.param.label); });

TEST_F(ComTest, ServesOneTypeInfoForTheNullInterfaceOnly) {
    auto object = NewObject<IDispatch>();
    ASSERT_NE(object.Get(), nullptr);
    UINT count = 0;
    ASSERT_HRESULT_SUCCEEDED(object->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualIID(attributes->guid, IID__clsMain));
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(object->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);

    std::wstring name = L"Preview";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_IUnknown, names, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNINTERFACE);
    ASSERT_HRESULT_SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    DISPPARAMS none{};
    EXPECT_EQ(object->Invoke(id, IID_IUnknown, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                             nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

// ---------------------------------------------------------------------------------
// Option puts by name: the platform's Variant conversions. Charset takes a Variant
// and converts it to a 32-bit integer itself (half to even, numeric text); the flags
// are typed booleans, which IDispatch converts to before the object sees them.

struct PutCase {
    const char* label;
    const wchar_t* member;  // Charset or AutoFormat
    VARTYPE type;           // with VT_BYREF: a reference to a Variant of that type
    double number;          // the value of a number or boolean
    const wchar_t* text;    // the value of a VT_BSTR
    HRESULT status;
    LONG stored;  // Charset: the field afterwards (it starts at 99); AutoFormat: 1 set, 0 clear (starts set)
};

class PutTest : public ComTest, public ::testing::WithParamInterface<PutCase> {
protected:
    void SetUp() override {
        ComTest::SetUp();
        object_ = NewObject<_clsMain>();
        ASSERT_NE(object_.Get(), nullptr);
        ASSERT_HRESULT_SUCCEEDED(object_.As(&byName_));
        charset_ = GetParam().member == std::wstring(L"Charset");
    }
    void TearDown() override {
        VariantClear(&target_);
        byName_.Reset();
        object_.Reset();
        ComTest::TearDown();
    }

    // The row's Variant; a by-reference row refers to target_.
    VARIANT Argument() {
        const auto& row = GetParam();
        const auto type = static_cast<VARTYPE>(row.type & ~VT_BYREF);
        VARIANT value;
        VariantInit(&value);
        if (type == VT_BSTR) {
            V_VT(&value) = VT_BSTR;
            V_BSTR(&value) = SysAllocString(row.text);
        } else if (type == VT_EMPTY || type == VT_NULL) {
            V_VT(&value) = type;
        } else {
            V_VT(&value) = VT_R8;
            V_R8(&value) = row.number;
            EXPECT_HRESULT_SUCCEEDED(VariantChangeType(&value, &value, 0, type));
        }
        if ((row.type & VT_BYREF) == 0) return value;
        target_ = value;
        V_VT(&value) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&value) = &target_;
        return value;
    }

    void Reset() {
        VARIANT_BOOL set = VARIANT_TRUE;
        ASSERT_HRESULT_SUCCEEDED(charset_ ? object_->put_m_Charset(99) : object_->put_AutoFormat(&set));
    }

    // What the put left: the Charset field, or whether GetSub formats its output.
    LONG Stored() {
        LONG value = -1;
        if (charset_) {
            EXPECT_HRESULT_SUCCEEDED(object_->get_m_Charset(&value));
            return value;
        }
        Bstr name(std::u16string(u"keybd_event"));
        Bstr data(std::u16string(u"\"user32\" (bVk As Byte, bScan As Byte)"));
        Bstr result;
        EXPECT_HRESULT_SUCCEEDED(object_->GetSub(name.slot(), data.slot(), result.out()));
        return result.text().find(u"\\\r\n") != std::u16string::npos ? 1 : 0;
    }

    ComPtr<_clsMain> object_;
    ComPtr<IDispatch> byName_;
    VARIANT target_{};
    bool charset_ = false;
};

TEST_P(PutTest, ConvertsOrFailsAndKeepsTheField) {
    const auto& row = GetParam();
    VARIANT value = Argument();
    Reset();
    EXPECT_EQ(declconv::CallByName(byName_.Get(), row.member, DISPATCH_PROPERTYPUT, {value}, nullptr),
              row.status);
    EXPECT_EQ(Stored(), row.stored) << "by name";
    if (charset_) {  // the slot takes the Variant as it is
        Reset();
        EXPECT_EQ(object_->put_Charset(&value), row.status);
        EXPECT_EQ(Stored(), row.stored) << "through the slot";
    }
    VariantClear(&value);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, PutTest,
    ::testing::Values(
        PutCase{"Charset_half_to_even_down", L"Charset", VT_R8, 2.5, nullptr, S_OK, 2},
        PutCase{"Charset_half_to_even_up", L"Charset", VT_R8, 3.5, nullptr, S_OK, 4},
        PutCase{"Charset_negative_half", L"Charset", VT_R8, -2.5, nullptr, S_OK, -2},
        PutCase{"Charset_lowest", L"Charset", VT_R8, -2147483648.0, nullptr, S_OK, INT32_MIN},
        PutCase{"Charset_numeric_text", L"Charset", VT_BSTR, 0, L"7", S_OK, 7},
        PutCase{"Charset_empty", L"Charset", VT_EMPTY, 0, nullptr, S_OK, 0},
        PutCase{"Charset_boolean", L"Charset", VT_BOOL, 1, nullptr, S_OK, -1},
        PutCase{"Charset_short", L"Charset", VT_I2, -3, nullptr, S_OK, -3},
        PutCase{"Charset_long", L"Charset", VT_I4, 1, nullptr, S_OK, 1},
        PutCase{"Charset_by_reference", L"Charset", VT_R8 | VT_BYREF, 5.5, nullptr, S_OK, 6},
        PutCase{"Charset_non_numeric_text", L"Charset", VT_BSTR, 0, L"abc", DISP_E_TYPEMISMATCH, 99},
        PutCase{"Charset_empty_text", L"Charset", VT_BSTR, 0, L"", DISP_E_TYPEMISMATCH, 99},
        PutCase{"Charset_null", L"Charset", VT_NULL, 0, nullptr, DISP_E_TYPEMISMATCH, 99},
        PutCase{"Charset_too_large", L"Charset", VT_R8, 2147483648.0, nullptr, DISP_E_OVERFLOW, 99},
        PutCase{"Charset_too_large_text", L"Charset", VT_BSTR, 0, L"3000000000", DISP_E_OVERFLOW, 99},
        PutCase{"AutoFormat_boolean_false", L"AutoFormat", VT_BOOL, 0, nullptr, S_OK, 0},
        PutCase{"AutoFormat_short_zero", L"AutoFormat", VT_I2, 0, nullptr, S_OK, 0},
        PutCase{"AutoFormat_short_one", L"AutoFormat", VT_I2, 1, nullptr, S_OK, 1},
        PutCase{"AutoFormat_long_zero", L"AutoFormat", VT_I4, 0, nullptr, S_OK, 0},
        PutCase{"AutoFormat_numeric_text", L"AutoFormat", VT_BSTR, 0, L"0", S_OK, 0},
        PutCase{"AutoFormat_non_numeric_text", L"AutoFormat", VT_BSTR, 0, L"abc", DISP_E_TYPEMISMATCH, 1},
        PutCase{"AutoFormat_null", L"AutoFormat", VT_NULL, 0, nullptr, DISP_E_TYPEMISMATCH, 1}),
    [](const auto& row) { return std::string(row.param.label); });

}  // namespace
