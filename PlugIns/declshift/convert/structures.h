// Structure declarations: the whole-text routines, open to the tests.
#pragma once

#include "text.h"

namespace declshift {

// Rewrites every fixed-length string member " As String * n" as "&(n - 1), \ str",
// repeating from the start of the text until no member is left. `text` ends with a
// line break. Positions are 16-bit: one beyond 32,767 fails.
Text ExpandFixedStrings(const Text& text);

// The same as repeating Replace("  '" -> " '") while it finds something: every run
// of blanks directly in front of an apostrophe shrinks to one blank.
Text ShrinkBlanksBeforeApostrophes(TextView text);
// The same as repeating Replace("'  " -> "' ") while it finds something: every run
// of blanks directly behind an apostrophe shrinks to one blank.
Text ShrinkBlanksAfterApostrophes(TextView text);

}  // namespace declshift
