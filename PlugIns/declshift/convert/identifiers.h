// Keyword safety of names and the character tests the converters share.
#pragma once

#include "text.h"

namespace declshift {

// The name with "_" put in front when it begins with a digit or a Tarnwick keyword.
Text SafeIdentifier(TextView name);
// True when SafeIdentifier would put "_" in front; looks only at the beginning.
bool NeedsUnderscore(TextView name);

bool StartsWith(TextView src, TextView contains);
bool IsLetter(TextView s);
bool IsUpperLetter(TextView s);
bool IsDigit(TextView s);
bool LacksOperatorWord(TextView s);

// The keyword forms SafeIdentifier tests, in the order it tests them.
const std::vector<Text>& KeywordForms();

}  // namespace declshift
