// Parameter lists of procedure declarations: the argument list of a "SYS" call in
// the formatted layout, one parameter per continued line with its comment.
#pragma once

#include "text.h"

namespace declshift {

// Rewrites the parameter text `text` (from the declaration's "(" on, simple types
// already written as suffix characters) in place and returns the finished list.
// Has a failure trap of its own: when the list cannot be built, the result is the
// failure sentence for `m_Name` and `text` keeps the state it had reached.
Text BuildParamList(const Text& m_Name, Text& text);
// The same; `failed` tells whether the result is the failure sentence.
Text BuildParamList(const Text& m_Name, Text& text, bool& failed);
// The same for a caller that needs only the list, which is left in `text`: false
// when it cannot be built.
bool BuildParamListInPlace(Text& text);

// Adjusts one parameter line, given the line that follows it (empty for the last):
// naming prefixes, and whether a string parameter stays a string or goes as an
// address. Rewrites `line` in place and returns it.
const Text& MapParamType(Text& line, TextView next);

// The line with the first occurrence of `prefix` removed when it starts a name
// ("(", " " or "^" before it, an upper-case letter after it); else unchanged.
Text StripPrefix(TextView line, TextView prefix);

}  // namespace declshift
