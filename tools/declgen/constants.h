// Object-like macros as Visual Basic constants. clang evaluates them: a second
// parse of the headers declares one variable per macro, initialised with it, and
// the value, type and validity of each variable say what the macro is.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "clang_api.h"
#include "header_scan.h"

namespace declgen {

struct MacroValue {
    std::string name;
    SourceOrder order;
    bool isString = false;
    std::int64_t number = 0;
    bool hex = false;  // written in hex, directly or through the macros it names
    std::string text;  // of a string
};

struct MacroOutcome {
    std::vector<MacroValue> values;      // in header order
    std::map<std::string, int> leftOut;  // reason -> count
};

// The macros worth a probe, read from the first parse (on the calling thread).
class MacroProbe {
public:
    explicit MacroProbe(const Headers& headers);

    // Parses the probe file and reads the values; may run on another thread while
    // the first parse is used elsewhere.
    MacroOutcome Run() const;

private:
    struct Candidate {
        std::string name;
        SourceOrder order;
        bool hex;
        bool mayBePointer;  // names something (a type, another macro): may need the integer cast
    };
    ScanSettings settings_;
    std::vector<Candidate> candidates_;
    std::map<std::string, int> leftOut_;
};

// True when the first number of a token list, or of the macros it names in turn,
// is written in hex.
bool WrittenInHex(const std::vector<clang::Token>& tokens,
                  const std::map<std::string, std::vector<clang::Token>>& macroBodies);

// A number as a Visual Basic literal: hex where C wrote it so (with the "&" that
// keeps &H8000 to &HFFFF positive Longs), decimal otherwise, and hex for the
// unsigned values beyond a Long's range so that they keep their bits. Nothing for
// values that need more than 32 bits.
std::optional<std::string> VbNumber(std::int64_t value, bool hex);

// A string as a Visual Basic literal; nothing when it holds control or non-ASCII
// characters, which a literal cannot hold.
std::optional<std::string> VbString(const std::string& text);

}  // namespace declgen
