#include "vb_names.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace declgen {

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    return upper;
}

bool IsReservedWord(std::string_view name) {
    // Words the editor does not accept as a variable, member or procedure name.
    static constexpr std::string_view kReserved[] = {
        "ADDRESSOF", "AND",        "ANY",      "AS",      "BOOLEAN",  "BYREF",  "BYTE",    "BYVAL",
        "CALL",      "CASE",       "CLOSE",    "CONST",   "CURRENCY", "DATE",   "DECLARE", "DEFBOOL",
        "DEFBYTE",   "DEFCUR",     "DEFDATE",  "DEFDBL",  "DEFINT",   "DEFLNG", "DEFOBJ",  "DEFSNG",
        "DEFSTR",    "DEFVAR",     "DIM",      "DO",      "DOUBLE",   "EACH",   "ELSE",    "ELSEIF",
        "END",       "ENUM",       "EQV",      "ERASE",   "ERROR",    "EVENT",  "EXIT",    "FALSE",
        "FOR",       "FRIEND",     "FUNCTION", "GET",     "GLOBAL",   "GOSUB",  "GOTO",    "IF",
        "IMP",       "IMPLEMENTS", "IN",       "INPUT",   "INTEGER",  "IS",     "LEN",     "LET",
        "LIKE",      "LOCK",       "LONG",     "LOOP",    "LSET",     "ME",     "MOD",     "NEW",
        "NEXT",      "NOT",        "NOTHING",  "NULL",    "OBJECT",   "ON",     "OPEN",    "OPTIONAL",
        "OR",        "PARAMARRAY", "PRESERVE", "PRINT",   "PRIVATE",  "PUBLIC", "PUT",     "REDIM",
        "REM",       "RESUME",     "RETURN",   "RSET",    "SELECT",   "SET",    "SINGLE",  "STATIC",
        "STEP",      "STOP",       "STRING",   "SUB",     "THEN",     "TO",     "TRUE",    "TYPE",
        "TYPEOF",    "UNLOCK",     "UNTIL",    "VARIANT", "WEND",     "WHILE",  "WITH",    "WITHEVENTS",
        "XOR",
    };
    const std::string upper = Upper(name);
    return std::find(std::begin(kReserved), std::end(kReserved), upper) != std::end(kReserved);
}

std::string VbIdentifier(std::string_view name) {
    while (!name.empty() && name.front() == '_') name.remove_prefix(1);
    std::string identifier(name);
    if (IsReservedWord(identifier)) identifier += '_';
    return identifier;
}

std::string NameScope::Add(std::string_view name, std::string_view fallback) {
    ++count_;
    std::string base = VbIdentifier(name);
    if (base.empty()) base = std::string(fallback) + std::to_string(count_);
    std::string chosen = base;
    for (int suffix = 2; !taken_.insert(Upper(chosen)).second; ++suffix)
        chosen = base + std::to_string(suffix);
    return chosen;
}

}  // namespace declgen
