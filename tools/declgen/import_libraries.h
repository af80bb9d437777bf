// Which DLL exports a function, under which entry name, and how many bytes of
// arguments its decorated name says it takes: read from the import libraries of
// mingw-w64 (lib*.a, ar archives of one small COFF object per import, as dlltool
// writes them).
//
// Each import object defines the thunk `_Name@N` (stdcall; `_Name` for cdecl) in
// .text, carries the hint and entry name in .idata$6 and refers to its library's
// head object by a `__head_...` symbol; the head object refers to the tail object's
// `..._iname` symbol, whose .idata$7 holds the DLL name.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace declgen {

struct Export {
    std::string dll;    // as the library names it, e.g. "USER32.dll"
    std::string entry;  // the name the DLL exports
    int argumentBytes;  // N of `_Name@N`; -1 for a name without it (cdecl)
};

class ImportLibraries {
public:
    // Reads every lib*.a of the directory; files that are not archives are skipped,
    // unreadable ones are named in `problems`. Throws tools::FileError when the
    // directory cannot be read.
    static ImportLibraries ReadDirectory(const std::string& directory, std::vector<std::string>& problems);

    // Adds the imports of one archive; returns false when it is not an ar archive.
    bool AddArchive(std::span<const std::uint8_t> archive);

    // Records an export as an import library would.
    void Add(const std::string& name, const Export& exported);

    // Every DLL that import libraries name for a C function, in the order read;
    // empty when there is none.
    const std::vector<Export>& Candidates(const std::string& name) const;
    // The best of them by ImportPreference, the first read of equals; or null.
    const Export* Find(const std::string& name) const;
    std::size_t Size() const { return exports_.size(); }

private:
    std::map<std::string, std::vector<Export>> exports_;
};

// Which of several imports of one name to take, lower first: a DLL of its own
// before an API set ("api-ms-win-..."), and a decorated name, whose byte count can
// be checked, before an undecorated one (some umbrella libraries drop the "@N" of
// stdcall functions).
int ImportPreference(const Export& exported);

// "USER32.dll" -> "user32", "WINSPOOL.DRV" -> "winspool.drv": the name as a
// Declare's Lib clause writes it.
std::string LibName(const std::string& dll);

}  // namespace declgen
