// The rewrite loop of BuildParamList written literally: each pass rebuilds the
// whole text. Same contract as RewriteByRefAndTypes.
#pragma once

#include "text.h"

namespace declshift {

void RewriteByRefAndTypesLiterally(Text& text);

}  // namespace declshift
