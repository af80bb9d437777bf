// appack: the command-line tool of our packed block library.
//
//   appack pack IN OUT     writes IN as one safe block to OUT
//   appack unpack IN OUT   writes the data of the safe block IN to OUT
//   appack check IN        verifies the safe block IN (both CRCs, the whole stream)
//
// Output goes to a temporary file beside OUT that is renamed when complete, so OUT is
// either the old file or the whole new one.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "aplib/aplib.h"
#include "command_line.h"
#include "file_io.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The largest input a block can hold, and the largest block: its packed size is a
// 32-bit field behind the header.
constexpr std::uint64_t kInputLimit = std::uint64_t{aplib::format::kMaxOrigSize} + 1;
constexpr std::uint64_t kBlockLimit = (std::uint64_t{1} << 32) + aplib::kSafeHeaderSize;

// A failure to report as "appack: FILE: reason".
struct Failure {
    std::string file;
    std::string reason;
};

// Unpacks a whole block into `out`, or explains why not. Memory is taken only as the
// stream produces data, whatever size the header records.
void Unpack(const std::string& path, const Bytes& block, aplib::Output& out) {
    const aplib::SafeResult r = aplib::SafeDepack(block, out, aplib::format::kMaxOrigSize);
    if (r.status != aplib::Status::kOk) throw Failure{path, aplib::Explain(r, aplib::format::kMaxOrigSize)};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Packs and unpacks safe blocks of the upgrade package format", "appack"};
    tools::AddVersionFlag(app);
    app.footer(
        "Exit status: 0 done; 1 when a file cannot be read, written, packed or unpacked (the reason "
        "on standard error); 2 for a bad command line.");
    app.require_subcommand(1);
    std::string in, out;
    auto* pack = app.add_subcommand("pack", "Pack IN into one safe block OUT");
    pack->add_option("IN", in, "File to pack (- for standard input)")->required();
    pack->add_option("OUT", out, "Safe block to write")->required();
    auto* unpack = app.add_subcommand("unpack", "Unpack the safe block IN to OUT");
    unpack->add_option("IN", in, "Safe block (- for standard input)")->required();
    unpack->add_option("OUT", out, "File to write")->required();
    auto* check = app.add_subcommand("check", "Verify the safe block IN");
    check->add_option("IN", in, "Safe block (- for standard input)")->required();
    if (const auto status = tools::ParseCommandLine(app, argc, argv)) return *status;

    const std::string inName = in == "-" ? "standard input" : in;
    try {
        const Bytes input = tools::ReadWholeFile<Bytes>(in, *pack ? kInputLimit : kBlockLimit);
        if (*pack) {
            if (input.empty())
                throw Failure{inName, "empty input cannot be packed (the format has no encoding for it)"};
            tools::WriteFileAtomically(out, aplib::PackSafe(input));
        } else {
            aplib::Output data;
            Unpack(inName, input, data);
            if (*unpack) {
                tools::WriteFileAtomically(out, data.Bytes());
            } else {
                tools::WriteAndFlushStandardOutput(inName + ": ok, " + std::to_string(input.size()) +
                                                   " bytes unpack to " + std::to_string(data.Bytes().size()) +
                                                   " bytes\n");
            }
        }
    } catch (const tools::FileError& e) {
        std::cerr << "appack: " << e.what() << '\n';
        return 1;
    } catch (const Failure& f) {
        std::cerr << "appack: " << f.file << ": " << f.reason << '\n';
        return 1;
    } catch (const aplib::PackError& e) {
        std::cerr << "appack: " << inName << ": " << e.what() << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "appack: " << inName << ": not enough memory to " << (*pack ? "pack" : "unpack")
                  << " it\n";
        return 1;
    }
    return 0;
}
