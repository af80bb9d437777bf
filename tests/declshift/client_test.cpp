// A C++ host of declshift.clsMain, run under Wine against the registered DLL: activation
// through COM, every member through the vtable and by name through IDispatch (the two
// routes must agree, with each other and with the engine), and the DLL's own exports,
// resources, type library and unload answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "bstr.h"
#include "declshift.h"
#include "declshift_i.h"
#include "dispatch_call.h"
#include "utf.h"

namespace {

using declconv::CallByName;
using declconv::Utf16ToUtf8;
using declshift::Options;
using declshift::com::Bstr;
using declshift::com::FromBstr;

// Owns one interface reference.
template <typename Interface>
class Ref {
public:
    Ref() = default;
    explicit Ref(Interface* owned) : pointer_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ~Ref() { Reset(); }
    void Reset() {
        if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
    }
    Interface* operator->() const { return pointer_; }
    Interface& operator*() const { return *pointer_; }
    Interface* get() const { return pointer_; }
    void** out() {
        Reset();
        return reinterpret_cast<void**>(&pointer_);
    }
    Interface** put() {
        Reset();
        return &pointer_;
    }

private:
    Interface* pointer_ = nullptr;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    const int length = StringFromGUID2(guid, text, 40);
    return std::wstring(text, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

// The DLL that COM loads for the class: the registered in-process server path.
std::wstring RegisteredModule() {
    const std::wstring key = L"CLSID\\" + GuidText(CLSID_clsMain) + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 4];
    DWORD bytes = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    return path;
}

// Every test runs in a single-threaded apartment, as the plug-in's hosts do.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    void TearDown() override { CoUninitialize(); }

    template <typename Interface>
    static Ref<Interface> NewObject(REFIID iid) {
        CLSID classId{};
        EXPECT_HRESULT_SUCCEEDED(CLSIDFromProgID(L"declshift.clsMain", &classId));
        EXPECT_TRUE(IsEqualCLSID(classId, CLSID_clsMain));
        Ref<Interface> object;
        EXPECT_HRESULT_SUCCEEDED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, object.out()));
        return object;
    }
};

// What a call gave: its status, its result rendered with its automation type, and the
// text arguments as they stand afterwards.
struct Answer {
    HRESULT status = S_OK;
    std::string result;
    std::vector<std::string> texts;
    bool operator==(const Answer&) const = default;
};

void PrintTo(const Answer& answer, std::ostream* out) {
    char status[16];
    std::snprintf(status, sizeof status, "0x%08lX", static_cast<unsigned long>(answer.status));
    *out << "{" << status << ", \"" << answer.result << "\"";
    for (const auto& text : answer.texts) *out << ", \"" << text << "\"";
    *out << "}";
}

std::string Render(const VARIANT& value) {
    switch (V_VT(&value)) {
        case VT_EMPTY:
            return "empty";
        case VT_BOOL:
            return "bool:" + std::to_string(V_BOOL(&value));
        case VT_I4:
            return "long:" + std::to_string(V_I4(&value));
        case VT_BSTR:
            return "text:" + Utf16ToUtf8(FromBstr(V_BSTR(&value)));
        default:
            return "vt:" + std::to_string(V_VT(&value));
    }
}

using Texts = std::vector<std::optional<std::u16string>>;  // nullopt: a null string

std::vector<Bstr> ToBstrs(const Texts& texts) {
    std::vector<Bstr> out;
    for (const auto& text : texts) out.emplace_back(text ? Bstr(*text) : Bstr());
    return out;
}

std::string Utf8(const Bstr& text) { return Utf16ToUtf8(text.text()); }

std::vector<std::string> Rendered(const std::vector<Bstr>& texts) {
    std::vector<std::string> out;
    for (const auto& text : texts) out.push_back(Utf8(text));
    return out;
}

// One member of _clsMain as both routes reach it.
struct Member {
    const wchar_t* name;
    WORD kind;         // DISPATCH_METHOD or DISPATCH_PROPERTYGET
    bool byReference;  // the text arguments are BSTR* rather than BSTR
    std::function<HRESULT(_clsMain&, std::vector<Bstr>&, VARIANT&)> slot;
};

Answer ByVtable(_clsMain& object, const Member& member, const Texts& texts) {
    auto arguments = ToBstrs(texts);
    VARIANT result;
    VariantInit(&result);
    const HRESULT status = member.slot(object, arguments, result);
    Answer answer{status, Render(result), Rendered(arguments)};
    VariantClear(&result);
    return answer;
}

Answer ByName(IDispatch& object, const Member& member, const Texts& texts) {
    auto arguments = ToBstrs(texts);
    std::vector<VARIANT> args;
    for (auto& text : arguments) {
        VARIANT argument;
        VariantInit(&argument);
        if (member.byReference) {
            V_VT(&argument) = VT_BSTR | VT_BYREF;
            V_BSTRREF(&argument) = text.slot();
        } else {
            V_VT(&argument) = VT_BSTR;
            V_BSTR(&argument) = text.get();
        }
        args.push_back(argument);
    }
    VARIANT result;
    VariantInit(&result);
    const HRESULT status = CallByName(&object, member.name, member.kind, args, &result);
    Answer answer{status, Render(result), Rendered(arguments)};
    VariantClear(&result);
    return answer;
}

// The option puts of both routes.
void PutByVtable(_clsMain& object, const Options& options) {
    ASSERT_HRESULT_SUCCEEDED(object.put_m_Charset(options.m_Charset));
    VARIANT_BOOL flag = options.m_AutoFormat;
    ASSERT_HRESULT_SUCCEEDED(object.put_AutoFormat(&flag));
    flag = options.m_ShowParams;
    ASSERT_HRESULT_SUCCEEDED(object.put_ShowParams(&flag));
    flag = options.m_ExplConst;
    ASSERT_HRESULT_SUCCEEDED(object.put_ExplConst(&flag));
    flag = options.m_InsertAfterOption;
    ASSERT_HRESULT_SUCCEEDED(object.put_InsertAfterOption(&flag));
}

void PutByName(IDispatch& object, const Options& options) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = options.m_Charset;
    ASSERT_HRESULT_SUCCEEDED(CallByName(&object, L"m_Charset", DISPATCH_PROPERTYPUT, {value}, nullptr));
    const std::pair<const wchar_t*, std::int16_t> flags[] = {
        {L"AutoFormat", options.m_AutoFormat},
        {L"ShowParams", options.m_ShowParams},
        {L"ExplConst", options.m_ExplConst},
        {L"InsertAfterOption", options.m_InsertAfterOption}};
    for (const auto& [name, setting] : flags) {
        V_VT(&value) = VT_BOOL;  // by value, as script hosts pass it
        V_BOOL(&value) = setting;
        ASSERT_HRESULT_SUCCEEDED(CallByName(&object, name, DISPATCH_PROPERTYPUT, {value}, nullptr)) << name;
    }
}

// ---------------------------------------------------------------------------------
// The members, each reached through its slot and by its name.

template <typename Get>
Member Getter(const wchar_t* name, VARTYPE type, Get get, WORD kind = DISPATCH_PROPERTYGET) {
    return {name, kind, false, [type, get](_clsMain& object, std::vector<Bstr>&, VARIANT& result) {
                V_VT(&result) = type;
                return get(object, result);
            }};
}

Member TextMember(const wchar_t* name, HRESULT (STDMETHODCALLTYPE _clsMain::*slot)(BSTR, BSTR, BSTR*)) {
    return {name, DISPATCH_METHOD, false,
            [slot](_clsMain& object, std::vector<Bstr>& texts, VARIANT& result) {
                V_VT(&result) = VT_BSTR;
                V_BSTR(&result) = nullptr;
                return (object.*slot)(texts[0].get(), texts[1].get(), &V_BSTR(&result));
            }};
}

Member InOutMember(const wchar_t* name, HRESULT (STDMETHODCALLTYPE _clsMain::*slot)(BSTR*, BSTR*, BSTR*)) {
    return {name, DISPATCH_METHOD, true, [slot](_clsMain& object, std::vector<Bstr>& texts, VARIANT& result) {
                V_VT(&result) = VT_BSTR;
                V_BSTR(&result) = nullptr;
                return (object.*slot)(texts[0].slot(), texts[1].slot(), &V_BSTR(&result));
            }};
}

const Member kMCharsetGet =
    Getter(L"m_Charset", VT_I4, [](_clsMain& o, VARIANT& r) { return o.get_m_Charset(&V_I4(&r)); });
const Member kVarRanges =
    Getter(L"VarRanges", VT_BOOL, [](_clsMain& o, VARIANT& r) { return o.get_VarRanges(&V_BOOL(&r)); });
const Member kVersion =
    Getter(L"Version", VT_BSTR, [](_clsMain& o, VARIANT& r) { return o.get_Version(&V_BSTR(&r)); });
const Member kSyntax =
    Getter(L"Syntax", VT_BSTR, [](_clsMain& o, VARIANT& r) { return o.get_Syntax(&V_BSTR(&r)); });
const Member kInitPlugIn = Getter(
    L"InitPlugIn", VT_BOOL, [](_clsMain& o, VARIANT& r) { return o.InitPlugIn(&V_BOOL(&r)); },
    DISPATCH_METHOD);
const Member kShowParams =
    Getter(L"ShowParams", VT_BOOL, [](_clsMain& o, VARIANT& r) { return o.get_ShowParams(&V_BOOL(&r)); });
const Member kAutoFormat =
    Getter(L"AutoFormat", VT_BOOL, [](_clsMain& o, VARIANT& r) { return o.get_AutoFormat(&V_BOOL(&r)); });
const Member kExplConst =
    Getter(L"ExplConst", VT_BOOL, [](_clsMain& o, VARIANT& r) { return o.get_ExplConst(&V_BOOL(&r)); });
const Member kInsertAfterOption = Getter(L"InsertAfterOption", VT_BOOL, [](_clsMain& o, VARIANT& r) {
    return o.get_InsertAfterOption(&V_BOOL(&r));
});
const Member kMPublic = Getter(
    L"mPublic", VT_EMPTY, [](_clsMain& o, VARIANT&) { return o.mPublic(); }, DISPATCH_METHOD);
const Member kMNoRange = Getter(
    L"mNoRange", VT_EMPTY, [](_clsMain& o, VARIANT&) { return o.mNoRange(); }, DISPATCH_METHOD);
const Member kMPrivate = Getter(
    L"mPrivate", VT_EMPTY, [](_clsMain& o, VARIANT&) { return o.mPrivate(); }, DISPATCH_METHOD);
const Member kPreview = Getter(
    L"Preview", VT_BSTR, [](_clsMain& o, VARIANT& r) { return o.Preview(&V_BSTR(&r)); }, DISPATCH_METHOD);
const Member kGetType = TextMember(L"GetType", &_clsMain::GetType);
const Member kGetEnum = TextMember(L"GetEnum", &_clsMain::GetEnum);
const Member kGetConst = InOutMember(L"GetConst", &_clsMain::GetConst);
const Member kGetSub = InOutMember(L"GetSub", &_clsMain::GetSub);
const Member kGetFunc = InOutMember(L"GetFunc", &_clsMain::GetFunc);
const Member kStartsWith = {L"StartsWith", DISPATCH_METHOD, true,
                            [](_clsMain& object, std::vector<Bstr>& texts, VARIANT& result) {
                                V_VT(&result) = VT_BOOL;
                                return object.StartsWith(texts[0].slot(), texts[1].slot(), &V_BOOL(&result));
                            }};

// The engine's own answer for a member, for the rows that convert text.
using EngineCall = std::function<Answer(const Options&, Texts)>;

Answer EngineText(std::u16string result, const std::vector<std::u16string>& texts) {
    Answer answer{S_OK, "text:" + Utf16ToUtf8(result), {}};
    for (const auto& text : texts) answer.texts.push_back(Utf16ToUtf8(text));
    return answer;
}

std::u16string Text(const std::optional<std::u16string>& text) { return text.value_or(u""); }

// ---------------------------------------------------------------------------------
// Every member through both routes, against the expected answer.

// The option fields a row puts before its call.
struct Settings {
    std::int32_t charset = 0;
    std::int16_t autoFormat = 0, showParams = 0, explConst = 0, insertAfterOption = 0;
    Options ToOptions() const {
        Options options;
        options.m_Charset = charset;
        options.m_AutoFormat = autoFormat;
        options.m_ShowParams = showParams;
        options.m_ExplConst = explConst;
        options.m_InsertAfterOption = insertAfterOption;
        return options;
    }
};

struct MemberCase {
    const char* label;
    const Member* member;
    Settings settings;
    Texts texts;
    Answer expected;              // `texts` left empty: the arguments come back as they went in
    EngineCall engine = nullptr;  // when set, the engine must give the same answer
};

void PrintTo(const MemberCase& row, std::ostream* out) { *out << row.label; }

class MemberTest : public ComTest, public ::testing::WithParamInterface<MemberCase> {};

TEST_P(MemberTest, BothRoutesGiveTheExpectedAnswer) {
    const auto& row = GetParam();
    const Options options = row.settings.ToOptions();
    Answer expected = row.expected;
    if (expected.result.empty()) {
        ASSERT_TRUE(row.engine) << "a row without an expected result needs the engine's";
        expected = row.engine(options, row.texts);
    }
    if (expected.texts.empty()) {
        for (const auto& text : row.texts) expected.texts.push_back(Utf16ToUtf8(Text(text)));
    }
    if (row.engine) {
        EXPECT_EQ(row.engine(options, row.texts), expected) << "engine";
    }

    auto vtable = NewObject<_clsMain>(IID__clsMain);
    ASSERT_NE(vtable.get(), nullptr);
    PutByVtable(*vtable, options);
    EXPECT_EQ(ByVtable(*vtable, *row.member, row.texts), expected) << "vtable";

    auto byName = NewObject<IDispatch>(IID_IDispatch);
    ASSERT_NE(byName.get(), nullptr);
    PutByName(*byName, options);
    EXPECT_EQ(ByName(*byName, *row.member, row.texts), expected) << "IDispatch";
}

Settings Flags(std::int16_t autoFormat, std::int16_t showParams, std::int16_t explConst) {
    return {0, autoFormat, showParams, explConst, 0};
}
Settings WithInsertAfterOption(std::int16_t value) { return {0, 0, 0, 0, value}; }
Settings WithCharset(std::int32_t value) { return {value, 0, 0, 0, 0}; }

Answer Text8(const std::string& text) { return {S_OK, "text:" + text, {}}; }
const Answer kTrue{S_OK, "bool:-1", {}};
const Answer kFalse{S_OK, "bool:0", {}};
const Answer kNothing{S_OK, "empty", {}};

// The six forms of the sample (line breaks CRLF, none after the last line).
const std::string kPreviewPlain =
    "Test = 1\r\n\r\nDIM TEST{ Param1%, Param2%, Param3%, Param4% }\r\n\r\n"
    "SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%";
const std::string kPreviewFormatted =
    "Test = 1\r\n\r\nDIM TEST{ \\\r\n\\    Param1%, \\ int32\r\n\\    Param2%, \\ int32\r\n"
    "\\    Param3%, \\ int32\r\n\\    Param4% \\ int32\r\n\\    }\r\n\r\n"
    "SYS \"GetModuleHandle\", \"test.dll\" TO `test%\r\nIF `test%=0 SYS \"LoadLibrary\", \"test.dll\" TO "
    "`test%\r\n"
    "SYS \"GetProcAddress\", `test%, \"test\" TO test\r\n"
    "SYS test, Param1$, \\\r\n\\    Param2$, \\\r\n\\    Param3$, \\\r\n\\    Param4$ TO ret%";
const std::string kPreviewBlockF =
    "Test = 1\r\n\r\nDIM TEST{ Param1%, Param2%, Param3%, Param4% }\r\n\r\n"
    "test = FN_LoadDLL(\"test.dll\", \"test\")\r\n"
    "SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%";

EngineCall PreviewEngine() {
    return [](const Options& options, Texts) { return EngineText(declshift::Preview(options), {}); };
}

EngineCall ConstEngine() {
    return [](const Options& options, Texts texts) {
        std::u16string name = Text(texts[0]);
        std::u16string data = Text(texts[1]);
        auto result = declshift::GetConst(options, name, data);
        return EngineText(result, {name, data});
    };
}

// Structures and enumerations take their texts by value.
template <std::u16string (*Convert)(const Options&, std::u16string, std::u16string)>
EngineCall ByValueEngine() {
    return [](const Options& options, Texts texts) {
        const std::u16string name = Text(texts[0]);
        const std::u16string data = Text(texts[1]);
        return EngineText(Convert(options, name, data), {name, data});
    };
}

// Procedures and functions take theirs by reference.
template <std::u16string (*Convert)(const Options&, std::u16string&, std::u16string&)>
EngineCall ByReferenceEngine() {
    return [](const Options& options, Texts texts) {
        std::u16string name = Text(texts[0]);
        std::u16string data = Text(texts[1]);
        auto result = Convert(options, name, data);
        return EngineText(result, {name, data});
    };
}

EngineCall StartsWithEngine() {
    return [](const Options&, Texts texts) {
        const bool result = declshift::StartsWith(Text(texts[0]), Text(texts[1]));
        Answer answer = result ? kTrue : kFalse;
        answer.texts = {Utf16ToUtf8(Text(texts[0])), Utf16ToUtf8(Text(texts[1]))};
        return answer;
    };
}

const std::u16string kNameWithoutBlank(251, u'N');
const std::u16string kWinposName = u"WINPOS";
const std::u16string kWinpos = u"\trc As RECT ' client area\r\n\tpt As POINTAPI";
const std::u16string kKeybdEvent = u"\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)";
const std::u16string kFileVersionInfoSize =
    u"\"version\" Alias \"GetFileVersionInfoSizeA\" (lptstrFilename As String, lpdwHandle&) As Long";
const std::string kFileVersionInfoSizeBound =
    "SYS \"GetModuleHandle\", \"version.dll\" TO `version%\r\n"
    "IF `version%=0 SYS \"LoadLibrary\", \"version.dll\" TO `version%\r\n"
    "SYS \"GetProcAddress\", `version%, \"GetFileVersionInfoSizeA\" TO GetFileVersionInfoSizeA\r\n"
    "SYS GetFileVersionInfoSize";

INSTANTIATE_TEST_SUITE_P(
    FreshObject, MemberTest,
    ::testing::Values(MemberCase{"m_Charset", &kMCharsetGet, {}, {}, {S_OK, "long:0", {}}},
                      MemberCase{"VarRanges", &kVarRanges, {}, {}, kFalse},
                      MemberCase{"Version", &kVersion, {}, {}, Text8("1.40")},
                      MemberCase{"Syntax", &kSyntax, {}, {}, Text8("Tarnwick")},
                      MemberCase{"InitPlugIn", &kInitPlugIn, {}, {}, kTrue},
                      MemberCase{"ShowParams", &kShowParams, {}, {}, kTrue},
                      MemberCase{"AutoFormat", &kAutoFormat, {}, {}, kTrue},
                      MemberCase{"ExplConst", &kExplConst, {}, {}, kTrue},
                      MemberCase{"InsertAfterOption", &kInsertAfterOption, {}, {}, kFalse},
                      MemberCase{"mPublic", &kMPublic, {}, {}, kNothing},
                      MemberCase{"mNoRange", &kMNoRange, {}, {}, kNothing},
                      MemberCase{"mPrivate", &kMPrivate, {}, {}, kNothing},
                      MemberCase{"Preview", &kPreview, {}, {}, Text8(kPreviewPlain), PreviewEngine()}),
    [](const auto& row) { return std::string(row.param.label); });

// The gets answer constants whatever was stored; the puts store any 16-bit value, and
// every non-zero one counts as set.
INSTANTIATE_TEST_SUITE_P(
    OptionPuts, MemberTest,
    ::testing::Values(
        MemberCase{"m_Charset_stored", &kMCharsetGet, WithCharset(-7), {}, {S_OK, "long:-7", {}}},
        MemberCase{"ShowParams_get_after_put_false", &kShowParams, Flags(0, 0, 0), {}, kTrue},
        MemberCase{"AutoFormat_get_after_put_false", &kAutoFormat, Flags(0, 0, 0), {}, kTrue},
        MemberCase{"ExplConst_get_after_put_false", &kExplConst, Flags(0, 0, 0), {}, kTrue},
        MemberCase{"InsertAfterOption_get_after_put_true",
                   &kInsertAfterOption,
                   WithInsertAfterOption(-1),
                   {},
                   kFalse},
        MemberCase{
            "Preview_all_set", &kPreview, Flags(-1, -1, -1), {}, Text8(kPreviewFormatted), PreviewEngine()},
        MemberCase{"Preview_all_set_with_one",
                   &kPreview,
                   Flags(1, 1, 1),
                   {},
                   Text8(kPreviewFormatted),
                   PreviewEngine()},
        MemberCase{"Preview_all_set_with_other_values",
                   &kPreview,
                   Flags(2, -32768, 32767),
                   {},
                   Text8(kPreviewFormatted),
                   PreviewEngine()},
        MemberCase{
            "Preview_ExplConst_only", &kPreview, Flags(0, 0, 1), {}, Text8(kPreviewBlockF), PreviewEngine()},
        MemberCase{"Preview_ShowParams_without_ExplConst",
                   &kPreview,
                   Flags(0, 5, 0),
                   {},
                   Text8(kPreviewPlain),
                   PreviewEngine()},
        MemberCase{"Preview_InsertAfterOption_changes_nothing",
                   &kPreview,
                   WithInsertAfterOption(1),
                   {},
                   Text8(kPreviewPlain),
                   PreviewEngine()}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Converters, MemberTest,
    ::testing::Values(
        MemberCase{
            "GetConst", &kGetConst, {}, {u"WM_USER", u"&H400"}, Text8("WM_USER = &400"), ConstEngine()},
        MemberCase{"GetConst_name_handed_back",
                   &kGetConst,
                   {},
                   {u"TOKEN_ALL_ACCESS As Long", u"STANDARD_RIGHTS_REQUIRED Or TOKEN_DUPLICATE"},
                   {S_OK,
                    "text:_TOKEN_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED OR _TOKEN_DUPLICATE",
                    {"TOKEN_ALL_ACCESS", "STANDARD_RIGHTS_REQUIRED Or TOKEN_DUPLICATE"}},
                   ConstEngine()},
        MemberCase{"GetConst_failure_sentence",
                   &kGetConst,
                   {},
                   {kNameWithoutBlank, u"1"},
                   Text8("REM Sorry I could not convert " + Utf16ToUtf8(kNameWithoutBlank)),
                   ConstEngine()},
        MemberCase{"GetConst_failure_sentence_after_name_shortened",
                   &kGetConst,
                   {},
                   {kNameWithoutBlank + u" As Long", u"1"},
                   {S_OK,
                    "text:REM Sorry I could not convert " + Utf16ToUtf8(kNameWithoutBlank),
                    {Utf16ToUtf8(kNameWithoutBlank), "1"}},
                   ConstEngine()},
        MemberCase{"GetConst_null_strings",
                   &kGetConst,
                   {},
                   {std::nullopt, std::nullopt},
                   Text8(" = "),
                   ConstEngine()},
        MemberCase{"GetConst_embedded_nul",
                   &kGetConst,
                   {},
                   {std::u16string(u"A\0B", 3), std::u16string(u"1\0", 2)},
                   Text8(std::string("A\0B = 1\0", 8)),
                   ConstEngine()},
        MemberCase{"GetConst_ignores_options",
                   &kGetConst,
                   Flags(-1, -1, -1),
                   {u"MAX_PATH", u"260"},
                   Text8("MAX_PATH = 260"),
                   ConstEngine()},
        MemberCase{"GetType_formatted",
                   &kGetType,
                   Flags(-1, 0, 0),
                   {kWinposName, kWinpos},
                   Text8("DIM WINPOS{ \\\r\n\\    rc{} = RECT{}, \\ client area\r\n"
                         "\\    pt{} = POINTAPI{} \\ \r\n\\    }"),
                   ByValueEngine<declshift::GetType>()},
        MemberCase{"GetType_packed",
                   &kGetType,
                   Flags(0, -1, -1),
                   {kWinposName, kWinpos},
                   Text8("DIM WINPOS{ rc{} = RECT{}, pt{} = POINTAPI{} }"),
                   ByValueEngine<declshift::GetType>()},
        MemberCase{"GetType_any_nonzero_formats",
                   &kGetType,
                   Flags(7, 0, 0),
                   {kWinposName, kWinpos},
                   {},
                   ByValueEngine<declshift::GetType>()},
        MemberCase{"GetType_failure_sentence",
                   &kGetType,
                   {},
                   {u"EMPTY", u"\r\n"},
                   Text8("REM Sorry I could not convert EMPTY"),
                   ByValueEngine<declshift::GetType>()},
        MemberCase{"GetType_null_strings",
                   &kGetType,
                   {},
                   {std::nullopt, std::nullopt},
                   Text8("REM Sorry I could not convert "),
                   ByValueEngine<declshift::GetType>()},
        MemberCase{"GetEnum",
                   &kGetEnum,
                   {},
                   {u"ShowCmd", u"\tSW_HIDE = 0\r\n\tTOPMOST = 4\r\n"},
                   Text8("REM ShowCmd\r\nSW_HIDE = 0\r\n_TOPMOST = 4\r\n"),
                   ByValueEngine<declshift::GetEnum>()},
        MemberCase{"GetEnum_failure_sentence",
                   &kGetEnum,
                   {},
                   {u"Empty", u""},
                   Text8("REM Sorry I could not convert Empty"),
                   ByValueEngine<declshift::GetEnum>()},
        MemberCase{"GetSub_packed",
                   &kGetSub,
                   {},
                   {u"keybd_event", kKeybdEvent},
                   Text8("SYS \"keybd_event\", bVk&, bScan&, dwFlags%, dwExtraInfo%\r\n"),
                   ByReferenceEngine<declshift::GetSub>()},
        MemberCase{"GetSub_formatted",
                   &kGetSub,
                   Flags(-1, 0, 0),
                   {u"keybd_event", kKeybdEvent},
                   Text8("SYS \"keybd_event\", bVk&, \\\r\n\\    bScan&, \\\r\n\\    dwFlags%, \\\r\n"
                         "\\    dwExtraInfo%\r\n"),
                   ByReferenceEngine<declshift::GetSub>()},
        MemberCase{"GetSub_null_strings",
                   &kGetSub,
                   {},
                   {std::nullopt, std::nullopt},
                   {},
                   ByReferenceEngine<declshift::GetSub>()},
        MemberCase{"GetFunc_bound_by_name",
                   &kGetFunc,
                   Flags(-1, -1, 0),
                   {u"GetFileVersionInfoSize", kFileVersionInfoSize},
                   Text8(kFileVersionInfoSizeBound + "A, lptstrFilename$, \\\r\n"
                                                     "\\    lpdwHandle% TO ret%:REM returns Long\r\n"),
                   ByReferenceEngine<declshift::GetFunc>()},
        MemberCase{"GetFunc_wide_entry_point",
                   &kGetFunc,
                   {1, -1, -1, 0, 0},
                   {u"GetFileVersionInfoSize", kFileVersionInfoSize},
                   {},
                   ByReferenceEngine<declshift::GetFunc>()},
        MemberCase{"GetFunc_charset_other_than_one",
                   &kGetFunc,
                   {2, -1, -1, 0, 0},
                   {u"GetFileVersionInfoSize", kFileVersionInfoSize},
                   {},
                   ByReferenceEngine<declshift::GetFunc>()},
        MemberCase{"GetFunc_packed_loader",
                   &kGetFunc,
                   {},
                   {u"GetFileVersionInfoSize", kFileVersionInfoSize},
                   {},
                   ByReferenceEngine<declshift::GetFunc>()},
        MemberCase{"GetFunc_failure",
                   &kGetFunc,
                   {},
                   {u"Broken", u"\""},
                   {},
                   ByReferenceEngine<declshift::GetFunc>()},
        MemberCase{"StartsWith_prefix", &kStartsWith, {}, {u"TOTAL", u"TO"}, kTrue, StartsWithEngine()},
        MemberCase{"StartsWith_longer", &kStartsWith, {}, {u"ab", u"abc"}, kFalse, StartsWithEngine()},
        MemberCase{"StartsWith_case", &kStartsWith, {}, {u"ABC", u"abc"}, kFalse, StartsWithEngine()},
        MemberCase{"StartsWith_empty", &kStartsWith, {}, {u"abc", u""}, kTrue, StartsWithEngine()},
        MemberCase{"StartsWith_null_strings",
                   &kStartsWith,
                   {},
                   {std::nullopt, std::nullopt},
                   kTrue,
                   StartsWithEngine()}),
    [](const auto& row) { return std::string(row.param.label); });

// ---------------------------------------------------------------------------------
// The Charset put: the platform's Variant conversion to a 32-bit integer.

struct CharsetCase {
    const char* label;
    std::function<void(VARIANT&)> make;
    HRESULT status;
    LONG stored;  // what m_Charset holds afterwards; it starts at 99
};

void PrintTo(const CharsetCase& row, std::ostream* out) { *out << row.label; }

class CharsetTest : public ComTest, public ::testing::WithParamInterface<CharsetCase> {};

LONG StoredCharset(_clsMain& object) {
    LONG value = 0;
    EXPECT_HRESULT_SUCCEEDED(object.get_m_Charset(&value));
    return value;
}

TEST_P(CharsetTest, ConvertsOrFailsAndKeepsTheField) {
    const auto& row = GetParam();
    auto object = NewObject<_clsMain>(IID__clsMain);
    ASSERT_NE(object.get(), nullptr);

    // Through the slot.
    ASSERT_HRESULT_SUCCEEDED(object->put_m_Charset(99));
    VARIANT value;
    VariantInit(&value);
    row.make(value);
    EXPECT_EQ(object->put_Charset(&value), row.status);
    EXPECT_EQ(StoredCharset(*object), row.stored);

    // By name, with the same Variant.
    Ref<IDispatch> byName;
    ASSERT_HRESULT_SUCCEEDED(object->QueryInterface(IID_IDispatch, byName.out()));
    ASSERT_HRESULT_SUCCEEDED(object->put_m_Charset(99));
    EXPECT_EQ(CallByName(byName.get(), L"Charset", DISPATCH_PROPERTYPUT, {value}, nullptr), row.status);
    EXPECT_EQ(StoredCharset(*object), row.stored);
    VariantClear(&value);
}

VARIANT g_referenced;  // the target of the by-reference rows

INSTANTIATE_TEST_SUITE_P(
    Cases, CharsetTest,
    ::testing::Values(CharsetCase{"half_to_even_down",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_R8;
                                      V_R8(&v) = 2.5;
                                  },
                                  S_OK, 2},
                      CharsetCase{"half_to_even_up",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_R8;
                                      V_R8(&v) = 3.5;
                                  },
                                  S_OK, 4},
                      CharsetCase{"negative_half",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_R8;
                                      V_R8(&v) = -2.5;
                                  },
                                  S_OK, -2},
                      CharsetCase{"numeric_text",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_BSTR;
                                      V_BSTR(&v) = SysAllocString(L"7");
                                  },
                                  S_OK, 7},
                      CharsetCase{"empty", [](VARIANT& v) { V_VT(&v) = VT_EMPTY; }, S_OK, 0},
                      CharsetCase{"boolean_true",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_BOOL;
                                      V_BOOL(&v) = VARIANT_TRUE;
                                  },
                                  S_OK, -1},
                      CharsetCase{"integer",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_I4;
                                      V_I4(&v) = 1;
                                  },
                                  S_OK, 1},
                      CharsetCase{"lowest",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_R8;
                                      V_R8(&v) = -2147483648.0;
                                  },
                                  S_OK, INT32_MIN},
                      CharsetCase{"by_reference_variant",
                                  [](VARIANT& v) {
                                      VariantInit(&g_referenced);
                                      V_VT(&g_referenced) = VT_R8;
                                      V_R8(&g_referenced) = 5.5;
                                      V_VT(&v) = VT_VARIANT | VT_BYREF;
                                      V_VARIANTREF(&v) = &g_referenced;
                                  },
                                  S_OK, 6},
                      CharsetCase{"non_numeric_text",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_BSTR;
                                      V_BSTR(&v) = SysAllocString(L"abc");
                                  },
                                  DISP_E_TYPEMISMATCH, 99},
                      CharsetCase{"empty_text",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_BSTR;
                                      V_BSTR(&v) = SysAllocString(L"");
                                  },
                                  DISP_E_TYPEMISMATCH, 99},
                      CharsetCase{"too_large",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_R8;
                                      V_R8(&v) = 2147483648.0;
                                  },
                                  DISP_E_OVERFLOW, 99},
                      CharsetCase{"too_large_text",
                                  [](VARIANT& v) {
                                      V_VT(&v) = VT_BSTR;
                                      V_BSTR(&v) = SysAllocString(L"3000000000");
                                  },
                                  DISP_E_OVERFLOW, 99},
                      CharsetCase{"null", [](VARIANT& v) { V_VT(&v) = VT_NULL; }, DISP_E_TYPEMISMATCH, 99}),
    [](const auto& row) { return std::string(row.param.label); });

// ---------------------------------------------------------------------------------
// The server: exports, unload answers, class refusal, resources, type library.

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

class ServerTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        path_ = RegisteredModule();
        ASSERT_FALSE(path_.empty()) << "declshift.clsMain is not registered";
        module_ = LoadLibraryW(path_.c_str());
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

    std::wstring path_;
    HMODULE module_ = nullptr;
    CanUnloadNow canUnloadNow_ = nullptr;
    GetClassObject getClassObject_ = nullptr;
};

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

    Ref<IClassFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(getClassObject_(CLSID_clsMain, IID_IClassFactory, factory.out()));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(TRUE));
    Ref<_clsMain> object;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID__clsMain, object.out()));
    factory.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "object and lock alive";

    object.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "lock alive";

    ASSERT_HRESULT_SUCCEEDED(getClassObject_(CLSID_clsMain, IID_IClassFactory, factory.out()));
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_IDispatch, object.out()));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "object alive";

    object.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerTest, ObjectsFromComKeepTheServerLoaded) {
    ASSERT_EQ(canUnloadNow_(), S_OK);
    auto object = NewObject<_clsMain>(IID__clsMain);
    ASSERT_NE(object.get(), nullptr);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    object.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerTest, RefusesEveryOtherClass) {
    const GUID others[] = {IID__clsMain, LIBID_declshift, IID_IUnknown, GUID_NULL};
    for (const auto& other : others) {
        void* factory = reinterpret_cast<void*>(1);
        EXPECT_EQ(getClassObject_(other, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(factory, nullptr);
    }
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerTest, FactoryRefusesAggregationAndUnknownInterfaces) {
    Ref<IClassFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(getClassObject_(CLSID_clsMain, IID_IClassFactory, factory.out()));
    Ref<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown, object.out()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, object.out()), E_NOINTERFACE);
    EXPECT_EQ(object.get(), nullptr);
    factory.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ServerTest, VersionResourceMarksSelfRegistration) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    wchar_t block[64];
    std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    auto text = [&](const wchar_t* name) -> std::optional<std::wstring> {
        wchar_t* value = nullptr;
        UINT chars = 0;
        if (!VerQueryValueW(data.data(), (std::wstring(block) + name).c_str(),
                            reinterpret_cast<void**>(&value), &chars)) {
            return std::nullopt;
        }
        return std::wstring(value != nullptr ? value : L"");
    };
    EXPECT_EQ(text(L"FileVersion"), L"1.00");
    EXPECT_EQ(text(L"ProductVersion"), L"1.00");
    EXPECT_TRUE(text(L"OLESelfRegister").has_value());
}

// The icon group resource as it lies in the file.
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

BOOL CALLBACK CountResource(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int ResourceCount(HMODULE module, LPCWSTR type) {
    int count = 0;
    EnumResourceNamesW(module, type, CountResource, reinterpret_cast<LONG_PTR>(&count));
    return count;
}

TEST_F(ServerTest, CarriesOneSixteenColourIcon) {
    EXPECT_EQ(ResourceCount(module_, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */), 1);
    EXPECT_EQ(ResourceCount(module_, MAKEINTRESOURCEW(3) /* RT_ICON */), 1);

    HRSRC resource = FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
    ASSERT_NE(resource, nullptr);
    const auto* group = static_cast<const IconGroup*>(LockResource(LoadResource(module_, resource)));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->type, 1);
    ASSERT_EQ(group->count, 1);
    EXPECT_EQ(group->entries[0].width, 16);
    EXPECT_EQ(group->entries[0].height, 16);
    EXPECT_EQ(group->entries[0].colours, 16);
    EXPECT_EQ(group->entries[0].bitCount, 4);
    EXPECT_NE(
        FindResourceW(module_, MAKEINTRESOURCEW(group->entries[0].id), MAKEINTRESOURCEW(3) /* RT_ICON */),
        nullptr);
}

// ---------------------------------------------------------------------------------
// The interface as its type library describes it, slot by slot.

struct SlotCase {
    int slot;
    const char* name;
    INVOKEKIND kind;
    // "name: type". GetNames answers by member id, which a property put shares with
    // its get, so the parameter names of puts are not visible and not compared.
    std::vector<std::string> parameters;
    std::string result;  // the [out, retval] type, or "" for none
};

void PrintTo(const SlotCase& row, std::ostream* out) { *out << row.slot << "_" << row.name; }

std::string TypeName(const TYPEDESC& type) {
    switch (type.vt) {
        case VT_PTR:
            return TypeName(*type.lptdesc) + "*";
        case VT_I4:
            return "long";
        case VT_BOOL:
            return "VARIANT_BOOL";
        case VT_BSTR:
            return "BSTR";
        case VT_VARIANT:
            return "VARIANT";
        default:
            return "vt" + std::to_string(type.vt);
    }
}

class SlotTest : public ComTest, public ::testing::WithParamInterface<SlotCase> {
protected:
    void SetUp() override {
        ComTest::SetUp();
        ASSERT_HRESULT_SUCCEEDED(LoadRegTypeLib(LIBID_declshift, 1, 1, 0, library_.put()));
        Ref<ITypeInfo> described;
        ASSERT_HRESULT_SUCCEEDED(library_->GetTypeInfoOfGuid(IID__clsMain, described.put()));
        HREFTYPE vtableView = 0;
        ASSERT_HRESULT_SUCCEEDED(described->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableView));
        ASSERT_HRESULT_SUCCEEDED(described->GetRefTypeInfo(vtableView, interface_.put()));
    }
    void TearDown() override {
        interface_.Reset();
        library_.Reset();
        ComTest::TearDown();
    }
    Ref<ITypeLib> library_;
    Ref<ITypeInfo> interface_;
};

TEST_P(SlotTest, DeclaresTheMemberInItsSlot) {
    const auto& row = GetParam();
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(interface_->GetTypeAttr(&attributes));
    const WORD functions = attributes->cFuncs;
    interface_->ReleaseTypeAttr(attributes);

    const FUNCDESC* found = nullptr;
    for (UINT i = 0; i < functions && found == nullptr; ++i) {
        FUNCDESC* function = nullptr;
        ASSERT_HRESULT_SUCCEEDED(interface_->GetFuncDesc(i, &function));
        if (function->oVft ==
            static_cast<SHORT>(static_cast<std::size_t>(7 + row.slot - 1) * sizeof(void*))) {
            found = function;
        } else {
            interface_->ReleaseFuncDesc(function);
        }
    }
    ASSERT_NE(found, nullptr) << "no member in slot " << row.slot;

    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_HRESULT_SUCCEEDED(interface_->GetNames(found->memid, names, 8, &count));
    std::vector<std::string> nameList;
    for (UINT i = 0; i < count; ++i) {
        nameList.push_back(Utf16ToUtf8(FromBstr(names[i])));
        SysFreeString(names[i]);
    }
    ASSERT_FALSE(nameList.empty());
    EXPECT_EQ(nameList[0], row.name);
    EXPECT_EQ(found->invkind, row.kind);
    EXPECT_EQ(found->callconv, CC_STDCALL);

    std::vector<std::string> parameters;
    std::string result;
    for (SHORT i = 0; i < found->cParams; ++i) {
        const ELEMDESC& parameter = found->lprgelemdescParam[i];
        const std::string type = TypeName(parameter.tdesc);
        if (parameter.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
            result = type.substr(0, type.size() - 1);  // the retval is always a pointer
            continue;
        }
        const auto index = static_cast<std::size_t>(i) + 1;
        const bool named = row.kind != INVOKE_PROPERTYPUT && index < nameList.size();
        parameters.push_back((named ? nameList[index] : "") + ": " + type);
    }
    EXPECT_EQ(parameters, row.parameters);
    EXPECT_EQ(result, row.result);
    interface_->ReleaseFuncDesc(const_cast<FUNCDESC*>(found));
}

TEST_F(SlotTest, InterfaceAndClassCarryTheirFlags) {
    TLIBATTR* library = nullptr;
    ASSERT_HRESULT_SUCCEEDED(library_->GetLibAttr(&library));
    EXPECT_EQ(library->wMajorVerNum, 1);
    EXPECT_EQ(library->wMinorVerNum, 1);
    library_->ReleaseTLibAttr(library);

    Bstr name;
    ASSERT_HRESULT_SUCCEEDED(library_->GetDocumentation(-1, name.out(), nullptr, nullptr, nullptr));
    EXPECT_EQ(name.text(), u"declshift");

    Ref<ITypeInfo> described;
    ASSERT_HRESULT_SUCCEEDED(library_->GetTypeInfoOfGuid(IID__clsMain, described.put()));
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(described->GetTypeAttr(&attributes));
    const WORD flags = attributes->wTypeFlags;
    described->ReleaseTypeAttr(attributes);
    ASSERT_HRESULT_SUCCEEDED(interface_->GetTypeAttr(&attributes));
    const WORD vtableFlags = attributes->wTypeFlags;
    interface_->ReleaseTypeAttr(attributes);
    // Both views of the dual interface are hidden and not extensible; the vtable view
    // is the one marked automation-compatible.
    for (const WORD flag : {TYPEFLAG_FDUAL, TYPEFLAG_FHIDDEN, TYPEFLAG_FNONEXTENSIBLE}) {
        EXPECT_TRUE(flags & flag) << "flag " << flag;
        EXPECT_TRUE(vtableFlags & flag) << "flag " << flag;
    }
    EXPECT_TRUE(vtableFlags & TYPEFLAG_FOLEAUTOMATION);

    Ref<ITypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(library_->GetTypeInfoOfGuid(CLSID_clsMain, coclass.put()));
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attributes));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FCANCREATE);
    coclass->ReleaseTypeAttr(attributes);
    ASSERT_HRESULT_SUCCEEDED(coclass->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr));
    EXPECT_EQ(name.text(), u"clsMain");
    HREFTYPE reference = 0;
    int implFlags = 0;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(0, &reference));
    ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(0, &implFlags));
    EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);
    Ref<ITypeInfo> defaultInterface;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeInfo(reference, defaultInterface.put()));
    ASSERT_HRESULT_SUCCEEDED(
        defaultInterface->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr));
    EXPECT_EQ(name.text(), u"_clsMain");
}

constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET;
constexpr INVOKEKIND kPut = INVOKE_PROPERTYPUT;
constexpr INVOKEKIND kMethod = INVOKE_FUNC;

INSTANTIATE_TEST_SUITE_P(
    Interface, SlotTest,
    ::testing::Values(
        SlotCase{1, "m_Charset", kGet, {}, "long"}, SlotCase{2, "m_Charset", kPut, {": long"}, ""},
        SlotCase{3, "Charset", kPut, {": VARIANT*"}, ""}, SlotCase{4, "VarRanges", kGet, {}, "VARIANT_BOOL"},
        SlotCase{5, "mPublic", kMethod, {}, ""}, SlotCase{6, "mNoRange", kMethod, {}, ""},
        SlotCase{7, "mPrivate", kMethod, {}, ""}, SlotCase{8, "Version", kGet, {}, "BSTR"},
        SlotCase{9, "Syntax", kGet, {}, "BSTR"}, SlotCase{10, "InitPlugIn", kMethod, {}, "VARIANT_BOOL"},
        SlotCase{11, "ShowParams", kGet, {}, "VARIANT_BOOL"},
        SlotCase{12, "ShowParams", kPut, {": VARIANT_BOOL*"}, ""},
        SlotCase{13, "AutoFormat", kGet, {}, "VARIANT_BOOL"},
        SlotCase{14, "AutoFormat", kPut, {": VARIANT_BOOL*"}, ""},
        SlotCase{15, "ExplConst", kGet, {}, "VARIANT_BOOL"},
        SlotCase{16, "ExplConst", kPut, {": VARIANT_BOOL*"}, ""},
        SlotCase{17, "InsertAfterOption", kGet, {}, "VARIANT_BOOL"},
        SlotCase{18, "InsertAfterOption", kPut, {": VARIANT_BOOL*"}, ""},
        SlotCase{19, "GetType", kMethod, {"m_Name: BSTR", "m_Data: BSTR"}, "BSTR"},
        SlotCase{20, "GetEnum", kMethod, {"m_Name: BSTR", "m_Data: BSTR"}, "BSTR"},
        SlotCase{21, "GetConst", kMethod, {"m_Name: BSTR*", "m_Data: BSTR*"}, "BSTR"},
        SlotCase{22, "GetSub", kMethod, {"m_Name: BSTR*", "m_Data: BSTR*"}, "BSTR"},
        SlotCase{23, "GetFunc", kMethod, {"m_Name: BSTR*", "m_Data: BSTR*"}, "BSTR"},
        SlotCase{24, "Preview", kMethod, {}, "BSTR"},
        SlotCase{25, "StartsWith", kMethod, {"src: BSTR*", "contains: BSTR*"}, "VARIANT_BOOL"}),
    [](const auto& row) { return std::to_string(row.param.slot) + "_" + row.param.name; });

}  // namespace
