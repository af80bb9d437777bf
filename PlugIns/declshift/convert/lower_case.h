// Lower case as Windows converts it, independent of any locale.
#pragma once

#include "text.h"

namespace declshift {

// Every capital letter lowered by Windows' locale-independent table (the one
// behind CharLowerBuffW), surrogate pairs included; a lone surrogate stays.
Text LowerCase(Text text);

}  // namespace declshift
