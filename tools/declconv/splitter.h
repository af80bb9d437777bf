// Splitting a whole Visual Basic declarations file into the requests a host makes
// of the plug-in, one declaration at a time and in file order.
//
// Lines end in LF, CR LF or CR CR LF (any run of CRs, with or without a LF after
// it, is one line end). A line ending in " _" continues on the next one. Lines in
// branches of #If blocks that are not taken are skipped first. Outside Type and
// Enum blocks, every logical line is either a declaration (Const, Declare, Type,
// Enum, after an optional Public, Private or Global) or skipped: a comment, a blank
// line, an Attribute or Option header, a directive, or anything else (variables,
// procedure bodies). Keywords are read in any letter case and handed over in the
// editor's spelling. The splitter knows nothing of the converters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "conditional.h"

namespace declconv {

// The plug-in's five conversion calls, in the order summaries list them.
enum class Call { kGetConst, kGetType, kGetEnum, kGetSub, kGetFunc };
inline constexpr std::size_t kCallCount = 5;
std::string_view CallName(Call call);

// One declaration as a host hands it over.
struct Request {
    Call call;
    std::u16string name;   // for GetConst with " As Long" when the constant is typed so
    std::u16string data;   // the declaration text in the host's notation
    std::size_t line = 0;  // first physical line of the declaration, counted from 1
};

enum class SkipKind {
    kComment,
    kBlank,
    kHeader,       // Attribute and Option lines
    kOther,        // any other statement; a whole procedure body counts once
    kDirective,    // #If, #ElseIf, #Else, #End If and #Const lines
    kNotCompiled,  // a line in a branch of an #If block that is not taken
    kMalformed,    // looks like a declaration but cannot be handed over
    kUnclosed,     // a Type, Enum or procedure without its End line
};
inline constexpr std::size_t kSkipKindCount = 8;

struct Skipped {
    SkipKind kind;
    std::size_t line;     // first physical line
    std::u16string text;  // the logical line without its indentation (for a block, the opening line)
    std::string reason;   // why, for malformed declarations, unclosed blocks and procedure bodies
};

// Something the user should hear of: errors make --strict fail, warnings do not.
struct Note {
    std::size_t line;
    bool error;
    std::string text;
};

struct SplitResult {
    std::vector<Request> requests;
    std::vector<Skipped> skipped;
    std::vector<Note> notes;
};

SplitResult SplitDeclarations(std::u16string_view text,
                              const CompilationConstants& constants = CompilationConstants::Defaults());

// The request as one line of JSON (without the line end), in the form of the
// shared corpus: {"call": ..., "name": ..., "data": ..., "options": {}, "src": ...},
// every character outside printable ASCII written as \u escape.
std::string RequestJson(const Request& request, std::u16string_view src);

}  // namespace declconv
