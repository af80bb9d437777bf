// appack: the command-line tool of our packed block library.
//
//   appack pack IN OUT     writes IN as one safe block to OUT
//   appack unpack IN OUT   writes the data of the safe block IN to OUT
//   appack check IN        verifies the safe block IN (both CRCs, the whole stream)
//
// Output goes to a temporary file beside OUT that is renamed when complete, so OUT is
// either the old file or the whole new one. Exit status: 0 done, 1 failed (with a message
// on standard error), 2 bad command line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "aplib/aplib.h"
#include "command_line.h"
#include "file_io.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Failure {
    std::string message;
};

// Unpacks a whole block, or explains why not.
Bytes Unpack(const std::string& path, const Bytes& block) {
    const std::uint32_t size = aplib::SafeOrigSize(block);
    if (size == aplib::kError) {
        aplib::SafeHeader header;
        throw Failure{path + ": " + aplib::StatusText(aplib::ReadSafeHeader(block, header))};
    }
    // Check the header and the packed bytes before trusting the recorded size with memory:
    // with no room at all the only complaint left is the size.
    const aplib::SafeResult probe = aplib::SafeDepack(block, {});
    if (probe.status != aplib::Status::bad_orig_size)
        throw Failure{path + ": " + aplib::StatusText(probe.status)};
    Bytes out(size);
    const aplib::SafeResult r = aplib::SafeDepack(block, out);
    if (r.status != aplib::Status::ok) throw Failure{path + ": " + aplib::StatusText(r.status)};
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Packs and unpacks safe blocks of the upgrade package format", "appack"};
    tools::AddVersionFlag(app);
    app.require_subcommand(1);
    std::string in, out;
    auto* pack = app.add_subcommand("pack", "Pack IN into one safe block OUT");
    pack->add_option("IN", in, "File to pack")->required();
    pack->add_option("OUT", out, "Safe block to write")->required();
    auto* unpack = app.add_subcommand("unpack", "Unpack the safe block IN to OUT");
    unpack->add_option("IN", in, "Safe block")->required();
    unpack->add_option("OUT", out, "File to write")->required();
    auto* check = app.add_subcommand("check", "Verify the safe block IN");
    check->add_option("IN", in, "Safe block")->required();
    if (const auto status = tools::ParseCommandLine(app, argc, argv)) return *status;

    try {
        const Bytes input = tools::ReadWholeFile<Bytes>(in);
        if (*pack) {
            if (input.empty())
                throw Failure{in + ": empty input cannot be packed (the format has no encoding for it)"};
            tools::WriteFileAtomically(out, aplib::PackSafe(input));
        } else if (*unpack) {
            tools::WriteFileAtomically(out, Unpack(in, input));
        } else {
            const Bytes data = Unpack(in, input);
            std::cout << in << ": ok, " << input.size() << " bytes unpack to " << data.size() << " bytes\n";
        }
    } catch (const tools::FileError& e) {
        std::cerr << "appack: " << e.what() << '\n';
        return 1;
    } catch (const Failure& f) {
        std::cerr << "appack: " << f.message << '\n';
        return 1;
    } catch (const aplib::PackError& e) {
        std::cerr << "appack: " << in << ": " << e.what() << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "appack: " << in << ": not enough memory\n";
        return 1;
    }
    return 0;
}
