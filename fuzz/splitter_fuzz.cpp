// Fuzzes the reading of declaration files: any bytes are decoded and split, and
// every request is written in its JSON form. Besides the sanitizers it checks
// what the splitter promises: line numbers inside the text, no NUL in a text, and
// Type/Enum data made of tab-indented or empty lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "decode.h"
#include "splitter.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::size_t PhysicalLines(std::u16string_view text) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool crRunEnds =
            text[i] == u'\r' && (i + 1 == text.size() || (text[i + 1] != u'\r' && text[i + 1] != u'\n'));
        if (text[i] == u'\n' || crRunEnds) ++lines;
    }
    return lines + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    declconv::DecodedText decoded;
    try {
        decoded = declconv::DecodeDeclarationFile(bytes);
    } catch (const declconv::NotText&) {
        Check(bytes.find('\0') != std::string_view::npos);
        return 0;
    }
    const auto result = declconv::SplitDeclarations(decoded.text);
    const std::size_t lines = PhysicalLines(decoded.text);
    for (const auto& request : result.requests) {
        Check(request.line >= 1 && request.line <= lines);
        Check(!request.name.empty());
        using declconv::Call;
        if (request.call == Call::kGetSub || request.call == Call::kGetFunc)
            Check(request.data.front() == u'"');
        if (request.call == Call::kGetType || request.call == Call::kGetEnum) {
            std::size_t start = 0;
            while (start <= request.data.size()) {
                std::size_t end = request.data.find(u"\r\n", start);
                if (end == std::u16string::npos) end = request.data.size();
                Check(end == start || request.data[start] == u'\t');
                start = end + 2;
            }
        }
        Check(!declconv::RequestJson(request, u"fuzz:1").empty());
    }
    for (const auto& skipped : result.skipped) Check(skipped.line >= 1 && skipped.line <= lines);
    for (const auto& note : result.notes) Check(note.line >= 1 && note.line <= lines);
    return 0;
}
