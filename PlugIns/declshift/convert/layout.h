// Packing of the formatted layout into as few physical lines as possible.
#pragma once

#include "text.h"

namespace declshift {

// Rewrites `text` in place and returns the packed text.
Text LayoutLines(Text& text);

}  // namespace declshift
