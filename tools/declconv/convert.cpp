#include "convert.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "decode.h"
#include "file_io.h"
#include "utf.h"

namespace declconv {
namespace {

// How each call reaches the plug-in object. A call without a converter in this
// build is counted and reported, never guessed at.
using Convert = std::u16string (*)(PlugIn& object, std::u16string& name, std::u16string& data);

struct Converter {
    std::string_view call;
    Convert convert;
};

// clang-format off
constexpr std::array<Converter, kCallOrder.size()> kConverters = {{
    {"GetConst", [](PlugIn& o, std::u16string& n, std::u16string& d) { return o.GetConst(n, d); }},
    {"GetType", [](PlugIn& o, std::u16string& n, std::u16string& d) { return o.GetType(n, d); }},
    {"GetEnum", [](PlugIn& o, std::u16string& n, std::u16string& d) { return o.GetEnum(n, d); }},
    {"GetSub", [](PlugIn& o, std::u16string& n, std::u16string& d) { return o.GetSub(n, d); }},
    {"GetFunc", [](PlugIn& o, std::u16string& n, std::u16string& d) { return o.GetFunc(n, d); }},
}};
// clang-format on

std::size_t CallIndex(std::string_view call) {
    for (std::size_t i = 0; i < kConverters.size(); ++i) {
        if (kConverters[i].call == call) return i;
    }
    throw std::logic_error("the splitter made an unknown call " + std::string(call));
}

constexpr std::array<const char*, 6> kSkipNames = {"comments", "blank",     "header",
                                                   "other",    "malformed", "unclosed"};
constexpr std::array<const char*, 6> kSkipSingular = {
    "comment", "blank line", "header line", "statement", "malformed declaration", "unclosed block"};

constexpr auto kMalformed = static_cast<std::size_t>(SkipKind::kMalformed);
constexpr auto kUnclosed = static_cast<std::size_t>(SkipKind::kUnclosed);

std::string Utf8(std::u16string_view text) { return Utf16ToUtf8(text); }

// A line of source for a message: at most 60 characters.
std::string Excerpt(std::u16string_view text) {
    constexpr std::size_t kMax = 60;
    if (text.size() <= kMax) return Utf8(text);
    return Utf8(text.substr(0, kMax)) + "...";
}

// File names as given on the command line are bytes; JSON needs text.
std::u16string NameText(const std::string& name) {
    try {
        return Utf8ToUtf16(name);
    } catch (const std::invalid_argument&) {
        return Windows1252ToUtf16(name);
    }
}

void AppendEncoded(std::string& out, std::u16string_view text, OutputEncoding encoding) {
    if (encoding == OutputEncoding::kUtf8) {
        out += Utf16ToUtf8(text);
        return;
    }
    for (const char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
}

std::string CallCounts(const Tally& tally) {
    std::string text;
    for (std::size_t i = 0; i < kCallOrder.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::string(kCallOrder[i]) + " " + std::to_string(tally.requests[i]);
    }
    return text;
}

void PrintSummary(std::ostream& messages, const std::string& label, const Tally& tally, bool emitRequests) {
    messages << label << ": " << tally.Requests() << " declarations (" << CallCounts(tally) << ")";
    if (emitRequests) {
        messages << " handed over as requests";
    } else {
        messages << ": " << tally.converted << " converted, " << tally.failed << " failed";
    }
    messages << "\n" << label << ": skipped";
    for (std::size_t i = 0; i < tally.skipped.size(); ++i) {
        // Malformed declarations and unclosed blocks are named only when there are any.
        if (i >= kMalformed && tally.skipped[i] == 0) continue;
        messages << (i == 0 ? " " : ", ") << tally.skipped[i] << " " << kSkipNames[i];
    }
    messages << "\n";
}

}  // namespace

std::size_t Tally::Requests() const {
    std::size_t total = 0;
    for (const auto n : requests) total += n;
    return total;
}

Tally& Tally::operator+=(const Tally& other) {
    for (std::size_t i = 0; i < requests.size(); ++i) requests[i] += other.requests[i];
    for (std::size_t i = 0; i < skipped.size(); ++i) skipped[i] += other.skipped[i];
    converted += other.converted;
    failed += other.failed;
    return *this;
}

void ConvertRequests(PlugIn& object, const std::vector<Request>& requests, std::string_view displayName,
                     std::u16string& text, Tally& tally, std::ostream& messages) {
    for (const Request& request : requests) {
        const Converter& converter = kConverters[CallIndex(request.call)];
        // The host's copies: the plug-in may rewrite the by-reference arguments.
        std::u16string name = request.name;
        std::u16string data = request.data;
        std::u16string result = converter.convert(object, name, data);
        // The failure sentence names the declaration as the failing step saw it:
        // as handed over or as the converter had rewritten it by then.
        if (result == declshift::FailureSentence(request.name) ||
            result == declshift::FailureSentence(name)) {
            ++tally.failed;
            messages << displayName << ":" << request.line << ": " << request.call << " "
                     << Utf8(request.name) << " failed: " << Utf8(result) << "\n";
        } else {
            ++tally.converted;
        }
        if (result.size() < 2 || result.compare(result.size() - 2, 2, u"\r\n") != 0) result += u"\r\n";
        text += result;
    }
}

int RunConvert(Backend& backend, const ConvertSettings& settings, std::ostream& out, std::ostream& messages) {
    std::string output;
    if (!settings.emitRequests && settings.encoding == OutputEncoding::kUtf16) output = "\xFF\xFE";
    Tally total;
    bool ioError = false;
    for (const std::string& path : settings.files) {
        // The file's messages go out together: the error stream is unbuffered, and
        // a damaged file can give a warning for every line.
        std::ostringstream notes;
        std::string bytes;
        try {
            bytes = tools::ReadWholeFile<std::string>(path);
        } catch (const tools::FileError& e) {
            messages << "declconv: " << e.what() << std::endl;
            ioError = true;
            continue;
        }
        const DecodedText decoded = DecodeDeclarationFile(bytes);
        if (settings.verbose) notes << path << ": read as " << EncodingName(decoded.encoding) << "\n";
        const SplitResult split = SplitDeclarations(decoded.text);

        Tally tally;
        for (const Request& request : split.requests) ++tally.requests[CallIndex(request.call)];
        for (const Skipped& skipped : split.skipped) {
            const auto kind = static_cast<std::size_t>(skipped.kind);
            ++tally.skipped[kind];
            const bool warning = skipped.kind == SkipKind::kMalformed || skipped.kind == SkipKind::kUnclosed;
            if (warning || settings.verbose) {
                notes << path << ":" << skipped.line << ": " << (warning ? "warning: " : "") << "skipped "
                      << kSkipSingular[kind] << (skipped.reason.empty() ? "" : " (" + skipped.reason + ")")
                      << (skipped.text.empty() ? "" : ": " + Excerpt(skipped.text)) << "\n";
            }
        }

        if (settings.emitRequests) {
            const std::u16string base = NameText(std::filesystem::path(path).filename().string()) + u":";
            for (const Request& request : split.requests) {
                output += RequestJson(request, base + NameText(std::to_string(request.line)));
                output += '\n';
            }
        } else {
            auto object = backend.NewObject();
            object->PutOptions(settings.options);
            std::u16string text;
            ConvertRequests(*object, split.requests, path, text, tally, notes);
            AppendEncoded(output, text, settings.encoding);
        }
        PrintSummary(notes, path, tally, settings.emitRequests);
        messages << notes.str() << std::flush;
        total += tally;
    }
    if (settings.files.size() > 1) PrintSummary(messages, "total", total, settings.emitRequests);

    if (settings.output.empty()) {
        out.write(output.data(), static_cast<std::streamsize>(output.size()));
        out.flush();
        if (!out) {
            messages << "declconv: cannot write the output\n";
            return kConvertIoError;
        }
    } else {
        try {
            tools::WriteFileAtomically(settings.output, output);
        } catch (const tools::FileError& e) {
            messages << "declconv: " << e.what() << "\n";
            return kConvertIoError;
        }
    }
    if (ioError) return kConvertIoError;
    const std::size_t problems = total.failed + total.skipped[kMalformed] + total.skipped[kUnclosed];
    return settings.strict && problems > 0 ? kConvertFailures : kConvertOk;
}

}  // namespace declconv
