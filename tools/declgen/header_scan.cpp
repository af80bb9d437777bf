#include "header_scan.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <string_view>

namespace declgen {

namespace {

constexpr const char* kUmbrellaName = "declgen-headers.c";

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

}  // namespace

std::vector<std::string> ScanSettings::CompilerArguments() const {
    // NTDDI_VERSION: the version with every service pack and feature update the
    // headers know of (0x0A00FFFF lies above every NTDDI_WIN10_... value).
    return {"-x", "c", "-std=gnu11", "-target", "i686-w64-mingw32", "-resource-dir", resourceDir,
            "-nostdlibinc", "-isystem", includeDir, "-D_WIN32_WINNT=" + Hex(winver, 4),
            "-DWINVER=" + Hex(winver, 4), "-DNTDDI_VERSION=" + Hex(winver << 16 | 0xFFFF, 8),
            // The OBM_, OCR_ and OIC_ numbers of the system's bitmaps, cursors and
            // icons, which winuser.h hides unless asked.
            "-DOEMRESOURCE", "-ferror-limit=0", "-w"};
}

std::string ScanSettings::UmbrellaSource() const {
    std::string source;
    for (const std::string& header : headers) source += "#include <" + header + ">\n";
    return source;
}

bool IsRuntimeHeader(const std::string& relativePath) {
    static const std::set<std::string_view> kRuntime = {
        "assert.h", "conio.h",   "crtdbg.h", "crtdefs.h", "ctype.h",   "direct.h",
        "errno.h",  "excpt.h",   "fcntl.h",  "float.h",   "intrin.h",  "io.h",
        "limits.h", "locale.h",  "malloc.h", "math.h",    "mbctype.h", "mbstring.h",
        "memory.h", "process.h", "search.h", "setjmp.h",  "share.h",   "signal.h",
        "stdarg.h", "stddef.h",  "stdint.h", "stdio.h",   "stdlib.h",  "string.h",
        "tchar.h",  "time.h",    "vadefs.h", "wchar.h",   "wctype.h",  "psdk_inc/intrin-impl.h"};
    if (relativePath.empty() || relativePath.starts_with('/') || relativePath.starts_with("..")) return true;
    if (relativePath.starts_with("sec_api/") || relativePath.starts_with("sdks/") ||
        relativePath.starts_with("sys/") || relativePath.starts_with("corecrt"))
        return true;
    // _mingw.h and its kin; psdk_inc/_wsadata.h and the like are the Windows API's.
    if (relativePath.starts_with('_')) return true;
    return kRuntime.contains(relativePath);
}

Headers::Headers(const ScanSettings& settings) : settings_(settings) {
    unit_ = std::make_unique<clang::TranslationUnit>(
        clang::UnsavedFile{kUmbrellaName, settings.UmbrellaSource()}, settings.CompilerArguments(), true);
    for (std::string& file : unit_->Inclusions()) {
        if (fileRank_.emplace(file, static_cast<unsigned>(files_.size())).second) files_.push_back(file);
    }
    std::set<std::string> functionNames;
    for (const clang::Cursor& cursor : unit_->Root().Children()) {
        switch (cursor.Kind()) {
            case CXCursor_FunctionDecl:
                if (functionNames.insert(cursor.Spelling()).second) functions_.push_back(cursor);
                break;
            case CXCursor_TypedefDecl:
                typedefs_.push_back(cursor);
                break;
            case CXCursor_EnumDecl:
                if (cursor.IsDefinition()) enums_.push_back(cursor);
                break;
            case CXCursor_MacroDefinition:
                if (!cursor.IsBuiltinMacro() && !cursor.IsFunctionLikeMacro() &&
                    !cursor.Location().file.ends_with(kUmbrellaName))
                    macros_.push_back(cursor);
                break;
            default:
                Collect(cursor);
                break;
        }
    }
    for (auto* list : {&functions_, &records_, &typedefs_, &enums_, &macros_}) SortByOrder(*list);
}

// Structure and union definitions, with those nested in them (visible at file
// scope in C).
void Headers::Collect(const clang::Cursor& cursor) {
    if (cursor.Kind() != CXCursor_StructDecl && cursor.Kind() != CXCursor_UnionDecl) return;
    if (!cursor.IsDefinition()) return;
    records_.push_back(cursor);
    for (const clang::Cursor& child : cursor.Children()) Collect(child);
}

SourceOrder Headers::OrderOf(const clang::Cursor& cursor) const {
    const clang::Position position = cursor.Location();
    const auto rank = fileRank_.find(position.file);
    return {rank == fileRank_.end() ? 0u : rank->second + 1, position.offset};
}

bool Headers::InRuntimeHeader(const clang::Cursor& cursor) const {
    const std::string file = cursor.Location().file;
    std::string prefix = settings_.includeDir;
    if (!prefix.ends_with('/')) prefix += '/';
    return IsRuntimeHeader(file.starts_with(prefix) ? file.substr(prefix.size()) : file);
}

void Headers::SortByOrder(std::vector<clang::Cursor>& cursors) const {
    std::vector<std::pair<SourceOrder, std::size_t>> keys;
    for (std::size_t i = 0; i < cursors.size(); ++i) keys.emplace_back(OrderOf(cursors[i]), i);
    std::stable_sort(keys.begin(), keys.end());
    std::vector<clang::Cursor> sorted;
    sorted.reserve(cursors.size());
    for (const auto& key : keys) sorted.push_back(cursors[key.second]);
    cursors = std::move(sorted);
}

}  // namespace declgen
