#include "declshift.h"

namespace declshift {

std::u16string FailureSentence(const std::u16string& name) {
    return u"REM Sorry I could not convert " + name;
}

}  // namespace declshift
