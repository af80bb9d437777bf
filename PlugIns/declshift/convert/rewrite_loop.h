// The rewrite loop of BuildParamList: "ByRef " parameters and written-out types
// become comments, one of each per pass, until a pass finds neither.
#pragma once

#include "text.h"

namespace declshift {

// Rewrites the laid-out parameter text in place. Fails (ConversionFailure) where
// a position or length leaves the 16-bit range or a length turns negative; `text`
// then holds the state after the last complete rewrite.
void RewriteByRefAndTypes(Text& text);

}  // namespace declshift
