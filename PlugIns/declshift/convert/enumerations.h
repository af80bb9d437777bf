// Enumeration declarations: the per-line routine, open to the tests.
#pragma once

#include "text.h"

namespace declshift {

// Gives "_" to every name that follows a blank, "=" or "(" and begins with a
// Tarnwick keyword, walking the line up to its first ":" (a ":REM" comment is
// never touched).
Text MarkUnsafeNames(TextView line);

}  // namespace declshift
