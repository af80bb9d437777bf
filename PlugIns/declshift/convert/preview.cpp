// The fixed sample of output that the host shows in its option dialog: a constant, a
// structure, the binding of a DLL entry point and a call of it.
#include "declshift.h"
#include "text.h"

namespace declshift {

std::u16string Preview(const Options& options) {
    const Text crlf(kCrLf);
    const Text quote = u"\"";
    Text out = u"Test = 1" + crlf + crlf;

    if (options.m_AutoFormat != 0) {
        for (const char16_t* line : {u"DIM TEST{ \\", u"\\    Param1%, \\ int32", u"\\    Param2%, \\ int32",
                                     u"\\    Param3%, \\ int32", u"\\    Param4% \\ int32", u"\\    }"}) {
            out += line + crlf;
        }
        out += crlf;
    } else {
        out += u"DIM TEST{ Param1%, Param2%, Param3%, Param4% }" + crlf + crlf;
    }

    if (options.m_ExplConst != 0) {
        if (options.m_ShowParams != 0) {
            out += u"SYS \"GetModuleHandle\", \"test.dll\" TO `test%" + crlf;
            out += u"IF `test%=0 SYS \"LoadLibrary\", \"test.dll\" TO `test%" + crlf;
            out += u"SYS \"GetProcAddress\", `test%, \"test\" TO test" + crlf;
        } else {
            out += u"test = FN_LoadDLL(" + quote + u"test.dll" + quote + u", " + quote + u"test" + quote +
                   u")" + crlf;
        }
    }

    if (options.m_AutoFormat != 0) {
        out += u"SYS test, Param1$, \\" + crlf + u"\\    Param2$, \\" + crlf + u"\\    Param3$, \\" + crlf +
               u"\\    Param4$ TO ret%";
    } else {
        out += u"SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%";
    }
    return out;
}

}  // namespace declshift
