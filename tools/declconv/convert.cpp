#include "convert.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "decode.h"
#include "utf.h"

namespace declconv {
namespace {

// How each call reaches the plug-in object.
std::u16string Convert(PlugIn& object, Call call, std::u16string& name, std::u16string& data) {
    switch (call) {
        case Call::kGetConst:
            return object.GetConst(name, data);
        case Call::kGetType:
            return object.GetType(name, data);
        case Call::kGetEnum:
            return object.GetEnum(name, data);
        case Call::kGetSub:
            return object.GetSub(name, data);
        case Call::kGetFunc:
            return object.GetFunc(name, data);
    }
    throw std::logic_error("unknown call");
}

// For the summary (plural) and for messages about one line (singular), by SkipKind.
constexpr std::array<const char*, kSkipKindCount> kSkipNames = {
    "comments", "blank", "header", "other", "directives", "not compiled", "malformed", "unclosed"};
constexpr std::array<const char*, kSkipKindCount> kSkipSingular = {
    "comment",   "blank line",        "header line",           "statement",
    "directive", "line not compiled", "malformed declaration", "unclosed block"};

std::size_t Index(SkipKind kind) { return static_cast<std::size_t>(kind); }

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

// Returns how many lone surrogates became U+FFFD: UTF-16 keeps them.
std::size_t AppendEncoded(std::string& out, std::u16string_view text, OutputEncoding encoding) {
    std::size_t lone = 0;
    if (encoding == OutputEncoding::kUtf8) {
        out += Utf16ToUtf8(text, &lone);
        return lone;
    }
    for (const char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return lone;
}

void PrintSummary(std::ostream& messages, const std::string& label, const Tally& tally, bool emitRequests) {
    messages << label << ": " << tally.Requests() << " declarations (";
    for (std::size_t i = 0; i < kCallCount; ++i) {
        messages << (i == 0 ? "" : ", ") << CallName(static_cast<Call>(i)) << " " << tally.requests[i];
    }
    messages << ")";
    if (emitRequests) {
        messages << " handed over as requests";
    } else {
        messages << ": " << tally.converted << " converted, " << tally.failed << " failed";
    }
    messages << "\n" << label << ": skipped";
    for (std::size_t i = 0; i < tally.skipped.size(); ++i) {
        // Beyond the four kinds every file has, a kind is named only when there is one.
        if (i > Index(SkipKind::kOther) && tally.skipped[i] == 0) continue;
        messages << (i == 0 ? " " : ", ") << tally.skipped[i] << " " << kSkipNames[i];
    }
    messages << "\n";
}

// Messages about lines of the file, in line order: skipped declarations and
// blocks, errors and warnings, and with -v everything else that was skipped.
void ReportLines(std::ostream& notes, const std::string& name, const SplitResult& split, bool verbose) {
    std::vector<std::pair<std::size_t, std::string>> lines;
    for (const Skipped& skipped : split.skipped) {
        const bool warning = skipped.kind == SkipKind::kMalformed || skipped.kind == SkipKind::kUnclosed;
        if (!warning && !verbose) continue;
        lines.emplace_back(skipped.line, std::string(warning ? "warning: " : "") + "skipped " +
                                             kSkipSingular[Index(skipped.kind)] +
                                             (skipped.reason.empty() ? "" : " (" + skipped.reason + ")") +
                                             (skipped.text.empty() ? "" : ": " + Excerpt(skipped.text)));
    }
    for (const Note& note : split.notes) {
        lines.emplace_back(note.line, (note.error ? "error: " : "warning: ") + note.text);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [line, text] : lines) notes << name << ":" << line << ": " << text << "\n";
}

}  // namespace

std::size_t Tally::Requests() const {
    std::size_t total = 0;
    for (const auto n : requests) total += n;
    return total;
}

std::size_t Tally::Problems() const {
    return failed + errors + skipped[Index(SkipKind::kMalformed)] + skipped[Index(SkipKind::kUnclosed)];
}

Tally& Tally::operator+=(const Tally& other) {
    for (std::size_t i = 0; i < requests.size(); ++i) requests[i] += other.requests[i];
    for (std::size_t i = 0; i < skipped.size(); ++i) skipped[i] += other.skipped[i];
    converted += other.converted;
    failed += other.failed;
    errors += other.errors;
    return *this;
}

void ConvertRequests(PlugIn& object, const std::vector<Request>& requests, std::string_view displayName,
                     std::u16string& text, Tally& tally, std::ostream& messages) {
    for (const Request& request : requests) {
        // The host's copies: the plug-in may rewrite the by-reference arguments.
        std::u16string name = request.name;
        std::u16string data = request.data;
        std::u16string result = Convert(object, request.call, name, data);
        // The failure sentence names the declaration as the failing step saw it:
        // as handed over or as the converter had rewritten it by then.
        if (result == declshift::FailureSentence(request.name) ||
            result == declshift::FailureSentence(name)) {
            ++tally.failed;
            messages << displayName << ":" << request.line << ": " << CallName(request.call) << " "
                     << Utf8(request.name) << " failed: " << Utf8(result) << "\n";
        } else {
            ++tally.converted;
        }
        if (result.size() < 2 || result.compare(result.size() - 2, 2, u"\r\n") != 0) result += u"\r\n";
        text += result;
    }
}

int RunConvert(Backend& backend, const ConvertSettings& settings, const tools::OutputSink& out,
               std::ostream& messages) {
    const bool toFile = !settings.output.empty() && settings.output != "-";
    // Before anything is read: the output must never replace one of the inputs.
    for (const std::string& path : settings.files) {
        if (toFile && path != "-" && tools::SameFile(path, settings.output)) {
            messages << "declconv: " << settings.output << ": is the input " << path
                     << " as well; nothing was converted\n";
            return kConvertIoError;
        }
    }

    std::string output;
    if (!settings.emitRequests && settings.encoding == OutputEncoding::kUtf16) output = "\xFF\xFE";
    Tally total;
    bool ioError = false;
    for (const std::string& path : settings.files) {
        const std::string name = path == "-" ? "standard input" : path;
        // The file's messages go out together: the error stream is unbuffered, and
        // a damaged file can give a warning for every line.
        std::ostringstream notes;
        DecodedText decoded;
        try {
            decoded = DecodeDeclarationFile(tools::ReadWholeFile<std::string>(path), settings.inputEncoding);
        } catch (const tools::FileError& e) {
            messages << "declconv: " << e.what() << std::endl;
            ioError = true;
            continue;
        } catch (const NotText& e) {
            messages << "declconv: " << name << ": " << e.what() << std::endl;
            ioError = true;
            continue;
        }
        if (settings.verbose) {
            notes << name << ": read as "
                  << (decoded.encoding == Encoding::kNamed ? settings.inputEncoding
                                                           : EncodingName(decoded.encoding))
                  << "\n";
        }
        if (decoded.firstBadLine != 0) {
            notes << name << ":" << decoded.firstBadLine << ": warning: "
                  << (decoded.encoding == Encoding::kNamed
                          ? "no " + settings.inputEncoding +
                                " text from this line on; such bytes read as U+FFFD"
                          : std::string("not UTF-8 from this line on; the file is read as Windows-1252"))
                  << "\n";
        }
        const SplitResult split = SplitDeclarations(decoded.text, settings.constants);

        Tally tally;
        for (const Request& request : split.requests)
            ++tally.requests[static_cast<std::size_t>(request.call)];
        for (const Skipped& skipped : split.skipped) ++tally.skipped[Index(skipped.kind)];
        for (const Note& note : split.notes) tally.errors += note.error ? 1 : 0;
        ReportLines(notes, name, split, settings.verbose);

        if (settings.emitRequests) {
            const std::u16string base = NameText(std::filesystem::path(name).filename().string()) + u":";
            for (const Request& request : split.requests) {
                output += RequestJson(request, base + NameText(std::to_string(request.line)));
                output += '\n';
            }
        } else {
            auto object = backend.NewObject();
            object->PutOptions(settings.options);
            std::u16string text;
            ConvertRequests(*object, split.requests, name, text, tally, notes);
            if (const std::size_t lone = AppendEncoded(output, text, settings.encoding)) {
                notes << name << ": warning: " << lone
                      << " unpaired surrogates in the Tarnwick text, written as U+FFFD\n";
            }
        }
        PrintSummary(notes, name, tally, settings.emitRequests);
        messages << notes.str() << std::flush;
        total += tally;
    }
    if (settings.files.size() > 1) PrintSummary(messages, "total", total, settings.emitRequests);

    try {
        if (!toFile) {
            out(output);
        } else if (ioError) {
            messages << "declconv: " << settings.output
                     << ": left as it was, since not every input could be read\n";
        } else {
            tools::WriteFileAtomically(settings.output, output);
        }
    } catch (const tools::FileError& e) {
        messages << "declconv: " << e.what() << (toFile ? "; left as it was" : "") << "\n";
        return kConvertIoError;
    }
    if (ioError) return kConvertIoError;
    return settings.strict && total.Problems() > 0 ? kConvertFailures : kConvertOk;
}

}  // namespace declconv
