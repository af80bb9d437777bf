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

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Failure {
    std::string message;
};

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot open " + path};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw Failure{"cannot read " + path};
    in.seekg(0);
    Bytes data(static_cast<std::size_t>(size));
    if (!data.empty() && !in.read(reinterpret_cast<char*>(data.data()), size))
        throw Failure{"cannot read " + path};
    return data;
}

// Writes to a fresh temporary file in OUT's directory, then renames it over OUT.
void WriteAtomically(const std::string& path, std::span<const std::uint8_t> data) {
    const fs::path target(path);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::random_device rd;
    fs::path temp;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 16 && f == nullptr; ++attempt) {
        temp = dir / ("." + target.filename().string() + ".appack-" + std::to_string(rd()));
        f = std::fopen(temp.string().c_str(), "wbx");  // exclusive: never reuse a file
    }
    if (f == nullptr) throw Failure{"cannot create a temporary file in " + dir.string()};
    const bool written = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (!written || !closed) {
        fs::remove(temp, ec);
        throw Failure{"cannot write " + temp.string()};
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw Failure{"cannot rename " + temp.string() + " to " + path + ": " + ec.message()};
    }
}

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
    CLI::App app{"appack - packs and unpacks safe blocks of the upgrade package format"};
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
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }

    try {
        const Bytes input = ReadAll(in);
        if (*pack) {
            if (input.empty())
                throw Failure{in + ": empty input cannot be packed (the format has no encoding for it)"};
            WriteAtomically(out, aplib::PackSafe(input));
        } else if (*unpack) {
            WriteAtomically(out, Unpack(in, input));
        } else {
            const Bytes data = Unpack(in, input);
            std::cout << in << ": ok, " << input.size() << " bytes unpack to " << data.size() << " bytes\n";
        }
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
