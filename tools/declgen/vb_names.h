// C names as Visual Basic identifiers: letters first, no reserved words, and no two
// alike in one scope (the language ignores case).
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace declgen {

// Drops leading underscores and appends "_" to a reserved word ("Type" -> "Type_");
// empty when nothing is left.
std::string VbIdentifier(std::string_view name);

bool IsReservedWord(std::string_view name);

// Hands out the names of one parameter list or one Type: an empty name becomes
// FALLBACK followed by the position, a name already given gains a number.
class NameScope {
public:
    std::string Add(std::string_view name, std::string_view fallback);

private:
    std::set<std::string> taken_;  // upper case
    int count_ = 0;
};

std::string Upper(std::string_view text);

}  // namespace declgen
