// Procedure declarations: a binding block for DLLs outside the system set, then
// one "SYS" call with the converted parameters (and the result, for a function).
#include <array>

#include "declshift.h"
#include "guard.h"
#include "identifiers.h"
#include "layout.h"
#include "lower_case.h"
#include "parameters.h"
#include "text.h"

namespace declshift {
namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kBackquote = u'`';

enum class Kind { kSub, kFunction };

// Calls into these libraries name the entry point directly and need no binding.
bool IsSystemDll(TextView library) {
    static const std::array<TextView, 8> kSystem = {u"advapi32.dll", u"comctl32.dll", u"comdlg32.dll",
                                                    u"gdi32.dll",    u"kernel32.dll", u"shell32.dll",
                                                    u"user32.dll",   u"winmm.dll"};
    for (TextView name : kSystem) {
        if (library == name) return true;
    }
    return false;
}

Text Quoted(TextView s) { return kQuote + Text(s) + kQuote; }

// The alias, quoted or ending at the next blank, names the entry point; without
// one the declaration's own name does.
Text EntryName(const Text& data, const Text& name) {
    if (!Contains(data, Text(1, kQuote) + u" Alias ")) return name;
    const std::int64_t c = InStr(data, u"Alias");
    if (Mid(data, c + 6, 1) == Text(1, kQuote)) {
        const std::int64_t close = InStr(c + 8, data, Text(1, kQuote));
        if (close == 0) Fail("alias without closing quotation mark");
        return Mid(data, c + 7, close - c - 7);
    }
    const std::int64_t blank = InStr(c + 7, data, u" ");
    if (blank == 0) Fail("alias without following blank");
    return Mid(data, c + 6, blank - c - 6);
}

// A final "A" becomes "W" for the wide character set (only the value 1 selects it),
// a final "W" becomes "A" for any other value.
Text AdjustCharset(Text entry, std::int32_t charset) {
    const char16_t from = charset == 1 ? u'A' : u'W';
    const char16_t to = charset == 1 ? u'W' : u'A';
    if (!entry.empty() && entry.back() == from) entry.back() = to;
    return entry;
}

// Simple type clauses become suffix characters, in this order: a "&" written in the
// declaration becomes "%", the one that stands for " As Byte" stays.
Text MarkSimpleTypes(Text p) {
    static const std::array<std::pair<TextView, TextView>, 8> kMarks = {{
        {u" As Variant", u"%"},
        {u"&", u"%"},
        {u" As String", u"$"},
        {u"?", u""},
        {u"~", u"^"},
        {u" As Any", u"%"},
        {u" As Byte", u"&"},
        {u" As Boolean", u"%"},
    }};
    for (const auto& [find, with] : kMarks) ReplaceIn(p, find, with);
    return p;
}

Text MergeEmptyBraces(Text a) {
    ReplaceIn(a, u"(){}", u"{}");
    ReplaceIn(a, u"({})", u"{}");
    ReplaceIn(a, u"()%", u"%");
    return a;
}

// The parameters behind the opening "(" of the list, up to a "LOCAL ret" line.
Text ArgumentsAfter(Text r) {
    const std::int64_t open = InStr(r, u"(");
    if (open == 0) Fail("parameter list without \"(\"");
    const std::int64_t local = InStr(open, r, Text(kCrLf) + u"LOCAL ret");
    // Cut in place: the list can be long.
    if (local != 0) r.resize(static_cast<std::size_t>(local - 1));
    r.erase(0, static_cast<std::size_t>(open));
    return r;
}

Text ConvertProcedure(Kind kind, const Options& options, const Text& m_Name, const Text& m_Data) {
    const Text& s = m_Data;
    // The library name, lower-cased and given ".dll" when it has no extension.
    const std::int64_t closeQuote = InStr(2, s, Text(1, kQuote));
    if (closeQuote == 0) Fail("library name without closing quotation mark");
    Text library = Mid(s, 2, closeQuote - 2);
    if (!Contains(library, u".")) library = LowerCase(std::move(library)) + u".dll";
    const Text entry = AdjustCharset(EntryName(s, m_Name), options.m_Charset);
    // The parameter text from the first "(" on; a procedure's gets a blank in front.
    const std::int64_t open = InStr(s, u"(");
    if (open == 0) Fail("declaration without \"(\"");
    Text params = MarkSimpleTypes(Mid(s, open));
    if (kind == Kind::kSub) params = u" " + params;
    // A failed list is a failed conversion, whatever the name holds.
    if (!BuildParamList(params)) Fail("parameter list");
    Text r = std::move(params);
    // A function's result variable takes a type mark left behind the list.
    Text result = u"ret";
    if (kind == Kind::kFunction) {
        const std::int64_t close = InStr(r, u")");
        if (close == 0) Fail("parameter list without \")\"");
        if (InStr(close, r, kCrLf) == 0 && (Right(r, 1) == u"%" || Right(r, 1) == u"$")) {
            result += r.back();
            r.pop_back();
        }
        if (Contains(r, u" returns ")) result = u"ret%";
    }
    // A system DLL is called by the entry point's name; any other through a variable
    // that a binding block fills with the entry point's address.
    Text target;
    Text binding;
    if (IsSystemDll(library)) {
        target = Quoted(entry);
    } else {
        target = SafeIdentifier(entry);
        if (options.m_ShowParams != 0) {
            const Text module = kBackquote + Left(library, InStr(library, u".") - 1) + u"%";
            binding = u"SYS " + Quoted(u"GetModuleHandle") + u", " + Quoted(library) + u" TO " + module +
                      Text(kCrLf) + u"IF " + module + u"=0 SYS " + Quoted(u"LoadLibrary") + u", " +
                      Quoted(library) + u" TO " + module + Text(kCrLf) + u"SYS " + Quoted(u"GetProcAddress") +
                      u", " + module + u", " + Quoted(entry) + u" TO " + target + Text(kCrLf);
        } else {
            binding =
                target + u" = FN_LoadDLL(" + Quoted(library) + u", " + Quoted(entry) + u")" + Text(kCrLf);
        }
    }
    // The arguments: a procedure loses every ")", a function has its last one
    // replaced by the result variable.
    Text args;
    if (kind == Kind::kSub) {
        args = ArgumentsAfter(MergeEmptyBraces(std::move(r)));
        ReplaceIn(args, u")", u"");
    } else {
        args = ArgumentsAfter(std::move(r));
        if (args.empty()) Fail("empty argument text");
        std::int64_t v = InStrRev(args, u")");
        if (v == 0) v = 1;
        args = MergeEmptyBraces(Left(args, v - 1) + u" TO " + result + Mid(args, v + 1));
    }
    // The call statement. The binding block and the call are rewritten apart; no
    // pattern below can span the line break that ends the block.
    Text call;
    // Room for the binding block and the closing line break as well, so that a
    // long call is never copied while it is assembled.
    call.reserve(binding.size() + target.size() + args.size() + 16);
    call.append(u"SYS ").append(target);
    if (!args.empty()) call.append(u", ").append(args);
    for (Text* part : {&binding, &call}) {
        if (kind == Kind::kFunction) ReplaceIn(*part, u",  TO ret", u" TO ret");
        ReplaceIn(*part, u"\\    ^", u"\\   ^");
    }
    if (options.m_AutoFormat == 0 && options.m_ShowParams != 0) {
        // Packing would leave "IF `x%=0" without its statement: the three binding
        // lines stay as they are and only the call is packed.
        LayoutLines(call);
    }
    call.insert(0, binding);
    if (options.m_AutoFormat == 0 && options.m_ShowParams == 0) LayoutLines(call);
    call += kCrLf;
    return call;
}

}  // namespace

std::u16string GetSub(const Options& options, std::u16string& m_Name, std::u16string& m_Data) {
    return Guarded(m_Name, [&] { return ConvertProcedure(Kind::kSub, options, m_Name, m_Data); });
}

std::u16string GetFunc(const Options& options, std::u16string& m_Name, std::u16string& m_Data) {
    return Guarded(m_Name, [&] { return ConvertProcedure(Kind::kFunction, options, m_Name, m_Data); });
}

}  // namespace declshift
