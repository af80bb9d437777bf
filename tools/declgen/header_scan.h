// Parsing the Windows headers of mingw-w64 as a 32-bit Windows program sees them,
// and listing what they declare in header order, then source order.
#pragma once

#include <compare>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "clang_api.h"

namespace declgen {

struct ScanSettings {
    std::string includeDir;   // the mingw-w64 headers
    std::string resourceDir;  // clang's own headers (stddef.h, intrinsics)
    std::vector<std::string> headers;
    unsigned winver = 0x0A00;  // _WIN32_WINNT and WINVER; NTDDI_VERSION follows

    std::vector<std::string> CompilerArguments() const;
    // The file that includes every header, in order.
    std::string UmbrellaSource() const;
};

// Where an entity stands: its header's place in the order of first inclusion, then
// its offset in that header.
struct SourceOrder {
    unsigned file = 0;
    unsigned offset = 0;
    auto operator<=>(const SourceOrder&) const = default;
};

class Headers {
public:
    // Throws std::runtime_error when clang cannot parse them.
    explicit Headers(const ScanSettings& settings);

    const ScanSettings& Settings() const { return settings_; }
    std::vector<std::string> Errors() const { return unit_->Errors(); }
    // The included files in order of first inclusion.
    const std::vector<std::string>& Files() const { return files_; }

    SourceOrder OrderOf(const clang::Cursor& cursor) const;
    // True for the headers of the C runtime and the compiler, whose structures and
    // constants are not the Windows API's.
    bool InRuntimeHeader(const clang::Cursor& cursor) const;

    // Each in header order, then source order.
    const std::vector<clang::Cursor>& Functions() const { return functions_; }  // first declarations
    const std::vector<clang::Cursor>& Records() const { return records_; }  // definitions, nested ones too
    const std::vector<clang::Cursor>& Typedefs() const { return typedefs_; }
    const std::vector<clang::Cursor>& Enums() const { return enums_; }    // definitions
    const std::vector<clang::Cursor>& Macros() const { return macros_; }  // object-like, from headers

private:
    void Collect(const clang::Cursor& cursor);
    void SortByOrder(std::vector<clang::Cursor>& cursors) const;

    ScanSettings settings_;
    std::unique_ptr<clang::TranslationUnit> unit_;
    std::vector<std::string> files_;
    std::map<std::string, unsigned> fileRank_;
    std::vector<clang::Cursor> functions_, records_, typedefs_, enums_, macros_;
};

// True for a header of the C runtime or the compiler (a path relative to the
// include directory, or any path outside it).
bool IsRuntimeHeader(const std::string& relativePath);

}  // namespace declgen
