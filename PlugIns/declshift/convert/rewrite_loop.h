// The rewrite loop of BuildParamList: "ByRef " parameters and written-out types
// become comments, one of each per pass, until a pass finds neither.
#pragma once

#include "text.h"

namespace declshift {

// How the text is held while the passes edit it; both give the same result.
enum class RewriteStorage {
    kByLength,  // one string for short texts, chunks for long ones
    kOneString,
    kChunks,
    kCheckedChunks,  // chunks, verifying every count after every edit (slow; for tests)
};

// Rewrites the laid-out parameter text in place. Fails (ConversionFailure) where
// a position, a length or the text's length after a pass leaves the 16-bit range,
// or a length turns negative; `text` then holds the state after the last complete
// rewrite.
void RewriteByRefAndTypes(Text& text, RewriteStorage storage = RewriteStorage::kByLength);

}  // namespace declshift
