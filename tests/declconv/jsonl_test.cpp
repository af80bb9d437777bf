#include "jsonl.h"

#include <gtest/gtest.h>

#include <sstream>

#include "named_rows.h"

namespace declconv {
namespace {

struct ProtocolCase {
    const char* label;
    std::string request;
    std::string response;
    bool ok;
};

class JsonLinesTest : public ::testing::TestWithParam<ProtocolCase> {};

TEST_P(JsonLinesTest, AnswersOneLinePerRequest) {
    auto backend = MakeNativeBackend();
    const auto [answer, ok] = AnswerRequest(*backend, GetParam().request);
    if (GetParam().response.empty()) {
        EXPECT_EQ(answer.rfind(R"({"error":"malformed JSON: )", 0), 0u) << answer;
    } else {
        EXPECT_EQ(answer, GetParam().response);
    }
    EXPECT_EQ(ok, GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, JsonLinesTest,
    ::testing::Values(
        ProtocolCase{"const", R"({"call":"GetConst","name":"WM_USER","data":"&H400"})",
                     R"({"result":"WM_USER = &400","name":"WM_USER"})", true},
        ProtocolCase{"const_name_written_back",
                     R"({"call":"GetConst","name":"TO As Long","data":"1","options":{}})",
                     R"({"result":"_TO = 1","name":"TO"})", true},
        ProtocolCase{"extra_fields_ignored", R"({"call":"GetConst","name":"A","data":"1","src":"x.txt:1"})",
                     R"({"result":"A = 1","name":"A"})", true},
        ProtocolCase{"starts_with", R"({"call":"StartsWith","src":"abc","contains":"ab"})",
                     R"({"result":true})", true},
        ProtocolCase{"starts_with_false", R"({"call":"StartsWith","src":"ab","contains":"abc"})",
                     R"({"result":false})", true},
        ProtocolCase{"non_bmp_and_nul", R"({"call":"GetConst","name":"\ud83d\ude00","data":"\"\u0000\""})",
                     "{\"result\":\"\xF0\x9F\x98\x80$ = \\\"\\u0000\\\"\",\"name\":\"\xF0\x9F\x98\x80\"}",
                     true},
        // A lone surrogate (half an astral character) comes back as it went in.
        ProtocolCase{"lone_surrogates_kept",
                     R"({"call":"GetConst","name":"\udc00B","data":"\"\ud83d\\u\"","src":"\udbff"})",
                     R"({"result":"\udc00B$ = \"\ud83d\\u\"","name":"\udc00B"})", true},
        ProtocolCase{"stand_in_characters_of_the_line_own",
                     R"({"call":"GetConst","name":"\udb80\udc00","data":"\ud800"})", "", false},
        ProtocolCase{
            "options_accepted",
            R"({"call":"GetConst","name":"A","data":"1","options":{"AutoFormat":-1,"Charset":1,"ShowParams":true}})",
            R"({"result":"A = 1","name":"A"})", true},
        // Structures, enumerations and the sample: by-value texts, so only the result comes back.
        ProtocolCase{
            "type_formatted",
            R"({"call":"GetType","name":"WINPOS","data":"\trc As RECT ' client area\r\n\tpt As POINTAPI","options":{"AutoFormat":-1}})",
            R"({"result":"DIM WINPOS{ \\\r\n\\    rc{} = RECT{}, \\ client area\r\n\\    pt{} = POINTAPI{} \\ \r\n\\    }"})",
            true},
        ProtocolCase{"type_packed",
                     R"({"call":"GetType","name":"TOTAL","data":"\ta As Long\r\n\tb(1 To 4) As Byte"})",
                     R"({"result":"DIM _TOTAL{ a%, b&(4 - 1) }"})", true},
        ProtocolCase{"type_failure", R"({"call":"GetType","name":"E","data":"\r\n"})",
                     R"({"result":"REM Sorry I could not convert E"})", true},
        ProtocolCase{"enum", R"x({"call":"GetEnum","name":"TOP","data":"\tTOP = &H1 ' TOP\r\n\tB=(TOP)"})x",
                     R"({"result":"REM TOP\r\n_TOP = &1 :REM TOP\r\nB = (_TOP)\r\n"})", true},
        ProtocolCase{"enum_without_data", R"({"call":"GetEnum","name":"E"})",
                     R"({"result":"REM Sorry I could not convert E"})", true},
        ProtocolCase{"enum_data_type", R"({"call":"GetEnum","name":"E","data":["A"]})",
                     R"({"error":"field \"data\" must be a string"})", false},
        ProtocolCase{
            "preview_fresh_object", R"({"call":"Preview"})",
            R"({"result":"Test = 1\r\n\r\nDIM TEST{ Param1%, Param2%, Param3%, Param4% }\r\n\r\nSYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"})",
            true},
        ProtocolCase{
            "preview_function_binding", R"({"call":"Preview","options":{"ExplConst":1,"ShowParams":0}})",
            R"({"result":"Test = 1\r\n\r\nDIM TEST{ Param1%, Param2%, Param3%, Param4% }\r\n\r\ntest = FN_LoadDLL(\"test.dll\", \"test\")\r\nSYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"})",
            true},
        ProtocolCase{
            "sub",
            R"x({"call":"GetSub","name":"keybd_event","data":"\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)","options":{"AutoFormat":-1}})x",
            R"x({"result":"SYS \"keybd_event\", bVk&, \\\r\n\\    bScan&, \\\r\n\\    dwFlags%, \\\r\n\\    dwExtraInfo%\r\n","name":"keybd_event"})x",
            true},
        ProtocolCase{
            "func_binding_wide_packed",
            R"x({"call":"GetFunc","name":"GetFileVersionInfoSize","data":"\"version\" Alias \"GetFileVersionInfoSizeA\" (lptstrFilename As String, lpdwHandle&) As Long","options":{"ShowParams":true,"Charset":1}})x",
            R"x({"result":"SYS \"GetModuleHandle\", \"version.dll\" TO `version%\r\nIF `version%=0 SYS \"LoadLibrary\", \"version.dll\" TO `version%\r\nSYS \"GetProcAddress\", `version%, \"GetFileVersionInfoSizeW\" TO GetFileVersionInfoSizeW\r\nSYS GetFileVersionInfoSizeW, lptstrFilename$, lpdwHandle% TO ret%\r\n","name":"GetFileVersionInfoSize"})x",
            true},
        ProtocolCase{"func_failed_list", R"x({"call":"GetFunc","name":"F(x)","data":"\"mine\" (ByRef x&"})x",
                     R"x({"result":"REM Sorry I could not convert F(x)","name":"F(x)"})x", true},
        ProtocolCase{"sub_without_fields", R"x({"call":"GetSub","name":"F"})x",
                     R"x({"result":"REM Sorry I could not convert F","name":"F"})x", true},
        ProtocolCase{"malformed", R"({"call":)", "", false},
        ProtocolCase{"not_an_object", R"([1,2])", R"({"error":"a request must be a JSON object"})", false},
        ProtocolCase{"unknown_call", R"({"call":"GetThing"})", R"({"error":"unknown call \"GetThing\""})",
                     false},
        ProtocolCase{"wrong_field_type", R"({"call":"GetConst","name":5})",
                     R"({"error":"field \"name\" must be a string"})", false},
        ProtocolCase{"unknown_option", R"({"call":"GetConst","options":{"Colour":1}})",
                     R"({"error":"unknown option \"Colour\""})", false},
        ProtocolCase{"option_out_of_range", R"({"call":"GetConst","options":{"AutoFormat":40000}})",
                     R"x({"error":"option \"AutoFormat\" is out of range (-32768 to 32767)"})x", false},
        ProtocolCase{"option_wrong_type", R"({"call":"GetConst","options":{"Charset":"1"}})",
                     R"({"error":"option \"Charset\" must be an integer or a boolean"})", false}),
    kRowName);

TEST(JsonLinesRun, GoesOnAfterABadLineAndReportsIt) {
    auto backend = MakeNativeBackend();
    std::istringstream in(
        "{\"call\":\"GetConst\",\"name\":\"A\",\"data\":\"1\"}\r\nnot json\n"
        "{\"call\":\"StartsWith\",\"src\":\"x\",\"contains\":\"\"}\n");
    std::string out;
    EXPECT_FALSE(RunJsonLines(*backend, in, [&](std::string_view bytes) { out += bytes; }));
    std::istringstream lines(out);
    std::string line;
    std::vector<std::string> answers;
    while (std::getline(lines, line)) answers.push_back(line);
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0], R"({"result":"A = 1","name":"A"})");
    EXPECT_EQ(answers[1].rfind(R"({"error":"malformed JSON)", 0), 0u);
    EXPECT_EQ(answers[2], R"({"result":true})");
}

}  // namespace
}  // namespace declconv
