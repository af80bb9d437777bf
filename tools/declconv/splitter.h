// Splitting a whole Visual Basic declarations file into the requests a host makes
// of the plug-in, one declaration at a time and in file order.
//
// Lines end in LF, CR LF or CR CR LF (any run of CRs, with or without a LF after
// it, is one line end). A line ending in " _" continues on the next one. Outside
// Type and Enum blocks, every logical line is either a declaration (Const, Declare,
// Type, Enum, after an optional Public, Private or Global) or skipped: a comment, a
// blank line, an Attribute or Option header, or anything else (variables,
// procedure bodies, conditional compilation). The splitter knows nothing of the
// converters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace declconv {

// One declaration as a host hands it over.
struct Request {
    std::string call;      // "GetConst", "GetType", "GetEnum", "GetSub" or "GetFunc"
    std::u16string name;   // for GetConst with " As Long" when the constant is typed exactly so
    std::u16string data;   // the declaration text in the host's notation
    std::size_t line = 0;  // first physical line of the declaration, counted from 1
};

enum class SkipKind {
    kComment,
    kBlank,
    kHeader,     // Attribute and Option lines
    kOther,      // any other statement; a whole procedure body counts once
    kMalformed,  // looks like a declaration but cannot be handed over
    kUnclosed,   // a Type, Enum or procedure without its End line
};

struct Skipped {
    SkipKind kind;
    std::size_t line;     // first physical line
    std::u16string text;  // the logical line without its indentation (for a block, the opening line)
    std::string reason;   // why, for malformed declarations, unclosed blocks and procedure bodies
};

struct SplitResult {
    std::vector<Request> requests;
    std::vector<Skipped> skipped;
};

SplitResult SplitDeclarations(std::u16string_view text);

// The request as one line of JSON (without the line end), in the form of the
// shared corpus: {"call": ..., "name": ..., "data": ..., "options": {}, "src": ...},
// every character outside printable ASCII written as \u escape.
std::string RequestJson(const Request& request, std::u16string_view src);

}  // namespace declconv
