// appack and mkupgrade as processes, as a new user meets them: exit status, the message
// ("TOOL: FILE: reason"), files left behind, hostile inputs and a full standard output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "aplib/aplib.h"
#include "package.h"
#include "vectors.h"

namespace aplib::testing {
namespace {

namespace fs = std::filesystem;

struct ToolCase {
    const char* label;
    const char* command;  // {T}: the test's folder, {V}: the vectors, {APPACK}, {MKUPGRADE}
    int status;
    const char* message;  // part of standard output and error
    const char* absent;   // a file in {T} that must not exist afterwards ("" for none)
};

void PrintTo(const ToolCase& row, std::ostream* out) { *out << row.label; }

class ToolTest : public ::testing::TestWithParam<ToolCase> {
protected:
    // The inputs are made once; each row gets its own folder with links to them.
    static void SetUpTestSuite() {
        inputs_ = fs::temp_directory_path() / ("tarnwick_tool_test_" + std::to_string(::getpid()));
        fs::create_directories(inputs_);
        Write("empty", {});
        fs::resize_file(Write("huge", {}), std::uint64_t{1} << 31);  // sparse: no disk taken
        Write("text.bin", ReadVector("text_100k.bin"));
        // Blocks whose headers lie about the original size, with valid CRCs otherwise.
        Bytes block = ReadVector("text_100k.aps");
        format::StoreLe32(&block[format::kOrigSizeAt], 0x7FFFFFFF);
        Write("claims_2g.aps", block);
        format::StoreLe32(&block[format::kOrigSizeAt], 0xFFFFFFFF);
        Write("claims_4g.aps", block);
        const Bytes program = mkupgrade::BareProgram(0x14C, 2);
        Write("stub.exe", program);
        // A package of two reference blocks, and one whose second block claims 2 GiB.
        Bytes package = program;
        const Bytes ide = ReadVector("short_text.aps"), runtime = ReadVector("ls.aps");
        package.insert(package.end(), ide.begin(), ide.end());
        package.insert(package.end(), runtime.begin(), runtime.end());
        package.resize(package.size() + 8);
        format::StoreLe32(&package[package.size() - 8], static_cast<std::uint32_t>(program.size()));
        const auto o2 = static_cast<std::uint32_t>(program.size() + ide.size());
        format::StoreLe32(&package[package.size() - 4], o2);
        Write("package.exe", package);
        format::StoreLe32(&package[o2 + format::kOrigSizeAt], 0x7FFFFFFF);
        Write("lying.exe", package);
    }
    static void TearDownTestSuite() { fs::remove_all(inputs_); }

    void SetUp() override {
        dir_ = inputs_ / "row";
        fs::create_directory(dir_);
        for (const auto& input : fs::directory_iterator(inputs_)) {
            if (input.is_regular_file()) fs::create_hard_link(input.path(), dir_ / input.path().filename());
        }
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string Write(const std::string& name, const Bytes& bytes) {
        const fs::path path = inputs_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    void Substitute(std::string& text) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{T}", dir_.string()},
                                         {"{V}", VectorDir().string()},
                                         {"{APPACK}", APPACK_PATH},
                                         {"{MKUPGRADE}", MKUPGRADE_PATH}}) {
            for (std::size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, key.size(), value);
        }
    }

    // Runs the command through the shell, with both outputs in one text.
    std::pair<int, std::string> Run(std::string command) {
        Substitute(command);
        const fs::path log = dir_ / "log.txt";
        const int raw = std::system(("(" + command + ") >" + log.string() + " 2>&1").c_str());
        const Bytes output = ReadFile(log);
        fs::remove(log);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(output.begin(), output.end())};
    }

    static inline fs::path inputs_;
    fs::path dir_;
};

TEST_P(ToolTest, SaysWhatHappened) {
    const auto& c = GetParam();
    const auto [status, output] = Run(c.command);
    EXPECT_EQ(status, c.status) << output;
    std::string message = c.message;
    Substitute(message);
    EXPECT_NE(output.find(message), std::string::npos) << output;
    if (*c.absent != '\0') {
        EXPECT_FALSE(fs::exists(dir_ / c.absent));
    }
    // Nothing but what the rows make: no temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolTest,
    ::testing::Values(
        ToolCase{
            "round_trip",
            "{APPACK} pack {T}/text.bin {T}/t.aps && {APPACK} unpack {T}/t.aps {T}/t.out && cmp {T}/text.bin "
            "{T}/t.out && {APPACK} check {T}/t.aps",
            0, "{T}/t.aps: ok, ", ""},
        ToolCase{"appack_unpacks_a_reference_block",
                 "{APPACK} unpack {V}/ls.aps {T}/ls && cmp {V}/ls.bin {T}/ls", 0, "", ""},
        ToolCase{"appack_replaces_an_existing_output",
                 "head -c 100000 /dev/zero >{T}/out && {APPACK} unpack {V}/ext_fox.aps {T}/out && cmp "
                 "{V}/ext_fox.bin {T}/out",
                 0, "", ""},
        ToolCase{"appack_empty_input", "{APPACK} pack {T}/empty {T}/e.aps", 1,
                 "appack: {T}/empty: empty input", "e.aps"},
        ToolCase{"appack_missing_input", "{APPACK} unpack {T}/absent {T}/out", 1,
                 "appack: {T}/absent: No such file or directory", "out"},
        ToolCase{"appack_directory_input", "{APPACK} pack {T} {T}/out", 1, "appack: {T}: Is a directory",
                 "out"},
        ToolCase{"appack_directory_output", "{APPACK} pack {T}/text.bin {T}", 1,
                 "appack: {T}: Is a directory", ""},
        ToolCase{"appack_input_of_2_gib", "{APPACK} pack {T}/huge {T}/out", 1,
                 "appack: {T}/huge: too large (2147483648 bytes; the limit is 2147483647 bytes)", "out"},
        ToolCase{"appack_claims_2_gib", "{APPACK} check {T}/claims_2g.aps", 1,
                 "appack: {T}/claims_2g.aps: the packed stream ends after 102400 bytes; the header records "
                 "2147483647",
                 ""},
        ToolCase{
            "appack_claims_4_gib", "{APPACK} unpack {T}/claims_4g.aps {T}/out", 1,
            "appack: {T}/claims_4g.aps: the header records an original size of 4294967295 bytes; the limit "
            "is 2147483647",
            "out"},
        ToolCase{"appack_bad_tag", "{APPACK} check {V}/bad/bad_tag.aps", 1,
                 "bad_tag.aps: the block does not start with the tag", ""},
        ToolCase{"appack_bad_packed_crc", "{APPACK} unpack {V}/bad/bad_packed_crc.aps {T}/out", 1,
                 "bad_packed_crc.aps: the CRC of the packed data does not match", "out"},
        ToolCase{"appack_bad_orig_crc", "{APPACK} check {V}/bad/bad_orig_crc.aps", 1,
                 "bad_orig_crc.aps: the CRC of the unpacked data does not match", ""},
        ToolCase{"appack_full_standard_output", "{APPACK} check {V}/ls.aps >/dev/full", 1,
                 "appack: standard output: No space left on device", ""},
        ToolCase{"appack_no_subcommand", "{APPACK}", 2, "appack: A subcommand is required", ""},
        ToolCase{"appack_unknown_subcommand", "{APPACK} squash a b", 2, "appack: unknown subcommand 'squash'",
                 ""},
        ToolCase{"appack_missing_output", "{APPACK} pack {T}/text.bin", 2, "appack: OUT is required", ""},
        ToolCase{"appack_help_lists_exit_statuses", "{APPACK} --help", 0, "Exit status: 0 done; 1 ", ""},
        ToolCase{
            "builds_and_checks",
            "{MKUPGRADE} --stub {T}/stub.exe --ide {V}/short_text.bin --runtime {V}/ls.bin -o {T}/p.exe && "
            "{MKUPGRADE} --check {T}/p.exe",
            0,
            "{T}/p.exe: program image 158 bytes (i386, Windows GUI)\nsegment 1 (TARNIDE.NEW): offset 158, "
            "packed 104 bytes, unpacks to 175 bytes\n",
            ""},
        ToolCase{"mkupgrade_stub_is_text",
                 "{MKUPGRADE} --stub {V}/short_text.bin --ide {V}/one.bin --runtime {V}/two.bin -o {T}/p.exe",
                 1, "mkupgrade: {V}/short_text.bin: not a Windows program: no MZ header", "p.exe"},
        ToolCase{"mkupgrade_stub_is_an_elf_program",
                 "{MKUPGRADE} --stub /bin/sh --ide {V}/one.bin --runtime {V}/two.bin -o {T}/p.exe", 1,
                 "mkupgrade: /bin/sh: not a Windows program: no MZ header", "p.exe"},
        ToolCase{"mkupgrade_empty_runtime",
                 "{MKUPGRADE} --stub {T}/stub.exe --ide {V}/one.bin --runtime {T}/empty -o {T}/p.exe", 1,
                 "mkupgrade: {T}/empty: empty", "p.exe"},
        ToolCase{"mkupgrade_check_a_directory", "{MKUPGRADE} --check {T}", 1,
                 "mkupgrade: {T}: Is a directory", ""},
        ToolCase{"mkupgrade_check_no_package", "{MKUPGRADE} --check {V}/ls.bin", 1,
                 "mkupgrade: {V}/ls.bin: ", ""},
        ToolCase{
            "check_a_lying_segment", "{MKUPGRADE} --check {T}/lying.exe", 1,
            "mkupgrade: {T}/lying.exe: segment 2 (TARNEXEC.NEW): the packed stream ends after 151344 bytes; "
            "the header records 2147483647",
            ""},
        ToolCase{"mkupgrade_full_standard_output", "{MKUPGRADE} --check {T}/package.exe >/dev/full", 1,
                 "mkupgrade: standard output: No space left on device", ""},
        ToolCase{"mkupgrade_check_excludes_stub", "{MKUPGRADE} --check {T}/package.exe --stub {T}/stub.exe",
                 2, "mkupgrade: --stub excludes --check", ""},
        ToolCase{"mkupgrade_build_needs_all", "{MKUPGRADE} --stub {T}/stub.exe -o {T}/p.exe", 2,
                 "missing: --ide, --runtime", "p.exe"},
        ToolCase{"mkupgrade_help_lists_exit_statuses", "{MKUPGRADE} --help", 0, "Exit status: 0 done; 1 ",
                 ""}),
    [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace aplib::testing
