// The conversion engine's public face: one function per member of the plug-in's
// interface that converts or tests text. Pure functions over UTF-16 text; the COM
// server and the host driver are thin shells around them.
#pragma once

#include <cstdint>
#include <string>

namespace declshift {

// The option fields of a plug-in object, under their own names. A flag counts as
// set when it is non-zero.
struct Options {
    std::int32_t m_Charset = 0;
    std::int16_t m_ExplConst = 0;
    std::int16_t m_InsertAfterOption = 0;
    std::int16_t m_AutoFormat = 0;
    std::int16_t m_ShowParams = 0;
    std::u16string m_Scope;
};

// Prefix test of the interface: true when `src` begins with `contains`.
bool StartsWith(const std::u16string& src, const std::u16string& contains);

// Constant declaration. `m_Name` is in-out: it loses every " As Long".
std::u16string GetConst(const Options& options, std::u16string& m_Name, const std::u16string& m_Data);

// Structure, enumeration and the output sample. The texts are the call's own copies.
std::u16string GetType(const Options& options, std::u16string m_Name, std::u16string m_Data);
std::u16string GetEnum(const Options& options, std::u16string m_Name, std::u16string m_Data);
std::u16string Preview(const Options& options);
// Procedure (Sub) and function declarations: `m_Data` runs from the library name
// on. Both arguments are by reference to match the interface; neither is changed.
std::u16string GetSub(const Options& options, std::u16string& m_Name, std::u16string& m_Data);
std::u16string GetFunc(const Options& options, std::u16string& m_Name, std::u16string& m_Data);

// The result of every failed conversion.
std::u16string FailureSentence(const std::u16string& name);

}  // namespace declshift
