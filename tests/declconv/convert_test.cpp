#include "convert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace declconv {
namespace {

namespace fs = std::filesystem;

// A plug-in that answers in a way the test can see: the name and data it was
// given, the options it holds, and the failure sentence for names beginning "BAD".
// Like the real GetConst it drops " As Long" from the name it hands back.
class RecordingPlugIn final : public PlugIn {
public:
    void PutOptions(const declshift::Options& options) override { options_ = options; }
    std::u16string GetConst(std::u16string& name, std::u16string& data) override {
        const std::u16string given = name;
        if (const auto at = name.find(u" As Long"); at != std::u16string::npos) name.erase(at, 8);
        if (given.rfind(u"BAD", 0) == 0)
            return declshift::FailureSentence(given.rfind(u"BADLATE", 0) == 0 ? name : given);
        return name + u" = " + data + u" [" +
               std::u16string(1, static_cast<char16_t>(u'0' + options_.m_Charset)) +
               (options_.m_AutoFormat != 0 ? u"A" : u"") + (options_.m_ShowParams != 0 ? u"S" : u"") + u"]";
    }
    bool StartsWith(std::u16string&, std::u16string&) override { return false; }
    std::u16string GetType(std::u16string name, std::u16string data) override {
        return u"TYPE " + name + u" {" + data + u"}";
    }
    std::u16string GetEnum(std::u16string name, std::u16string data) override {
        return u"ENUM " + name + u" {" + data + u"}";
    }
    std::u16string Preview() override { return u"PREVIEW"; }
    std::u16string GetSub(std::u16string& name, std::u16string& data) override {
        return u"SUB " + name + u" " + data + u"\r\n";
    }
    std::u16string GetFunc(std::u16string& name, std::u16string& data) override {
        return u"FUNC " + name + u" " + data + u"\r\n";
    }

private:
    declshift::Options options_;
};

class RecordingBackend final : public Backend {
public:
    std::unique_ptr<PlugIn> NewObject() override {
        ++objects;
        return std::make_unique<RecordingPlugIn>();
    }
    int objects = 0;
};

class ConvertCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("declconv_convert_test_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    int Run(ConvertSettings settings) {
        return RunConvert(
            backend_, settings,
            [this](std::string_view bytes) {
                if (outputFails_) throw tools::FileError("standard output", "No space left on device");
                out_ << bytes;
            },
            messages_);
    }

    fs::path dir_;
    RecordingBackend backend_;
    std::ostringstream out_;
    std::ostringstream messages_;
    bool outputFails_ = false;
};

TEST_F(ConvertCommand, ConvertsInFileOrderOneLineEach) {
    const auto file = Write("a.bas", "Const A = 1\r\n' c\r\nConst B As Long = 2\r\n");
    ConvertSettings settings;
    settings.files = {file};
    EXPECT_EQ(Run(settings), kConvertOk);
    EXPECT_EQ(out_.str(), "A = 1 [0]\r\nB = 2 [0]\r\n");
    EXPECT_EQ(backend_.objects, 1);
    EXPECT_NE(
        messages_.str().find(file +
                             ": 2 declarations (GetConst 2, GetType 0, GetEnum 0, GetSub 0, GetFunc 0): "
                             "2 converted, 0 failed\n" +
                             file + ": skipped 1 comments, 0 blank, 0 header, 0 other\n"),
        std::string::npos)
        << messages_.str();
}

TEST_F(ConvertCommand, HandsTheOptionsToThePlugIn) {
    ConvertSettings settings;
    settings.files = {Write("a.bas", "Const A = 1")};
    settings.options.m_Charset = 1;
    settings.options.m_AutoFormat = -1;
    settings.options.m_ShowParams = -1;
    Run(settings);
    EXPECT_EQ(out_.str(), "A = 1 [1AS]\r\n");
}

TEST_F(ConvertCommand, ReportsFailuresWithTheSentenceAndStrictFails) {
    ConvertSettings settings;
    settings.files = {Write("a.bas", "Const A = 1\nConst BAD = 2\nConst BADLATE As Long = 3\nConst C = 4")};
    EXPECT_EQ(Run(settings), kConvertOk);
    EXPECT_EQ(out_.str(),
              "A = 1 [0]\r\nREM Sorry I could not convert BAD\r\nREM Sorry I could not convert BADLATE\r\nC "
              "= 4 [0]\r\n");
    const std::string messages = messages_.str();
    EXPECT_NE(messages.find(":2: GetConst BAD failed: REM Sorry I could not convert BAD\n"),
              std::string::npos);
    EXPECT_NE(messages.find(":3: GetConst BADLATE As Long failed: REM Sorry I could not convert BADLATE\n"),
              std::string::npos);
    EXPECT_NE(messages.find("2 converted, 2 failed"), std::string::npos) << messages;

    settings.strict = true;
    EXPECT_EQ(Run(settings), kConvertFailures);
}

TEST_F(ConvertCommand, UnreadableFileIsNamedAndTheOthersStillConverted) {
    ConvertSettings settings;
    const auto missing = (dir_ / "missing.bas").string();
    settings.files = {missing, Write("b.bas", "Const B = 2"), dir_.string()};
    EXPECT_EQ(Run(settings), kConvertIoError);
    EXPECT_EQ(out_.str(), "B = 2 [0]\r\n");
    EXPECT_NE(messages_.str().find("declconv: " + missing + ": No such file or directory\n"),
              std::string::npos);
    EXPECT_NE(messages_.str().find("declconv: " + dir_.string() + ": Is a directory\n"), std::string::npos);
    EXPECT_NE(messages_.str().find("total: 1 declarations"), std::string::npos);
}

TEST_F(ConvertCommand, WarnsOfMalformedAndUnclosedAlwaysAndOfSkipsWhenVerbose) {
    ConvertSettings settings;
    settings.files = {Write("a.bas", "Dim x As Long\nConst\nType T\n  a As Long\n")};
    EXPECT_EQ(Run(settings), kConvertOk);
    std::string messages = messages_.str();
    EXPECT_NE(
        messages.find(":2: warning: skipped malformed declaration (Const without a name and a value): Const"),
        std::string::npos)
        << messages;
    EXPECT_NE(messages.find(":3: warning: skipped unclosed block (Type block without End Type): Type T"),
              std::string::npos);
    EXPECT_EQ(messages.find(":1: skipped"), std::string::npos);
    EXPECT_NE(messages.find("skipped 0 comments, 0 blank, 0 header, 1 other, 1 malformed, 1 unclosed"),
              std::string::npos);

    settings.strict = true;
    settings.verbose = true;
    messages_.str("");
    EXPECT_EQ(Run(settings), kConvertFailures);
    EXPECT_NE(messages_.str().find(":1: skipped statement: Dim x As Long\n"), std::string::npos);
    EXPECT_NE(messages_.str().find("a.bas: read as UTF-8\n"), std::string::npos);
}

TEST_F(ConvertCommand, EmitsRequestsWithTheBaseNameAndNoConversion) {
    ConvertSettings settings;
    settings.files = {
        Write("decl.txt", "' x\r\r\nConst A = &H1& ' y\r\r\nType T\r\r\n  a As Long\r\r\nEnd Type\r\r\n")};
    settings.emitRequests = true;
    EXPECT_EQ(Run(settings), kConvertOk);
    EXPECT_EQ(
        out_.str(),
        "{\"call\": \"GetConst\", \"name\": \"A\", \"data\": \"&H1&\", \"options\": {}, \"src\": "
        "\"decl.txt:2\"}\n"
        "{\"call\": \"GetType\", \"name\": \"T\", \"data\": \"\\ta As Long\", \"options\": {}, \"src\": "
        "\"decl.txt:3\"}\n");
    EXPECT_EQ(backend_.objects, 0);
    EXPECT_NE(messages_.str().find(
                  "2 declarations (GetConst 1, GetType 1, GetEnum 0, GetSub 0, GetFunc 0) handed over"),
              std::string::npos);
}

TEST_F(ConvertCommand, WritesTheOutputFileWholeAndLeavesNoTemporaryFile) {
    ConvertSettings settings;
    settings.files = {Write("a.bas", "Const A = 1")};
    settings.output = (dir_ / "out.txt").string();
    Write("out.txt", "old content");
    EXPECT_EQ(Run(settings), kConvertOk);
    EXPECT_EQ(Read(settings.output), "A = 1 [0]\r\n");
    EXPECT_EQ(out_.str(), "");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 2);  // a.bas and out.txt
}

TEST_F(ConvertCommand, OutputThatCannotBeWrittenIsAnErrorAndLeavesNothing) {
    ConvertSettings settings;
    settings.files = {Write("a.bas", "Const A = 1")};
    settings.output = (dir_ / "no such dir" / "out.txt").string();
    EXPECT_EQ(Run(settings), kConvertIoError);
    EXPECT_NE(
        messages_.str().find("declconv: " + settings.output + ": No such file or directory; left as it was"),
        std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "no such dir"));

    outputFails_ = true;
    settings.output.clear();
    EXPECT_EQ(Run(settings), kConvertIoError);
    EXPECT_NE(messages_.str().find("declconv: standard output: No space left on device\n"),
              std::string::npos);
}

// The old output survives every input that cannot be read, and an output that is
// also an input is refused before anything is read.
TEST_F(ConvertCommand, KeepsTheOutputFileUnlessEveryInputWasRead) {
    ConvertSettings settings;
    const auto good = Write("good.bas", "Const A = 1");
    settings.output = Write("out.tw", "old");
    const auto binary = Write("binary.bas", std::string("MZ\0\0", 4));
    for (const std::string& bad : {(dir_ / "missing.bas").string(), binary}) {
        settings.files = {good, bad};
        EXPECT_EQ(Run(settings), kConvertIoError);
        EXPECT_EQ(Read(settings.output), "old");
    }
    EXPECT_NE(messages_.str().find("declconv: " + binary + ": not a text file\n"),
              std::string::npos);
    EXPECT_NE(messages_.str().find(": left as it was, since not every input could be read\n"),
              std::string::npos);

    messages_.str("");
    settings.files = {good, (dir_ / "." / "out.tw").string()};
    EXPECT_EQ(Run(settings), kConvertIoError);
    EXPECT_EQ(Read(settings.output), "old");
    EXPECT_EQ(messages_.str(), "declconv: " + settings.output + ": is the input " + settings.files[1] +
                                   " as well; nothing was converted\n");
}

// Warnings name the line and do not fail --strict; errors of the file do.
TEST_F(ConvertCommand, WarnsOfWhatIsReadOrWrittenApproximately) {
    ConvertSettings settings;
    settings.strict = true;
    settings.files = {Write("a.bas", "Const A = 1\r\nConst B = \"\xE9\"\r\n"),
                      Write("b.bas", std::string("\xFF\xFE"
                                                 "C\0o\0n\0s\0t\0 \0C\0 \0=\0 \0\x3D\xD8",
                                                 24))};
    EXPECT_EQ(Run(settings), kConvertOk);
    EXPECT_NE(messages_.str().find(
                  "a.bas:2: warning: not UTF-8 from this line on; the file is read as Windows-1252\n"),
              std::string::npos);
    EXPECT_NE(messages_.str().find(
                  "b.bas: warning: 1 unpaired surrogates in the Tarnwick text, written as U+FFFD\n"),
              std::string::npos);
    EXPECT_EQ(out_.str(), "A = 1 [0]\r\nB = \"\xC3\xA9\" [0]\r\nC = \xEF\xBF\xBD [0]\r\n");

    settings.files = {Write("c.bas", "#If Then\r\n#End If\r\n")};
    EXPECT_EQ(Run(settings), kConvertFailures);
    EXPECT_NE(messages_.str().find("c.bas:1: error: malformed condition: an operand is missing\n"),
              std::string::npos);
}

TEST_F(ConvertCommand, Utf16OutputHasAByteOrderMark) {
    ConvertSettings settings;
    settings.files = {Write("a.bas", "Const \xC4 = 1")};  // Windows-1252 input
    settings.encoding = OutputEncoding::kUtf16;
    Run(settings);
    EXPECT_EQ(out_.str(), std::string("\xFF\xFE\xC4\0 \0=\0 \0"
                                      "1\0 \0[\0"
                                      "0\0]\0\r\0\n\0",
                                      24));
}

TEST(ConvertNative, ConvertsConstantsThroughTheEngine) {
    auto backend = MakeNativeBackend();
    const std::vector<Request> requests = {{Call::kGetConst, u"WM_USER As Long", u"&H400", 3},
                                           {Call::kGetConst, u"S", u"\"x\"", 4}};
    std::u16string text;
    Tally tally;
    std::ostringstream messages;
    auto object = backend->NewObject();
    ConvertRequests(*object, requests, "f", text, tally, messages);
    EXPECT_EQ(text, u"WM_USER = &400\r\nS$ = \"x\"\r\n");
    EXPECT_EQ(tally.converted, 2u);
    EXPECT_EQ(messages.str(), "");
}

}  // namespace
}  // namespace declconv
