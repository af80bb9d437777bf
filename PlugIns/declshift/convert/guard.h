// The failure trap of every converter: a ConversionFailure (or exhausted memory)
// anywhere in the body turns the result into the failure sentence for `name` as
// it stands when the failure happens.
#pragma once

#include <new>

#include "declshift.h"
#include "text.h"

namespace declshift {

template <typename Body>
Text Guarded(const Text& name, Body&& body) {
    try {
        return body();
    } catch (const ConversionFailure&) {
    } catch (const std::bad_alloc&) {
    }
    return FailureSentence(name);
}

}  // namespace declshift
