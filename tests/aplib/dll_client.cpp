// Uses aplib.dll the way the upgrade program does: linked through the import library,
// with nothing but the two C declarations. Unpacks vectors and damaged blocks and prints
// one line per check; the last line says whether all passed.
//
//   aplib_dll_client VECTOR_DIR
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aplib/aplib_c.h"

namespace {

bool Read(const std::string& path, std::vector<unsigned char>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    out.clear();
    unsigned char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    std::fclose(f);
    return true;
}

int failures = 0;

void Report(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

void Good(const std::string& dir, const char* name) {
    std::vector<unsigned char> block, expected;
    if (!Read(dir + "/" + name + ".aps", block) || !Read(dir + "/" + name + ".bin", expected)) {
        Report(false, std::string(name) + ": cannot read the vector");
        return;
    }
    const unsigned int size = aPsafe_get_orig_size(block.data());
    if (size != expected.size()) {
        Report(false, std::string(name) + ": aPsafe_get_orig_size gave " + std::to_string(size));
        return;
    }
    std::vector<unsigned char> out(size + 1);
    const unsigned int produced =
        aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), out.data(), size);
    Report(produced == size && std::memcmp(out.data(), expected.data(), size) == 0,
           std::string(name) + ": unpacks to " + std::to_string(produced) + " bytes");
}

void Bad(const std::string& dir, const char* name, unsigned int dstlen, bool sizeReadable) {
    std::vector<unsigned char> block;
    if (!Read(dir + "/bad/" + name, block)) {
        Report(false, std::string(name) + ": cannot read the vector");
        return;
    }
    std::vector<unsigned char> out(dstlen);
    const unsigned int size = aPsafe_get_orig_size(block.data());
    Report((size != 0xFFFFFFFFu) == sizeReadable,
           std::string(name) + ": aPsafe_get_orig_size gave " + std::to_string(static_cast<long long>(size)));
    const unsigned int produced =
        aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), out.data(), dstlen);
    Report(produced == 0xFFFFFFFFu, std::string(name) + ": aPsafe_depack rejects it");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: aplib_dll_client VECTOR_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    for (const char* name : {"one", "two", "short_text", "text_100k", "ls", "zeros_1m", "random_64k",
                             "offsets", "bigwin", "ext_hello", "ext_fox", "edge/eod01", "edge/hdr32"}) {
        Good(dir, name);
    }
    Bad(dir, "bad_tag.aps", 175, false);
    Bad(dir, "bad_hdrsize.aps", 175, false);
    Bad(dir, "truncated.aps", 175, true);
    Bad(dir, "packed_size_too_big.aps", 175, true);
    Bad(dir, "bad_packed_crc.aps", 175, true);
    Bad(dir, "bad_orig_size.aps", 175, true);
    Bad(dir, "bad_orig_size.aps", 176, true);
    Bad(dir, "bad_orig_crc.aps", 175, true);
    if (failures == 0) {
        std::printf("aplib.dll: all checks passed\n");
        return 0;
    }
    std::printf("aplib.dll: %d checks failed\n", failures);
    return 1;
}
