// Parameter lists of procedure declarations: the argument list of a "SYS" call in
// the formatted layout, one parameter per continued line with its comment.
#pragma once

#include "text.h"

namespace declshift {

// Rewrites the parameter text `text` (from the declaration's "(" on, simple types
// already written as suffix characters) in place into the finished list. False
// when the list cannot be built: `text` then keeps the state it had reached, and
// the declaration fails as a whole.
bool BuildParamList(Text& text);

// Adjusts one parameter line, given the line that follows it (empty for the last):
// naming prefixes, and whether a string parameter stays a string or goes as an
// address. Rewrites `line` in place and returns it.
const Text& MapParamType(Text& line, TextView next);

// Removes the first occurrence of `prefix` from `line` when it starts a name ("(",
// " " or "^" before it, an upper-case letter after it); else leaves the line as it is.
void StripPrefix(Text& line, TextView prefix);

}  // namespace declshift
